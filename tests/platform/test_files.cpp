// Folders and files: the listing the language lookup relies on, the user's configuration
// folder, making folders and removing files and links.

#include "environmentoverride.h"
#include "platform/platform.h"
#include "testfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace corvane::test;
namespace platform = corvane::platform;

namespace {

// Makes the listed entries: "name" a file, "name/" a folder, "name->target" a link.
bool makeEntries(const QString& folder, const QStringList& entries)
{
    for (const QString& entry : entries) {
        const qsizetype arrow = entry.indexOf(u"->");
        const bool made = arrow >= 0
                              ? QFile::link(entry.mid(arrow + 2), folder + u'/' + entry.left(arrow))
                          : entry.endsWith(u'/') ? QDir(folder).mkdir(entry.chopped(1))
                                                 : writeFile(folder + u'/' + entry, "x");
        if (!made)
            return false;
    }
    return true;
}

} // namespace

class TestFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { ::umask(022); }
    void entriesWithSuffix_data();
    void entriesWithSuffix();
    void fileTests();
    void userConfigFolder();
    void programFolder();
};

void TestFiles::entriesWithSuffix_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("none") << QStringList{u"a.txt"_s, u"lng"_s, u"a.lng.bak"_s} << QStringList{};
    QTest::newRow("case") << QStringList{u"c.Lng"_s, u"B.lng"_s, u"a.LNG"_s, u"A.lng"_s}
                          << QStringList{u"A.lng"_s, u"a.LNG"_s, u"B.lng"_s, u"c.Lng"_s};
    QTest::newRow("every kind of entry")
        << QStringList{u"z.lng"_s, u"dir.lng/"_s, u".x.lng"_s, u"l.lng->gone"_s, u".lng"_s}
        << QStringList{u".lng"_s, u".x.lng"_s, u"dir.lng"_s, u"l.lng"_s, u"z.lng"_s};
    QTest::newRow("non-ASCII") << QStringList{u"Русский.lng"_s, u"Ärger.lng"_s, u"en.lng"_s}
                               << QStringList{u"en.lng"_s, u"Ärger.lng"_s, u"Русский.lng"_s};
}

void TestFiles::entriesWithSuffix()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    QVERIFY(makeEntries(dir.path(), entries));
    QCOMPARE(platform::entriesWithSuffix(dir.path(), u".lng"), expected);
    QCOMPARE(platform::entriesWithSuffix(dir.path() + u'/', u".LNG"), expected);
    QCOMPARE(platform::entriesWithSuffix(dir.filePath(u"missing"_s), u".lng"), QStringList());
}

void TestFiles::fileTests()
{
    QTemporaryDir dir;
    const auto at = [&](const QString& name) { return dir.filePath(name); };
    QVERIFY(makeEntries(dir.path(), {u"file"_s, u"folder/"_s, u"folder/inside"_s, u"tofile->file"_s,
                                     u"tofolder->folder"_s, u"dangling->gone"_s}));
    QCOMPARE(::mkfifo(QFile::encodeName(at(u"fifo"_s)).constData(), 0600), 0);

    QVERIFY(platform::isRegularFile(at(u"file"_s)));
    QVERIFY(platform::isRegularFile(at(u"tofile"_s)));
    for (const QString& name : {u"folder"_s, u"tofolder"_s, u"dangling"_s, u"fifo"_s, u"x"_s})
        QVERIFY2(!platform::isRegularFile(at(name)), qPrintable(name));

    // Missing folders are made private, existing ones left as they are.
    QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    QVERIFY(platform::makeFolder(at(u"a/b//c/"_s)));
    for (const QString& made : {u"a"_s, u"a/b"_s, u"a/b/c"_s})
        QCOMPARE(permissions(at(made)), mode_t(0700));
    QCOMPARE(permissions(dir.path()), mode_t(0755));
    QVERIFY(platform::makeFolder(at(u"a/b/c"_s)));
    QVERIFY(platform::makeFolder(at(u"tofolder/new"_s)));
    QVERIFY(QFileInfo(at(u"folder/new"_s)).isDir());
    QVERIFY(!platform::makeFolder(at(u"file"_s)));
    QVERIFY(!platform::makeFolder(at(u"file/below"_s)));

    // A link to a folder goes as a link; a folder itself stays.
    QVERIFY(platform::removeFile(at(u"tofolder/"_s)));
    QVERIFY(!isSymbolicLink(at(u"tofolder"_s)));
    QVERIFY(QFile::exists(at(u"folder/inside"_s)));
    QVERIFY(!platform::removeFile(at(u"folder"_s)));
    QVERIFY(platform::removeFile(at(u"tofile"_s)));
    QVERIFY(QFile::exists(at(u"file"_s)));
    QVERIFY(platform::removeFile(at(u"file"_s)));
    QVERIFY(!platform::removeFile(at(u"file"_s)));
}

void TestFiles::userConfigFolder()
{
    using Value = EnvironmentOverride::Value;
    const auto folderWith = [](Value xdg, Value home) {
        const EnvironmentOverride environment{{"XDG_CONFIG_HOME", xdg}, {"HOME", home}};
        return platform::userConfigFolder();
    };
    QCOMPARE(folderWith("/x/cfg//", "/home/u"), u"/x/cfg"_s);
    QCOMPARE(folderWith("relative", "/home/u"), u"/home/u/.config"_s);
    QCOMPARE(folderWith("", "/home/u/"), u"/home/u/.config"_s);
    const passwd* entry = ::getpwuid(::getuid());
    QVERIFY(entry);
    const QString home = QFile::decodeName(entry->pw_dir);
    const QString expected = (home == u"/" ? QString() : home) + u"/.config";
    QCOMPARE(folderWith(std::nullopt, std::nullopt), expected);
    QCOMPARE(folderWith(std::nullopt, "relative"), expected);
}

void TestFiles::programFolder()
{
    QCOMPARE(platform::programFolder(),
             QString(QFileInfo(QCoreApplication::applicationFilePath()).canonicalPath() + u'/'));
}

QTEST_GUILESS_MAIN(TestFiles)
#include "test_files.moc"
