// Closing the main window when corvane.ini cannot be written: the user is told, the window
// stays, the file stays exactly as it was, and the next close after the cause is gone writes
// it. A configuration folder that is missing altogether is made, private, and written.

#include "mainwindowfixture.h"
#include "testfiles.h"

#include <QAction>
#include <QDir>
#include <QMessageBox>

#include <sys/stat.h>

using namespace corvane;
using namespace corvane::test;

namespace {

// Written by hand: comments, other sections, CR LF, no final line end.
const QByteArray OldSettings = "; mine\r\n[Window]\r\nLeft=10\r\n\r\n[Corvane]\r\nAutoUpdate=0\r\n"
                               "AutoClose=0\r\n[Later]\r\nz=\"q\"";
const QByteArray NewSettings = "; mine\r\n[Window]\r\nLeft=10\r\n\r\n[Corvane]\r\nAutoUpdate=1\r\n"
                               "AutoClose=0\r\n[Later]\r\nz=\"q\"";

bool setMode(const QString& path, mode_t mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

} // namespace

class TestFaultsSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { ::umask(022); }
    void unwritableSettingsKeepWindowAndFile_data();
    void unwritableSettingsKeepWindowAndFile();
    void missingFolderIsMade();
};

void TestFaultsSettings::unwritableSettingsKeepWindowAndFile_data()
{
    // The writer takes a file or folder without any write permission bit as read-only, for
    // root too, so these hold when the tests run as root.
    QTest::addColumn<bool>("lockFolder");
    QTest::newRow("read-only folder") << true;
    QTest::newRow("read-only file") << false;
}

void TestFaultsSettings::unwritableSettingsKeepWindowAndFile()
{
    QFETCH(bool, lockFolder);
    MainWindowFixture f(OldSettings);
    Tfrm_Main& w = f.show();
    const QString file = f.configFolder + QStringLiteral("/corvane.ini");
    const QString locked = lockFolder ? f.configFolder : file;
    const mode_t mode = permissions(locked);
    QVERIFY(setMode(locked, lockFolder ? 0555 : 0444));
    const QStringList before = entries(f.configFolder);

    {
        // A change is written at once; when that fails, nothing is said until the close.
        const ModalWatcher silent;
        f.child<QAction>(QStringLiteral("Checkforupdates1"))->trigger();
        QCOMPARE(silent.count(), 0);
        QCOMPARE(readFile(file), OldSettings);
    }

    for (int attempt = 0; attempt < 2; ++attempt) {
        QStringList shown;
        ModalWatcher boxes([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            shown << box->windowTitle() << box->text();
            QCOMPARE(box->icon(), QMessageBox::Critical);
            QCOMPARE(box->textFormat(), Qt::PlainText);
        });
        QVERIFY(!w.close());
        QCOMPARE(boxes.count(), 1);
        QCOMPARE(shown, (QStringList{QStringLiteral("Corvane Professional"),
                                     QStringLiteral("Unable to write to ") + file}));
        QVERIFY(w.isVisible());
        QCOMPARE(readFile(file), OldSettings);
        QCOMPARE(entries(f.configFolder), before); // no temporary file left either
    }

    QVERIFY(setMode(locked, mode));
    ModalWatcher none;
    QVERIFY(w.close());
    QCOMPARE(none.count(), 0);
    QVERIFY(!w.isVisible());
    QCOMPARE(readFile(file), NewSettings);
    QCOMPARE(entries(f.configFolder), QStringList{QStringLiteral("corvane.ini")});
}

void TestFaultsSettings::missingFolderIsMade()
{
    MainWindowFixture f;
    Tfrm_Main& w = f.show();
    // The configuration folder went away while the window was open.
    QVERIFY(QDir(f.configFolder).removeRecursively());
    ModalWatcher none;
    QVERIFY(w.close());
    QCOMPARE(none.count(), 0);
    QCOMPARE(permissions(f.configFolder), mode_t(0700));
    QCOMPARE(readFile(f.configFolder + QStringLiteral("/corvane.ini")),
             QByteArray("[Corvane]\nAutoUpdate=0\nAutoClose=0\n"));
}

QTEST_MAIN(TestFaultsSettings)
#include "test_faults_settings.moc"
