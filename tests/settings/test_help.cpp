// The help command: the compiled help in the desktop's viewer for it, else its pages in the
// browser, else a warning that says what is missing or names the file that could not be
// opened. The desktop's tools are stand-ins first on PATH, and the window never waits for them.

#include "settings/help.h"

#include "environmentoverride.h"
#include "i18n/translate.h"
#include "modalwindows.h"
#include "testfiles.h"

#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

using namespace corvane;
using namespace corvane::test;

class TestHelp : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void help_data();
    void help();
};

void TestHelp::help_data()
{
    QTest::addColumn<QString>("helpFile"); // "file", "folder" or "none"
    QTest::addColumn<QString>("xdgMime");  // the stand-in's commands; none: not installed
    QTest::addColumn<QString>("xdgOpen");  // the same, run after it has noted its argument
    QTest::addColumn<bool>("pages");       // help/index.html lies in the program folder
    QTest::addColumn<QString>("language");
    QTest::addColumn<QStringList>("opened"); // below the program folder
    QTest::addColumn<QString>("warning");    // %1 is the program folder
    const QString missing =
        QStringLiteral("The compiled help (.chm) file could not be found.\n"
                       "The program must be reinstalled in order to access the help.");
    const QString notOpened =
        QStringLiteral("No program could be found to open the help file:\n%1");
    const QString viewer = QStringLiteral("echo viewer.desktop");
    const QString none = QStringLiteral("exit 0"), opens = none;
    const QString chm = QStringLiteral("corvane.chm");
    const QString html = QStringLiteral("help/index.html");
    const auto row = [&](const char* name, const QString& helpFile, const QString& xdgMime,
                         const QString& xdgOpen, bool pages, const QStringList& opened,
                         const QString& warning, const QString& language = {}) {
        QTest::newRow(name) << helpFile << xdgMime << xdgOpen << pages << language << opened
                            << warning;
    };
    const QString file = QStringLiteral("file");
    row("viewer registered", file, viewer, opens, true, {chm}, {});
    row("no viewer: the pages in a browser", file, none, opens, true, {html}, {});
    // xdg-open fails when the viewer's program is gone, for one.
    row("the viewer fails: the pages", file, viewer,
        QStringLiteral("case $1 in *.chm) exit 4; esac"), true, {chm, html}, {});
    row("no viewer, no pages", file, none, opens, false, {}, notOpened + chm);
    row("no browser either", file, none, QStringLiteral("exit 3"), true, {html}, notOpened + html);
    row("no opener", file, QString(), QString(), true, {}, notOpened + html);
    // As a mimeapps.list that is a pipe nobody writes to: the question is given up.
    row("the desktop does not answer", file,
        QStringLiteral("/usr/bin/mkfifo \"$0.fifo\" && read line <\"$0.fifo\""), opens, true,
        {html}, {});
    // Where the desktop has no opener of its own, xdg-open waits for the viewer it started.
    row("the opener stays with its viewer", file, viewer, QStringLiteral("exec /bin/sleep 30"),
        true, {chm}, {});
    row("absent", QStringLiteral("none"), viewer, opens, true, {}, missing);
    row("a folder is no help file", QStringLiteral("folder"), viewer, opens, true, {}, missing);
    row("first line translated", QStringLiteral("none"), viewer, opens, true, {},
        QStringLiteral("Keine Hilfe & <i>da</i>.\n"
                       "The program must be reinstalled in order to access the help."),
        QStringLiteral("[Trial]\r\nChm=Keine Hilfe & <i>da</i>.\r\n"));
}

void TestHelp::help()
{
    QFETCH(QString, helpFile);
    QFETCH(QString, xdgMime);
    QFETCH(QString, xdgOpen);
    QFETCH(bool, pages);
    QFETCH(QString, language);
    QFETCH(QStringList, opened);
    QFETCH(QString, warning);
    QTemporaryDir root;
    // With a blank and a non-ASCII letter, as installed folders may have.
    const QString programFolder = root.path() + QStringLiteral("/Program Files ü/");
    QDir().mkpath(programFolder);
    const QString path = programFolder + QStringLiteral("corvane.chm");
    if (helpFile == u"file")
        QVERIFY(writeFile(path, "ITSF"));
    else if (helpFile == u"folder")
        QDir().mkpath(path);
    if (pages) {
        QDir().mkpath(programFolder + QStringLiteral("help"));
        QVERIFY(writeFile(programFolder + QStringLiteral("help/index.html"), "<!DOCTYPE html>"));
    }
    if (!language.isEmpty())
        QVERIFY(writeFile(programFolder + QStringLiteral("de.lng"), utf16File(language)));

    // Nothing but the stand-ins is found on PATH, whatever the machine has installed.
    const QString bin = root.path() + QStringLiteral("/bin/");
    const QString record = root.path() + QStringLiteral("/opened");
    QDir().mkpath(bin);
    const auto standIn = [&bin](const QString& name, const QString& commands) {
        const QString script = bin + name;
        QVERIFY(writeFile(script, "#!/bin/sh\n" + commands.toUtf8() + '\n'));
        QVERIFY(QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner));
    };
    if (!xdgMime.isEmpty())
        standIn(QStringLiteral("xdg-mime"), xdgMime);
    if (!xdgOpen.isEmpty())
        standIn(QStringLiteral("xdg-open"),
                u"printf '%s\\n' \"$1\" >>'" + record + u"'\n" + xdgOpen);
    const EnvironmentOverride environment{{"PATH", QFile::encodeName(bin)}};

    const Translator translator(programFolder);
    QWidget owner;
    owner.show();
    QString shown;
    const ModalWatcher watcher([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box);
        QCOMPARE(box->windowTitle(), QStringLiteral("Corvane"));
        QCOMPARE(box->icon(), QMessageBox::Warning);
        QCOMPARE(box->parentWidget(), &owner);
        shown = box->text();
    });
    const auto openedFiles = [&] {
        return QString::fromUtf8(readFile(record)).split(u'\n', Qt::SkipEmptyParts);
    };
    QStringList expected;
    for (const QString& file : std::as_const(opened))
        expected << programFolder + file;
    warning.replace(QStringLiteral("%1"), programFolder);

    openHelp(&owner, translator);
    QTRY_VERIFY_WITH_TIMEOUT(openedFiles() == expected && shown == warning, 10000);
    // Nothing follows; an opener that is still at work is not taken for one that failed.
    QTest::qWait(xdgOpen.contains(u"sleep") ? 3500 : 200);
    QCOMPARE(openedFiles(), expected);
    QCOMPARE(watcher.count(), warning.isEmpty() ? 0 : 1);
}

QTEST_MAIN(TestHelp)
#include "test_help.moc"
