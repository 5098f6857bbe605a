// The help command: the compiled help in the desktop's viewer for it, else its pages in the
// browser, else a warning that says what is missing or names the file that could not be
// opened.

#include "settings/help.h"

#include "environmentoverride.h"
#include "i18n/translate.h"
#include "modalwindows.h"
#include "testfiles.h"
#include "urlrecorder.h"

#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>

#include <optional>

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

void TestHelp::help()
{
    QFETCH(QString, helpFile);
    QFETCH(bool, viewer);
    QFETCH(bool, pages);
    QFETCH(bool, opener);
    QFETCH(QString, language);
    QFETCH(QString, opened);
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
    // The desktop's applications are the test's own, and nothing of the user's counts.
    const QString data = root.path() + QStringLiteral("/data");
    QDir().mkpath(data + QStringLiteral("/applications"));
    if (viewer)
        QVERIFY(writeFile(data + QStringLiteral("/applications/viewer.desktop"),
                          "[Desktop Entry]\nMimeType=application/vnd.ms-htmlhelp;\n"));
    const QByteArray folder = QFile::encodeName(data);
    const EnvironmentOverride environment{{"XDG_DATA_DIRS", folder},
                                          {"XDG_DATA_HOME", folder},
                                          {"XDG_CONFIG_DIRS", folder},
                                          {"XDG_CONFIG_HOME", folder}};
    // Without a recorder the offscreen platform has no opener at all.
    std::optional<UrlRecorder> recorder;
    if (opener)
        recorder.emplace(QStringLiteral("file"));
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
    openHelp(&owner, translator);
    QCOMPARE(shown, warning.arg(programFolder));
    QCOMPARE(watcher.count(), warning.isEmpty() ? 0 : 1);
    if (recorder)
        QCOMPARE(recorder->opened, opened.isEmpty()
                                       ? QList<QUrl>()
                                       : QList<QUrl>{QUrl::fromLocalFile(programFolder + opened)});
}

QTEST_MAIN(TestHelp)
#include "test_help.moc"
