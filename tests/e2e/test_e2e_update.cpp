// The update check of the real launcher, end to end: a private X server with a window
// manager, and an HTTP server of our own on 127.0.0.1 that the launcher reaches as the user's
// proxy (http_proxy), so that the request for the real update address arrives here.

#include "e2esupport.h"
#include "testhttpserver.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QUrl>

using namespace corvane::test;

namespace {

const QString UpdateAddress = QStringLiteral(CORVANE_UPDATE_ADDRESS);
const QByteArray UpdatePath = QUrl(UpdateAddress).path().toLatin1();

/// A port on 127.0.0.1 with nobody listening.
quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

TestRoute answer(int status, const QByteArray& body)
{
    TestRoute route;
    route.status = status;
    route.body = body;
    return route;
}

} // namespace

class TestE2eUpdate : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase() { m_session.reset(); }
    void newerVersionShowsPrompt_data();
    void newerVersionShowsPrompt();
    void silentOutcomes_data();
    void silentOutcomes();
    void tickedBoxEndsLaterChecks();
    void stalledServerDoesNotHoldClose();

private:
    QString settingsPath() const { return m_session->configFolder() + u"/corvane.ini"; }
    void writeSettings(const QByteArray& text) const;
    std::unique_ptr<Launcher> start(quint16 proxyPort) const;

    std::unique_ptr<XSession> m_session;
};

void TestE2eUpdate::initTestCase()
{
    m_session = std::make_unique<XSession>(true);
    QVERIFY2(m_session->isRunning(), "Xvfb did not start");
    QVERIFY(QFile::exists(builtProgramFolder() + u"/corvane"));
}

void TestE2eUpdate::writeSettings(const QByteArray& text) const
{
    QFile::remove(settingsPath());
    if (!text.isNull())
        QVERIFY(writeFile(settingsPath(), text));
}

std::unique_ptr<Launcher> TestE2eUpdate::start(quint16 proxyPort) const
{
    QProcessEnvironment environment = m_session->environment();
    // Only the proxy variables of this test count, and nothing exempts the update host.
    for (const char* name :
         {"HTTP_PROXY", "NO_PROXY", "all_proxy", "ALL_PROXY", "XDG_CURRENT_DESKTOP",
          "DESKTOP_SESSION", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("http_proxy"),
                       QStringLiteral("http://127.0.0.1:") + QString::number(proxyPort));
    environment.insert(QStringLiteral("no_proxy"), QString());
    auto launcher = std::make_unique<Launcher>(builtProgramFolder() + u"/corvane", environment);
    [[maybe_unused]] const bool started = launcher->started();
    return launcher;
}

void TestE2eUpdate::newerVersionShowsPrompt_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::newRow("AutoUpdate=1") << QByteArray("[Corvane]\nAutoUpdate=1\n");
    // A first start: the check is on by default.
    QTest::newRow("no settings file") << QByteArray();
}

void TestE2eUpdate::newerVersionShowsPrompt()
{
    QFETCH(QByteArray, settings);
    writeSettings(settings);
    TestHttpServer server;
    server.setRoute(UpdatePath, answer(200, "5.2"));
    auto launcher = start(server.port());

    const QString main = waitForTitled(*m_session, launcher->pid(), LauncherTitle);
    QVERIFY(!main.isEmpty());
    const QString prompt = waitForTitled(*m_session, launcher->pid(), QStringLiteral("Update"));
    QVERIFY2(!prompt.isEmpty(), "no update prompt");
    // Modal, and owned by the main window.
    QVERIFY(m_session->property(prompt, QStringLiteral("_NET_WM_STATE"))
                .contains(u"_NET_WM_STATE_MODAL"));
    QVERIFY(m_session->property(prompt, QStringLiteral("WM_TRANSIENT_FOR"))
                .endsWith(u"0x" + QString::number(main.toULongLong(), 16)));
    // A title and a border, moving as the only function: no button.
    QVERIFY(m_session->property(prompt, QStringLiteral("_MOTIF_WM_HINTS"))
                .endsWith(u"= 0x3, 0x4, 0xa, 0x0, 0x0"));
    const QImage shot = saveScreenshot(*m_session, prompt, QStringLiteral("update-prompt.png"));
    QVERIFY(shot.width() >= 376 && shot.height() >= 159);
    const QRect frame = frameGeometry(*m_session, prompt); // taller by its title bar
    const QPoint offset = frame.center() - frameGeometry(*m_session, main).center();
    QVERIFY2(frame.height() > 159 && qAbs(offset.x()) <= 2 && qAbs(offset.y()) <= 2,
             qPrintable(QStringLiteral("off centre by %1, %2").arg(offset.x()).arg(offset.y())));

    const QList<RecordedRequest> requests = server.requests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests[0].method, QByteArray("GET"));
    QCOMPARE(QString::fromLatin1(requests[0].target), UpdateAddress);
    QCOMPARE(requests[0].values("User-Agent"), QList<QByteArray>{"WebData"});
    QVERIFY(requests[0].values("Authorization").isEmpty());
    QVERIFY(requests[0].values("Proxy-Authorization").isEmpty());

    // Esc answers "No" with the box empty: the check stays on.
    typeKeys(*m_session, prompt, {QStringLiteral("Escape")});
    QTRY_VERIFY(waitForTitled(*m_session, launcher->pid(), QStringLiteral("Update"), 0).isEmpty());
    QCOMPARE(windowsOf(*m_session, launcher->pid()), QStringList{main});
    QCOMPARE(launcher->endBySigterm(), 0);
    QVERIFY(readFile(settingsPath()).contains("AutoUpdate=1\n"));
    QCOMPARE(server.requestCount(), 1);
}

void TestE2eUpdate::silentOutcomes_data()
{
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<bool>("serverUp");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("requests");

    const QByteArray on("[Corvane]\nAutoUpdate=1\n");
    QTest::newRow("same version") << on << true << 200 << QByteArray("5.1") << 1;
    QTest::newRow("older version") << on << true << 200 << QByteArray("5.0.9") << 1;
    QTest::newRow("empty body") << on << true << 200 << QByteArray("") << 1;
    QTest::newRow("404") << on << true << 404 << QByteArray("5.2") << 1;
    QTest::newRow("no server") << on << false << 0 << QByteArray() << 0;
    QTest::newRow("check off") << QByteArray("[Corvane]\nAutoUpdate=0\n") << true << 200
                               << QByteArray("5.2") << 0;
}

void TestE2eUpdate::silentOutcomes()
{
    QFETCH(QByteArray, settings);
    QFETCH(bool, serverUp);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, requests);
    writeSettings(settings);
    std::unique_ptr<TestHttpServer> server;
    if (serverUp) {
        server = std::make_unique<TestHttpServer>();
        server->setRoute(UpdatePath, answer(status, body));
    }
    auto launcher = start(server ? server->port() : closedPort());

    const QString main = waitForTitled(*m_session, launcher->pid(), LauncherTitle);
    QVERIFY(!main.isEmpty());
    if (requests > 0)
        QTRY_COMPARE_WITH_TIMEOUT(server->requestCount(), requests, 10000);
    // An answer would be on screen well within this time.
    QTest::qWait(1500);
    if (server)
        QCOMPARE(server->requestCount(), requests);
    // Neither a prompt nor a message: the main window is all there is.
    QCOMPARE(windowsOf(*m_session, launcher->pid()), QStringList{main});
    QCOMPARE(launcher->endBySigterm(), 0);
}

void TestE2eUpdate::tickedBoxEndsLaterChecks()
{
    writeSettings("[Corvane]\nAutoUpdate=1\n");
    TestHttpServer server;
    server.setRoute(UpdatePath, answer(200, "5.2"));
    {
        auto launcher = start(server.port());
        const QString prompt = waitForTitled(*m_session, launcher->pid(), QStringLiteral("Update"));
        QVERIFY2(!prompt.isEmpty(), "no update prompt");
        // "Don't check for updates" lies at 8, 120 (161 × 33) in the prompt; then "No".
        m_session->run(QStringLiteral("xdotool"),
                       {QStringLiteral("windowactivate"), QStringLiteral("--sync"), prompt});
        clickAt(*m_session, prompt, QPoint(60, 136));
        typeKeys(*m_session, prompt, {QStringLiteral("Escape")});
        QTRY_VERIFY(
            waitForTitled(*m_session, launcher->pid(), QStringLiteral("Update"), 0).isEmpty());
        QCOMPARE(launcher->endBySigterm(), 0);
    }
    QVERIFY(readFile(settingsPath()).contains("AutoUpdate=0\n"));

    auto next = start(server.port());
    const QString main = waitForTitled(*m_session, next->pid(), LauncherTitle);
    QVERIFY(!main.isEmpty());
    QTest::qWait(1500);
    QCOMPARE(server.requestCount(), 1);
    QCOMPARE(windowsOf(*m_session, next->pid()), QStringList{main});
    QCOMPARE(next->endBySigterm(), 0);
}

void TestE2eUpdate::stalledServerDoesNotHoldClose()
{
    writeSettings("[Corvane]\nAutoUpdate=1\n");
    TestHttpServer server;
    TestRoute stall;
    stall.stallBeforeAnswer = true;
    server.setRoute(UpdatePath, stall);
    auto launcher = start(server.port());
    QVERIFY(!waitForTitled(*m_session, launcher->pid(), LauncherTitle).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(server.requestCount(), 1, 10000);

    QFile::remove(settingsPath());
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(launcher->endBySigterm(1000), 0);
    qInfo("ended %lld ms after SIGTERM", static_cast<long long>(clock.elapsed()));
    // The close was a whole one: the settings were written.
    QVERIFY(readFile(settingsPath()).contains("AutoUpdate=1\n"));
}

QTEST_GUILESS_MAIN(TestE2eUpdate)
#include "test_e2e_update.moc"
