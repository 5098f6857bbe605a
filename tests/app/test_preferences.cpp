// The Settings menu, the settings file around it, and the help command.

#include "environmentoverride.h"
#include "mainwindowfixture.h"
#include "urlrecorder.h"

#include <QAction>
#include <QDesktopServices>
#include <QMenu>
#include <QMessageBox>

using namespace corvane;
using namespace corvane::test;

namespace {

QByteArray settingsFile(const MainWindowFixture& f)
{
    QFile file(f.configFolder + QStringLiteral("/corvane.ini"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// Opens the Settings menu the way the user does, so its marks are brought up to date.
void openSettingsMenu(MainWindowFixture& f)
{
    auto* menu = f.child<QMenu>(QStringLiteral("Settings1"));
    QMetaObject::invokeMethod(menu, &QMenu::aboutToShow);
}

} // namespace

class TestPreferences : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void menuMirrorsTheFile_data();
    void menuMirrorsTheFile();
    void togglesReachTheFile();
    void restoreDefaults();
    void otherLinesSurviveSave();
    void help_data();
    void help();
};

void TestPreferences::menuMirrorsTheFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("autoUpdate");
    QTest::addColumn<bool>("autoClose");
    QTest::newRow("no file") << QByteArray() << true << false;
    QTest::newRow("both off") << QByteArray("[Corvane]\nAutoUpdate=0\nAutoClose=0\n") << false
                              << false;
    QTest::newRow("case, hex, sign")
        << QByteArray("[corvane]\nautoupdate=0x0\nAUTOCLOSE=-1\n") << false << true;
    QTest::newRow("not numbers") << QByteArray("[Corvane]\nAutoUpdate=no\nAutoClose=yes\n") << true
                                 << false;
}

void TestPreferences::menuMirrorsTheFile()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, autoUpdate);
    QFETCH(bool, autoClose);
    MainWindowFixture f(file.isEmpty() ? QByteArray() : file);
    Tfrm_Main& w = f.show();
    QCOMPARE(w.autoUpdate(), autoUpdate);
    QCOMPARE(w.autoClose(), autoClose);
    // Right before the menu has ever opened, as assistive technology reads it, and after.
    QCOMPARE(f.child<QAction>(QStringLiteral("Checkforupdates1"))->isChecked(), autoUpdate);
    QCOMPARE(f.child<QAction>(QStringLiteral("CloseMainWindow1"))->isChecked(), autoClose);
    openSettingsMenu(f);
    QCOMPARE(f.child<QAction>(QStringLiteral("Checkforupdates1"))->isChecked(), autoUpdate);
    QCOMPARE(f.child<QAction>(QStringLiteral("CloseMainWindow1"))->isChecked(), autoClose);
}

void TestPreferences::togglesReachTheFile()
{
    MainWindowFixture f;
    Tfrm_Main& w = f.show();
    openSettingsMenu(f);
    auto* checkUpdates = f.child<QAction>(QStringLiteral("Checkforupdates1"));
    auto* closeWindow = f.child<QAction>(QStringLiteral("CloseMainWindow1"));
    checkUpdates->trigger();
    QVERIFY(w.autoUpdate());
    checkUpdates->trigger();
    QVERIFY(!w.autoUpdate());
    closeWindow->trigger();
    QVERIFY(w.autoClose());
    // The file is written only when the window closes.
    QCOMPARE(settingsFile(f), QByteArray("[Corvane]\nAutoUpdate=0\n"));
    QVERIFY(w.close());
    QCOMPARE(settingsFile(f), QByteArray("[Corvane]\nAutoUpdate=0\nAutoClose=1\n"));
}

void TestPreferences::restoreDefaults()
{
    MainWindowFixture f("[Corvane]\nAutoUpdate=0\nAutoClose=1\n[Other]\nKept=1\n");
    Tfrm_Main& w = f.show();
    f.child<QAction>(QStringLiteral("Restoredefaultsettings1"))->trigger();
    QVERIFY(!QFile::exists(f.configFolder + QStringLiteral("/corvane.ini")));
    QVERIFY(w.autoUpdate());
    QVERIFY(!w.autoClose());
    openSettingsMenu(f);
    QVERIFY(f.child<QAction>(QStringLiteral("Checkforupdates1"))->isChecked());
    QVERIFY(!f.child<QAction>(QStringLiteral("CloseMainWindow1"))->isChecked());
    QVERIFY(w.close());
    QCOMPARE(settingsFile(f), QByteArray("[Corvane]\nAutoUpdate=1\nAutoClose=0\n"));
}

void TestPreferences::otherLinesSurviveSave()
{
    const QByteArray before = "; written by hand\r\n[Other]\r\nKey = value \r\n\r\n"
                              "[Corvane]\r\nAutoClose=1\r\nAutoUpdate=0\r\n[Last]\r\nx=1";
    MainWindowFixture f(before);
    Tfrm_Main& w = f.show();
    openSettingsMenu(f);
    f.child<QAction>(QStringLiteral("CloseMainWindow1"))->trigger();
    QVERIFY(w.close());
    QCOMPARE(settingsFile(f),
             QByteArray("; written by hand\r\n[Other]\r\nKey = value \r\n\r\n"
                        "[Corvane]\r\nAutoClose=0\r\nAutoUpdate=0\r\n[Last]\r\nx=1"));
}

void TestPreferences::help_data()
{
    QTest::addColumn<QString>("helpFile"); // "file", "folder" or "none"
    QTest::addColumn<bool>("viewer");      // the desktop has an application for CHM files
    QTest::addColumn<bool>("pages");       // help/index.html lies in the program folder
    QTest::addColumn<bool>("opener");      // the desktop's opener can be started
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("opened");  // below the program folder
    QTest::addColumn<QString>("warning"); // %1 is the program folder
    const QString missing =
        QStringLiteral("The compiled help (.chm) file could not be found.\n"
                       "The program must be reinstalled in order to access the help.");
    const QString notOpened = QStringLiteral("No program could be found to open the help file:\n");
    QTest::newRow("viewer registered") << QStringLiteral("file") << true << true << true
                                       << QString() << QStringLiteral("corvane.chm") << QString();
    QTest::newRow("no viewer: the pages in a browser")
        << QStringLiteral("file") << false << true << true << QString()
        << QStringLiteral("help/index.html") << QString();
    QTest::newRow("no viewer, no pages")
        << QStringLiteral("file") << false << false << true << QString() << QString()
        << notOpened + QStringLiteral("%1corvane.chm");
    QTest::newRow("no opener") << QStringLiteral("file") << true << true << false << QString()
                               << QString() << notOpened + QStringLiteral("%1help/index.html");
    QTest::newRow("absent") << QStringLiteral("none") << true << true << true << QString()
                            << QString() << missing;
    QTest::newRow("a folder is no help file")
        << QStringLiteral("folder") << true << true << true << QString() << QString() << missing;
    QTest::newRow("first line translated")
        << QStringLiteral("none") << true << true << true
        << QStringLiteral("[Trial]\r\nChm=Keine Hilfe & <i>da</i>.\r\n") << QString()
        << QStringLiteral("Keine Hilfe & <i>da</i>.\n"
                          "The program must be reinstalled in order to access the help.");
}

void TestPreferences::help()
{
    QFETCH(QString, helpFile);
    QFETCH(bool, viewer);
    QFETCH(bool, pages);
    QFETCH(bool, opener);
    QFETCH(QString, language);
    QFETCH(QString, opened);
    QFETCH(QString, warning);
    MainWindowFixture f;
    const QString path = f.programFolder + QStringLiteral("corvane.chm");
    if (helpFile == u"file")
        writeFile(path, "ITSF");
    else if (helpFile == u"folder")
        QDir().mkpath(path);
    if (pages) {
        QDir().mkpath(f.programFolder + QStringLiteral("help"));
        writeFile(f.programFolder + QStringLiteral("help/index.html"), "<!DOCTYPE html>");
    }
    if (!language.isEmpty())
        f.addLanguageFile(language);
    // The desktop's applications are the fixture's own, and nothing of the user's counts.
    const QString data = f.root.path() + QStringLiteral("/data");
    QDir().mkpath(data + QStringLiteral("/applications"));
    if (viewer)
        writeFile(data + QStringLiteral("/applications/viewer.desktop"),
                  "[Desktop Entry]\nMimeType=application/vnd.ms-htmlhelp;\n");
    const QByteArray folder = QFile::encodeName(data);
    const EnvironmentOverride environment{{"XDG_DATA_DIRS", folder},
                                          {"XDG_DATA_HOME", folder},
                                          {"XDG_CONFIG_DIRS", folder},
                                          {"XDG_CONFIG_HOME", folder}};
    // Without a recorder the offscreen platform has no opener at all.
    std::optional<UrlRecorder> recorder;
    if (opener)
        recorder.emplace(QStringLiteral("file"));
    Tfrm_Main& w = f.show();

    for (int way = 0; way < 2; ++way) {
        QString shown;
        ModalWatcher watcher([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            QCOMPARE(box->windowTitle(), QStringLiteral("Corvane"));
            QCOMPARE(box->icon(), QMessageBox::Warning);
            shown = box->text();
        });
        if (way == 0)
            QTest::keyClick(&w, Qt::Key_F1);
        else
            f.child<QAction>(QStringLiteral("Help2"))->trigger();
        QCOMPARE(shown, warning.arg(f.programFolder));
        QCOMPARE(watcher.count(), warning.isEmpty() ? 0 : 1);
    }
    if (recorder)
        QCOMPARE(recorder->opened,
                 opened.isEmpty() ? QList<QUrl>()
                                  : QList<QUrl>(2, QUrl::fromLocalFile(f.programFolder + opened)));
}

QTEST_MAIN(TestPreferences)
#include "test_preferences.moc"
