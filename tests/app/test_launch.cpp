// Starting the suite's tools from buttons and menu entries, and the missing-tool warning.

#include "app/toolcatalog.h"
#include "mainwindowfixture.h"

#include <QAction>
#include <QLabel>
#include <QMessageBox>

using namespace corvane;
using namespace corvane::test;

namespace {

/// What the stand-in tools recorded: one line per start, split at tabs
/// (argument count, argv…, working directory).
QList<QStringList> starts(const QString& recordFile)
{
    QList<QStringList> list;
    QFile file(recordFile);
    if (file.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = file.readAll().split('\n');
        for (const QByteArray& line : lines) {
            if (!line.isEmpty())
                list << QString::fromUtf8(line).split(u'\t');
        }
    }
    return list;
}

} // namespace

class TestLaunch : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void everyToolStartsWithItsArgument_data();
    void everyToolStartsWithItsArgument();
    void missingToolIsReported_data();
    void missingToolIsReported();
    void autoCloseAfterStart();
    void unstartableToolKeepsLauncherOpen();

private:
    QString m_record;
    QTemporaryDir m_recordDir;
};

void TestLaunch::init()
{
    m_record = m_recordDir.path() + QStringLiteral("/starts.txt");
    QFile::remove(m_record);
    qputenv("CORVANE_STANDIN_RECORD", QFile::encodeName(m_record));
}

void TestLaunch::everyToolStartsWithItsArgument_data()
{
    QTest::addColumn<bool>("viaMenu");
    QTest::newRow("buttons") << false;
    QTest::newRow("menu entries") << true;
}

void TestLaunch::everyToolStartsWithItsArgument()
{
    QFETCH(bool, viaMenu);
    MainWindowFixture f;
    f.installTools();
    f.show();
    // The tools start in the launcher's current directory, not in the program folder.
    const QString cwd = QDir::currentPath();

    for (const ToolEntry& tool : Tools) {
        if (viaMenu) {
            f.child<QAction>(tool.menuName.toString())->trigger();
        } else {
            QWidget* image = f.child(u"img_" + tool.id);
            QTest::mouseClick(image, Qt::LeftButton, {}, QPoint(44, 24));
        }
    }
    QTRY_COMPARE(starts(m_record).size(), 16);

    // The tools are independent processes, so their lines may come in any order.
    QStringList expected;
    for (const ToolEntry& tool : Tools) {
        QStringList argv{f.programFolder + tool.executable.toString()};
        if (!tool.argument.isEmpty())
            argv << tool.argument.toString();
        expected << (QString::number(argv.size() - 1) + u'\t' + argv.join(u'\t') + u'\t' + cwd);
    }
    QStringList seen;
    for (const QStringList& start : starts(m_record))
        seen << start.join(u'\t');
    expected.sort();
    seen.sort();
    QCOMPARE(seen, expected);
}

void TestLaunch::missingToolIsReported_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("expected");
    QTest::newRow("defaults")
        << QString()
        << QStringLiteral("The application file could not be found.\n"
                          "The program must be reinstalled in order to access the file.");
    QTest::newRow("translated, plain text")
        << QStringLiteral(
               "[Trial]\r\nNotFound=<b>Fehlt</b> & weg\r\nReinstalled1=Neu installieren.\r\n")
        << QStringLiteral("<b>Fehlt</b> & weg\nNeu installieren.");
}

void TestLaunch::missingToolIsReported()
{
    QFETCH(QString, language);
    QFETCH(QString, expected);
    // Close-after-start is on, yet a missing tool keeps the launcher open.
    MainWindowFixture f("[Corvane]\nAutoUpdate=0\nAutoClose=1\n");
    if (!language.isEmpty())
        f.addLanguageFile(language);
    QDir().mkpath(f.programFolder + QStringLiteral("media_wiper.exe")); // a folder is no tool
    Tfrm_Main& w = f.show();

    for (bool viaMenu : {false, true}) {
        QString text;
        bool checked = false;
        handleNextModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QVERIFY(box);
            QCOMPARE(box->windowTitle(), QStringLiteral("Corvane"));
            QCOMPARE(box->icon(), QMessageBox::Warning);
            QCOMPARE(box->standardButtons(), QMessageBox::Ok);
            QCOMPARE(box->textFormat(), Qt::PlainText);
            QCOMPARE(box->parentWidget(), &w);
            text = box->text();
            checked = true;
        });
        if (viaMenu)
            f.child<QAction>(QStringLiteral("EraseDisc1"))->trigger();
        else
            QTest::mouseClick(f.child(QStringLiteral("lbl_Erase")), Qt::LeftButton, {},
                              QPoint(40, 10));
        QVERIFY(checked);
        QCOMPARE(text, expected);
        QVERIFY(w.isVisible());
    }
    QVERIFY(starts(m_record).isEmpty());
}

void TestLaunch::autoCloseAfterStart()
{
    MainWindowFixture f("[Corvane]\nAutoUpdate=0\nAutoClose=1\n");
    f.installTools();
    Tfrm_Main& w = f.show();
    QTest::mouseClick(f.child(QStringLiteral("img_AudioCD")), Qt::LeftButton, {}, QPoint(44, 24));
    QVERIFY(!w.isVisible());
    QTRY_COMPARE(starts(m_record).size(), 1);
    QFile file(f.configFolder + QStringLiteral("/corvane.ini"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("[Corvane]\nAutoUpdate=0\nAutoClose=1\n"));
}

void TestLaunch::unstartableToolKeepsLauncherOpen()
{
    // The file is there but may not be run: the start fails, and close-after-launch must not
    // close the launcher over a tool that never came up.
    MainWindowFixture f("[Corvane]\nAutoUpdate=0\nAutoClose=1\n");
    const QString tool = f.programFolder + QStringLiteral("media_wiper.exe");
    QVERIFY(writeFile(tool, "#!/bin/sh\n"));
    QVERIFY(QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner));
    Tfrm_Main& w = f.show();
    QString text;
    handleNextModal([&](QWidget* modal) { text = qobject_cast<QMessageBox*>(modal)->text(); });
    f.child<QAction>(QStringLiteral("EraseDisc1"))->trigger();
    QCOMPARE(text, QStringLiteral("The application file could not be started:\n") + tool);
    QVERIFY(w.isVisible());
}

QTEST_MAIN(TestLaunch)
#include "test_launch.moc"
