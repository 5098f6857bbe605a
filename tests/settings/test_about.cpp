// The About window: its texts with and without a language file, the build date in the user's
// own short date format (checked in a child process, since Qt reads the locale from the
// environment once), where the link sits, the keys and the link click.

#include "settings/about.h"
#include "testfiles.h"
#include "urlrecorder.h"

#include "common/product.h"
#include "i18n/translate.h"
#include "platform/platform.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdio>

using namespace corvane;

namespace {

// Set for a child of this test: it shows an About window and prints what it shows.
const char ProbeVariable[] = "CORVANE_TEST_ABOUT_PROBE";

QString versionText(const QString& date)
{
    return QLatin1String("Version: 5.1\nCompiled on ") + date +
           QStringLiteral("\n\nCopyright \u00A9 2012 Corvane Software.\nAll rights reserved.");
}

template <typename T> T* child(const QWidget& parent, const char* name)
{
    return parent.findChild<T*>(QString::fromLatin1(name));
}

// Prints the picture's pixel size and ratio, then the version text.
int probe()
{
    QTemporaryDir noLanguage;
    Translator translator(noLanguage.path() + u'/');
    Tfrm_About about(translator, nullptr);
    about.show();
    const QPixmap picture = child<QLabel>(about, "Image1")->pixmap();
    const QByteArray report =
        (QString::number(picture.width()) + u' ' + QString::number(picture.devicePixelRatio()) +
         u'\n' + child<QLabel>(about, "lbl_Version")->text())
            .toUtf8();
    std::fwrite(report.constData(), 1, static_cast<size_t>(report.size()), stdout);
    return 0;
}

} // namespace

class TestAbout : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void fullYearFormat_data();
    void fullYearFormat();
    void underUserSettings_data();
    void underUserSettings();
    void texts_data();
    void texts();
    void linkUnderVersion();
    void keysClose_data();
    void keysClose();
    void linkClick_data();
    void linkClick();

private:
    std::unique_ptr<QTemporaryDir> m_folder;
    std::unique_ptr<Translator> m_translator;
    test::UrlRecorder m_urls{homePage().scheme()};
};

void TestAbout::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_translator = std::make_unique<Translator>(m_folder->path() + u'/');
    m_urls.opened.clear();
}

void TestAbout::fullYearFormat_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("widened");
    QTest::newRow("German") << QStringLiteral("dd.MM.yy") << QStringLiteral("dd.MM.yyyy");
    QTest::newRow("year first") << QStringLiteral("yy. M. d.") << QStringLiteral("yyyy. M. d.");
    QTest::newRow("four digits") << QStringLiteral("d 'yy' yyyy") << QStringLiteral("d 'yy' yyyy");
    QTest::newRow("quoted yy") << QStringLiteral("'yy' dd.MM.yy")
                               << QStringLiteral("'yy' dd.MM.yyyy");
    QTest::newRow("quoted yyyy") << QStringLiteral("'yyyy' d.M.yy")
                                 << QStringLiteral("'yyyy' d.M.yyyy");
    QTest::newRow("no year") << QStringLiteral("dd.MM.") << QStringLiteral("dd.MM.");
}

void TestAbout::fullYearFormat()
{
    QFETCH(QString, format);
    QFETCH(QString, widened);
    QCOMPARE(platform::fullYearDateFormat(format), widened);
}

void TestAbout::underUserSettings_data()
{
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("picture");
    QTest::addColumn<QString>("date");
    QTest::newRow("German") << QStringList{QStringLiteral("LANG=de_DE.UTF-8")}
                            << QStringLiteral("128 1") << QStringLiteral("06.08.2012");
    QTest::newRow("US English") << QStringList{QStringLiteral("LANG=en_US.UTF-8")}
                                << QStringLiteral("128 1") << QStringLiteral("8/6/2012");
    QTest::newRow("LC_TIME first, scaled")
        << QStringList{QStringLiteral("LANG=en_US.UTF-8"), QStringLiteral("LC_TIME=de_DE.UTF-8"),
                       QStringLiteral("QT_SCALE_FACTOR=2")}
        << QStringLiteral("256 2") << QStringLiteral("06.08.2012");
}

void TestAbout::underUserSettings()
{
    QFETCH(QStringList, environment);
    QFETCH(QString, picture);
    QFETCH(QString, date);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LC_ALL", "LC_TIME", "LANG", "QT_SCALE_FACTOR"})
        env.remove(QString::fromLatin1(name));
    for (const QString& variable : environment)
        env.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    env.insert(QString::fromLatin1(ProbeVariable), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);

    const QString shown = QString::fromUtf8(process.readAllStandardOutput());
    QCOMPARE(shown.section(u'\n', 0, 0), picture);
    QCOMPARE(shown.section(u'\n', 1), versionText(date));
}

void TestAbout::texts_data()
{
    QTest::addColumn<QByteArray>("language");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("version");
    const QString date = QLocale::system().toString(
        BuildDate,
        platform::fullYearDateFormat(QLocale::system().dateFormat(QLocale::ShortFormat)));

    QTest::newRow("no language file")
        << QByteArray() << QStringLiteral("About") << QStringLiteral("OK") << versionText(date);
    QTest::newRow("markup and accelerators")
        << QByteArray("[Welcome Hints]\r\nAbout=<b>x</b>\r\n[Buttons]\r\nOK=&Gut\r\n"
                      "[Welcome About]\r\nVersion=<i>Fassung</i>\r\nCopyright=R&&D\r\n"
                      "Reserved=\r\n[v4.0]\r\nCompiled=Gebaut &am\r\n")
        << QStringLiteral("<b>x</b>") << QStringLiteral("&Gut")
        << QLatin1String("<i>Fassung</i>: 5.1\nGebaut am ") + date +
               QStringLiteral("\n\nR&D \u00A9 2012 Corvane Software.\n");
}

void TestAbout::texts()
{
    QFETCH(QByteArray, language);
    QFETCH(QString, caption);
    QFETCH(QString, button);
    QFETCH(QString, version);
    if (!language.isEmpty())
        QVERIFY(test::writeFile(m_folder->filePath(QStringLiteral("lang.lng")), language));

    Tfrm_About about(*m_translator, nullptr);
    about.show();
    QCOMPARE(about.windowTitle(), caption);
    QCOMPARE(child<QPushButton>(about, "btn_OK")->text(), button);
    QCOMPARE(child<QLabel>(about, "lbl_Version")->text(), version);
    QCOMPARE(child<QLabel>(about, "lbl_BA")->text(), ProductTitle);
    QCOMPARE(child<QLabel>(about, "Label1")->text(), homePage().host());
    const QList<QLabel*> labels = about.findChildren<QLabel*>();
    for (const QLabel* label : labels)
        QCOMPARE(label->textFormat(), Qt::PlainText);
}

void TestAbout::linkUnderVersion()
{
    Tfrm_About plain(*m_translator, nullptr);
    plain.show();
    const QLabel* version = child<QLabel>(plain, "lbl_Version");
    const QLabel* link = child<QLabel>(plain, "Label1");
    QVERIFY(version->height() >= 5 * version->fontMetrics().height());
    QCOMPARE(link->pos(), QPoint(16, 43 + version->height()));

    // A longer translation widens the text, not the link's place.
    QVERIFY(test::writeFile(
        m_folder->filePath(QStringLiteral("long.lng")),
        "[Welcome About]\nReserved=Alle Rechte vorbehalten, auch die der Übersetzung.\n"));
    Tfrm_About translated(*m_translator, nullptr);
    translated.show();
    QVERIFY(child<QLabel>(translated, "lbl_Version")->width() > version->width());
    QCOMPARE(child<QLabel>(translated, "Label1")->pos(), link->pos());
}

void TestAbout::keysClose_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("Esc") << int(Qt::Key_Escape);
}

void TestAbout::keysClose()
{
    QFETCH(int, key);
    Tfrm_About about(*m_translator, nullptr);
    // Queued before exec(), as a key typed ahead would be.
    QTimer::singleShot(0, &about, [&about, key] {
        about.activateWindow();
        if (QTest::qWaitForWindowActive(&about) && QApplication::focusWidget())
            QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key));
    });
    // Ends a window that does not close with -1; showing it first also ends an exec() whose
    // window was hidden before its loop started.
    QTimer guard;
    guard.callOnTimeout(&about, [&about] {
        about.show();
        about.done(-1);
    });
    guard.start(5000);
    QCOMPARE(about.exec(), int(QDialog::Accepted));
}

void TestAbout::linkClick_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QPoint>("release");
    QTest::addColumn<bool>("opens");
    QTest::newRow("left click") << int(Qt::LeftButton) << QPoint(2, 2) << true;
    QTest::newRow("right click") << int(Qt::RightButton) << QPoint(2, 2) << false;
    QTest::newRow("released elsewhere") << int(Qt::LeftButton) << QPoint(-20, -20) << false;
}

void TestAbout::linkClick()
{
    QFETCH(int, button);
    QFETCH(QPoint, release);
    QFETCH(bool, opens);
    Tfrm_About about(*m_translator, nullptr);
    about.show();
    QLabel* link = child<QLabel>(about, "Label1");
    QTest::mousePress(link, static_cast<Qt::MouseButton>(button), {}, QPoint(2, 2));
    QTest::mouseRelease(link, static_cast<Qt::MouseButton>(button), {}, release);
    QCOMPARE(m_urls.opened, opens ? QList<QUrl>{homePage()} : QList<QUrl>{});
    QVERIFY(about.isVisible());
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(ProbeVariable))
        return probe();
    TestAbout test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_about.moc"
