// The Settings menu, the settings file around it, and the way to the help.

#include "mainwindowfixture.h"

#include <QAction>
#include <QMenu>

using namespace corvane;
using namespace corvane::test;

namespace {

QByteArray settingsFile(const MainWindowFixture& f)
{
    return readFile(f.configFolder + QStringLiteral("/corvane.ini"));
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
    void helpKeyAndMenu();
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
    // Written at once, so that a session that ends without closing the window keeps it.
    QCOMPARE(settingsFile(f), QByteArray("[Corvane]\nAutoUpdate=1\nAutoClose=0\n"));
    checkUpdates->trigger();
    QVERIFY(!w.autoUpdate());
    closeWindow->trigger();
    QVERIFY(w.autoClose());
    QCOMPARE(settingsFile(f), QByteArray("[Corvane]\nAutoUpdate=0\nAutoClose=1\n"));
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

void TestPreferences::helpKeyAndMenu()
{
    // F1 and the menu entry both reach the help; without a help file each shows the warning.
    MainWindowFixture f;
    Tfrm_Main& w = f.show();
    const ModalWatcher watcher;
    QTest::keyClick(&w, Qt::Key_F1);
    QCOMPARE(watcher.count(), 1);
    f.child<QAction>(QStringLiteral("Help2"))->trigger();
    QCOMPARE(watcher.count(), 2);
}

QTEST_MAIN(TestPreferences)
#include "test_preferences.moc"
