// The main window's side of the update check: a fetch result that arrives on the fetcher's
// worker thread becomes at most one prompt on the main thread, and the prompt's answer comes
// back as the window's "AutoUpdate" preference.

#include "common/product.h"
#include "mainwindowfixture.h"
#include "testhttpserver.h"
#include "urlrecorder.h"

#include <QAction>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QUrl>
#include <thread>

using namespace corvane;
using namespace corvane::test;

namespace {

/// Hands `body` to the window the way the fetcher does: from a thread of its own, which has
/// ended before this returns.
void receiveOnWorker(Tfrm_Main& window, const QString& body)
{
    std::thread worker([&window, body] { window.UpdateInfoReceived(body); });
    worker.join();
}

} // namespace

class TestUpdateCheck : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void newerVersionGivesOnePrompt_data();
    void newerVersionGivesOnePrompt();
    void answerSetsAutoUpdate_data();
    void answerSetsAutoUpdate();
    void checkStartsOnlyForAShownWindow_data();
    void checkStartsOnlyForAShownWindow();

private:
    test::UrlRecorder m_urls{homePage().scheme()};
};

void TestUpdateCheck::init()
{
    m_urls.opened.clear();
    // "Yes" opens the home page; it reaches the recorder, never a browser.
}

void TestUpdateCheck::newerVersionGivesOnePrompt_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("media"); // lbl_Media of the prompt; empty: no prompt

    const auto row = [](const char* name, const char* body, const char* media) {
        QTest::newRow(name) << QString::fromLatin1(body) << QString::fromLatin1(media);
    };
    row("5.2", "5.2", "Corvane Professional 5.2");
    row("5.1.0.1", "5.1.0.1", "Corvane Professional 5.1.0.1");
    // Seven characters are compared; the label shows the first line only.
    row("5.2.0.0 CR LF", "5.2.0.0\r\n", "Corvane Professional 5.2.0.0");
    row("equal", "5.1", "");
    row("older", "5.0.9", "");
    row("empty", "", "");
    // Padded with ".0", the line feed lands on a digit's place.
    row("5.2 CR LF", "5.2\r\n", "");
}

void TestUpdateCheck::newerVersionGivesOnePrompt()
{
    QFETCH(QString, body);
    QFETCH(QString, media);
    MainWindowFixture f;
    Tfrm_Main& window = f.show();

    QStringList shown;
    QThread* promptThread = nullptr;
    QWidget* owner = nullptr;
    ModalWatcher watcher([&](QWidget* modal) {
        promptThread = QThread::currentThread();
        owner = modal->parentWidget();
        shown << modal->objectName()
              << modal->findChild<QLabel*>(QStringLiteral("lbl_Media"))->text();
    });
    receiveOnWorker(window, body);

    if (media.isEmpty()) {
        // The tick would come 100 ms after the hand-off.
        QTest::qWait(500);
        QCOMPARE(watcher.count(), 0);
        QCOMPARE(window.availableVersion(), QString());
        return;
    }
    QTRY_COMPARE(watcher.count(), 1);
    QCOMPARE(shown, (QStringList{QStringLiteral("frm_Update"), media}));
    QCOMPARE(promptThread, window.thread());
    QCOMPARE(owner, &window);
    QCOMPARE(window.availableVersion(), body);
    // Answered once is done: the timer does not come back with a second prompt.
    QTest::qWait(500);
    QCOMPARE(watcher.count(), 1);
}

void TestUpdateCheck::answerSetsAutoUpdate_data()
{
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("autoUpdate");
    QTest::addColumn<bool>("opensHomePage");

    QTest::newRow("ticked, No") << true << QStringLiteral("btn_Cancel") << false << false;
    QTest::newRow("empty, Yes") << false << QStringLiteral("btn_OK") << true << true;
}

void TestUpdateCheck::answerSetsAutoUpdate()
{
    QFETCH(bool, ticked);
    QFETCH(QString, button);
    QFETCH(bool, autoUpdate);
    QFETCH(bool, opensHomePage);
    MainWindowFixture f;
    Tfrm_Main& window = f.show();
    // Starts from the other value, so that the answer is seen to arrive.
    f.child<QAction>(QStringLiteral("Checkforupdates1"))->setChecked(!autoUpdate);

    bool answered = false;
    handleNextModal([&](QWidget* prompt) {
        prompt->findChild<QCheckBox*>(QStringLiteral("chk_Ask"))->setChecked(ticked);
        QTest::mouseClick(prompt->findChild<QPushButton*>(button), Qt::LeftButton);
        answered = true;
    });
    receiveOnWorker(window, QStringLiteral("5.2"));
    QTRY_VERIFY(answered);
    QTRY_VERIFY(!QApplication::activeModalWidget());

    QCOMPARE(window.autoUpdate(), autoUpdate);
    // In the file at once, not only when the window closes.
    QVERIFY(readFile(f.configFolder + QStringLiteral("/corvane.ini"))
                .contains(autoUpdate ? "AutoUpdate=1\n" : "AutoUpdate=0\n"));
    QCOMPARE(m_urls.opened, opensHomePage ? QList<QUrl>{homePage()} : QList<QUrl>{});
}

void TestUpdateCheck::checkStartsOnlyForAShownWindow_data()
{
    QTest::addColumn<bool>("onScreen");
    QTest::addColumn<bool>("closedAtOnce");
    QTest::addColumn<int>("requests");
    // The HTTP module stays loaded once a check has loaded it: the rows without a check come
    // first.
    QTest::newRow("closed before the event loop ran") << true << true << 0;
    // Drawn, but never on the screen: the check waits for the first frame there.
    QTest::newRow("never on the screen") << false << false << 0;
    QTest::newRow("shown") << true << false << 1;
}

// The check starts from the event loop once the window's first frame is on the screen; a
// window closed before that fetches nothing and does not load the HTTP module.
void TestUpdateCheck::checkStartsOnlyForAShownWindow()
{
    QFETCH(bool, onScreen);
    QFETCH(bool, closedAtOnce);
    QFETCH(int, requests);
    TestHttpServer server;
    TestRoute answer;
    answer.body = "5.1";
    server.setRoute("/update.ini", answer);
    MainWindowFixture f("[Corvane]\nAutoUpdate=1\n");
    qputenv("http_proxy", server.url(QStringLiteral("/")).toLatin1());
    f.window = std::make_unique<Tfrm_Main>(*f.translator, *f.settings);
    f.window->setAttribute(Qt::WA_DontShowOnScreen, !onScreen);
    f.window->show();
    if (closedAtOnce)
        QVERIFY(f.window->close());
    QTRY_COMPARE_WITH_TIMEOUT(server.requestCount(), requests, 5000);
    QTest::qWait(200); // and no later request either
    QCOMPARE(server.requestCount(), requests);
    QFile maps(QStringLiteral("/proc/self/maps"));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    const QByteArray mapped = maps.readAll();
    QCOMPARE(mapped.contains("libcorvane_http"), requests > 0);
}

QTEST_MAIN(TestUpdateCheck)
#include "test_updatecheck.moc"
