// The update prompt: its texts with and without a language file, what each way of answering
// reports back and opens, and that the labels show the server's text as it came, on one line.

#include "testfiles.h"
#include "update/updateprompt.h"
#include "urlrecorder.h"

#include "common/product.h"
#include "i18n/translate.h"

#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

using namespace corvane;

namespace {

template <typename T> T* child(const QWidget& parent, const char* name)
{
    return parent.findChild<T*>(QString::fromLatin1(name));
}

} // namespace

class TestUpdatePrompt : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void texts_data();
    void texts();
    void answers_data();
    void answers();
    void labels_data();
    void labels();
    void longVersionIsElided();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<Translator> m_translator;
    test::UrlRecorder m_urls{homePage().scheme()};
};

void TestUpdatePrompt::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_translator = std::make_unique<Translator>(m_folder->path() + u'/');
    m_urls.opened.clear();
}

void TestUpdatePrompt::texts_data()
{
    QTest::addColumn<QByteArray>("language");
    QTest::addColumn<QStringList>("shown"); // caption, check box, Yes, No
    QTest::newRow("no language file")
        << QByteArray()
        << QStringList{QStringLiteral("Update"), QStringLiteral("Don't check for updates"),
                       QStringLiteral("Yes"), QStringLiteral("No")};
    // The long caption must be wrapped to fit the check box.
    QTest::newRow("translated") << QByteArray(
                                       "[v2.2.3]\nUpdate=<b>x</b>\nYes=&Ja\nNo=&Nein\n"
                                       "[v3.0]\nDontCheck=Nicht mehr nach neuen Fassungen suchen\n")
                                << QStringList{
                                       QStringLiteral("<b>x</b>"),
                                       QStringLiteral("Nicht mehr nach neuen Fassungen suchen"),
                                       QStringLiteral("&Ja"), QStringLiteral("&Nein")};
}

void TestUpdatePrompt::texts()
{
    QFETCH(QByteArray, language);
    QFETCH(QStringList, shown);
    if (!language.isEmpty())
        QVERIFY(test::writeFile(m_folder->filePath(QStringLiteral("lang.lng")), language));

    Tfrm_Update prompt(*m_translator, {}, nullptr);
    const QCheckBox* ask = child<QCheckBox>(prompt, "chk_Ask");
    QCOMPARE(prompt.windowTitle(), shown[0]);
    QCOMPARE(ask->text().replace(u'\n', u' '), shown[1]);
    QCOMPARE(child<QPushButton>(prompt, "btn_OK")->text(), shown[2]);
    QCOMPARE(child<QPushButton>(prompt, "btn_Cancel")->text(), shown[3]);
    QVERIFY(!ask->isChecked());
    QVERIFY(ask->sizeHint().width() <= ask->width());
    QVERIFY(ask->sizeHint().height() <= ask->height());
}

void TestUpdatePrompt::answers_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<bool>("autoUpdate");

    const int yes = QDialog::Accepted;
    const int no = QDialog::Rejected;
    const auto row = [](const char* name, const char* answer, bool ticked, int result, bool opens,
                        bool autoUpdate) {
        QTest::newRow(name) << QString::fromLatin1(answer) << ticked << result << opens
                            << autoUpdate;
    };
    row("Yes, box empty", "click Yes", false, yes, true, true);
    row("Yes, box ticked", "click Yes", true, yes, true, false);
    row("No, box empty", "click No", false, no, false, true);
    row("No, box ticked", "click No", true, no, false, false);
    row("Enter", "Enter", true, yes, true, false);
    row("Esc", "Esc", false, no, false, true);
    row("Enter on No", "Enter on No", true, no, false, false);
    // The window manager may close it whatever it asks for: that answers "No", box included.
    row("window manager close", "close", true, no, false, false);
}

void TestUpdatePrompt::answers()
{
    QFETCH(QString, answer);
    QFETCH(bool, ticked);
    QFETCH(int, result);
    QFETCH(bool, opens);
    QFETCH(bool, autoUpdate);

    QList<bool> reported;
    Tfrm_Update prompt(
        *m_translator, [&reported](bool on) { reported.append(on); }, nullptr);
    child<QCheckBox>(prompt, "chk_Ask")->setChecked(ticked);

    QTimer::singleShot(0, &prompt, [&prompt, answer] {
        QPushButton* no = child<QPushButton>(prompt, "btn_Cancel");
        // Keys go where the user's would: to the focused control of the active prompt.
        const auto key = [&prompt](Qt::Key k) {
            prompt.activateWindow();
            if (QTest::qWaitForWindowActive(&prompt) && QApplication::focusWidget())
                QTest::keyClick(QApplication::focusWidget(), k);
        };
        if (answer == u"click Yes") {
            QTest::mouseClick(child<QPushButton>(prompt, "btn_OK"), Qt::LeftButton);
        } else if (answer == u"click No") {
            QTest::mouseClick(no, Qt::LeftButton);
        } else if (answer == u"Enter") {
            key(Qt::Key_Return);
        } else if (answer == u"Esc") {
            key(Qt::Key_Escape);
        } else if (answer == u"Enter on No") {
            no->setFocus();
            key(Qt::Key_Return);
        } else if (answer == u"close") {
            prompt.windowHandle()->close();
        }
    });
    QTimer guard; // ends a prompt that does not close with -1
    guard.callOnTimeout(&prompt, [&prompt] {
        prompt.show();
        prompt.done(-1);
    });
    guard.start(5000);
    QCOMPARE(prompt.exec(), result);

    QCOMPARE(reported, QList<bool>{autoUpdate});
    QCOMPARE(m_urls.opened, opens ? QList<QUrl>{homePage()} : QList<QUrl>{});
}

void TestUpdatePrompt::labels_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("media");
    QTest::addColumn<QString>("shownMessage");
    QTest::addColumn<QString>("shownMedia");
    QTest::addColumn<int>("mediaLines");
    QTest::newRow("body ending in CR LF") << QStringLiteral("An update is available:")
                                          << QStringLiteral("Corvane Professional 5.2\r\n")
                                          << QStringLiteral("An update is available:")
                                          << QStringLiteral("Corvane Professional 5.2") << 1;
    // Only the first line is shown, marked as cut; the rest would spill over the other texts.
    QTest::newRow("sixty lines") << QStringLiteral("An update is available:")
                                 << QStringLiteral("Corvane Professional 5.2.0.0\r\n") +
                                        QStringLiteral("<b>more</b>\r\n").repeated(60)
                                 << QStringLiteral("An update is available:")
                                 << QStringLiteral("Corvane Professional 5.2.0.0…") << 1;
    QTest::newRow("markup") << QStringLiteral("<b>x</b>")
                            << QStringLiteral("Corvane Professional <b>6</b>")
                            << QStringLiteral("<b>x</b>")
                            << QStringLiteral("Corvane Professional <b>6</b>") << 1;
    // A translated caption follows the accelerator convention; the server's text does not.
    QTest::newRow("ampersands") << QStringLiteral("R&&D &neu:")
                                << QStringLiteral("Corvane Professional 5&2")
                                << QStringLiteral("R&D neu:")
                                << QStringLiteral("Corvane Professional 5&2") << 1;
}

void TestUpdatePrompt::labels()
{
    QFETCH(QString, message);
    QFETCH(QString, media);
    QFETCH(QString, shownMessage);
    QFETCH(QString, shownMedia);
    QFETCH(int, mediaLines);

    Tfrm_Update prompt(*m_translator, {}, nullptr);
    const QString download = QStringLiteral("Do you want to visit homepage to download new "
                                            "version? <i>Really</i>, the whole long sentence?");
    prompt.setTexts(message, media, download);
    prompt.show();

    const QLabel* messageLabel = child<QLabel>(prompt, "lbl_Message");
    const QLabel* mediaLabel = child<QLabel>(prompt, "lbl_Media");
    const QLabel* downloadLabel = child<QLabel>(prompt, "lbl_Download");
    QCOMPARE(messageLabel->text(), shownMessage);
    QCOMPARE(mediaLabel->text(), shownMedia);
    QCOMPARE(downloadLabel->text(), download);
    for (const QLabel* label : {messageLabel, mediaLabel, downloadLabel})
        QCOMPARE(label->textFormat(), Qt::PlainText);

    QCOMPARE(messageLabel->geometry(), QRect(QPoint(80, 16), messageLabel->sizeHint()));
    QCOMPARE(mediaLabel->geometry(), QRect(QPoint(80, 40), mediaLabel->sizeHint()));
    const int lineHeight = mediaLabel->fontMetrics().height();
    QVERIFY(mediaLabel->height() >= mediaLines * lineHeight);
    QVERIFY(mediaLabel->height() < (mediaLines + 1) * lineHeight);
    QCOMPARE(downloadLabel->geometry(), QRect(80, 64, 281, 33));

    // The bevel's line lies along its top edge, its lower part is plain.
    const QImage bevel = child<QWidget>(prompt, "Bevel1")->grab().toImage();
    QVERIFY(bevel.pixel(100, 0) != bevel.pixel(100, 4));
    QCOMPARE(bevel.pixel(100, 2), bevel.pixel(100, 4));
}

void TestUpdatePrompt::longVersionIsElided()
{
    // 16 MiB, as much as the fetcher takes in; laid out whole it blocked the prompt for seconds.
    Tfrm_Update prompt(*m_translator, {}, nullptr);
    prompt.setTexts({}, QStringLiteral("Corvane Professional 5.2.0.0") + QString(1 << 24, u'W'),
                    {});
    const QLabel* media = child<QLabel>(prompt, "lbl_Media");
    QVERIFY(media->text().startsWith(QStringLiteral("Corvane Professional 5.2")));
    QVERIFY(media->text().endsWith(u'…'));
    QVERIFY(media->geometry().right() <= child<QLabel>(prompt, "lbl_Download")->geometry().right());
}

QTEST_MAIN(TestUpdatePrompt)
#include "test_updateprompt.moc"
