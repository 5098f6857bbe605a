// The two preferences in corvane.ini: how values read, that saving keeps the rest of the file
// and never loses it, failures with their message, and restoring the defaults.

#include "settings/settingsstore.h"
#include "testfiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace corvane::test;
using corvane::Preferences;
using corvane::SettingsStore;

namespace {

SettingsStore storeIn(const QString& folder)
{
    return SettingsStore([folder] { return folder; });
}

// What a save reports, as one text that a failed comparison shows.
QString outcome(const std::optional<QString>& error)
{
    return error.value_or(u"saved"_s);
}

} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { ::umask(022); }
    void init() { m_dir.emplace(); }
    void cleanup()
    {
        ::chmod(QFile::encodeName(m_dir->path()).constData(), 0700);
        m_dir.reset();
    }
    void load_data();
    void load();
    void saveNewFile();
    void saveKeepsTheRest_data();
    void saveKeepsTheRest();
    void saveFailures_data();
    void saveFailures();
    void restore();

private:
    QString file() const { return m_dir->filePath(u"corvane.ini"_s); }
    std::optional<QTemporaryDir> m_dir;
};

void TestSettingsStore::load_data()
{
    QTest::addColumn<QByteArray>("value"); // of both keys
    QTest::addColumn<bool>("autoUpdate");  // default on
    QTest::addColumn<bool>("autoClose");   // default off

    const auto row = [](const char* value, bool autoUpdate, bool autoClose) {
        QTest::newRow(value) << QByteArray(value) << autoUpdate << autoClose;
    };
    row("5", true, true);
    row("yes", true, false);
    row("0x0", false, false);
    row("", true, false);
    row("-1", true, true);
    row("$10", true, true);
    row(" \t0 ", false, false); // blanks are the reader's
    row("\"0\"", false, false); // and so are quotes
    row("-$1", true, true);
    row("0x", true, false);
    row("1 2", true, false);
    row("1.0", true, false);
    row("2147483648", true, false); // beyond 32 bits: no integer
    row("$FFFFFFFF", true, true);
    row("$100000000", true, false);
    row("\xD9\xA1", true, false); // an Arabic-Indic digit one
}

void TestSettingsStore::load()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, autoUpdate);
    QFETCH(bool, autoClose);
    QVERIFY(writeFile(file(), "[corvane]\r\nautoupdate=" + value + "\r\nAUTOCLOSE=" + value));
    QCOMPARE(storeIn(m_dir->path()).load(), (Preferences{autoUpdate, autoClose}));

    QVERIFY(writeFile(file(), "[Other]\nAutoUpdate=0\nAutoClose=1\n"));
    QCOMPARE(storeIn(m_dir->path()).load(), Preferences{});
    QCOMPARE(storeIn(m_dir->filePath(u"missing"_s)).load(), Preferences{});
    QCOMPARE(storeIn(QString()).load(), Preferences{});
}

void TestSettingsStore::saveNewFile()
{
    // On a fresh account not even the configuration folder exists.
    const QString folder = m_dir->filePath(u"home/.config"_s);
    int asked = 0;
    const SettingsStore store([&]() -> QString {
        ++asked;
        return folder;
    });
    QCOMPARE(outcome(store.save({false, true})), u"saved"_s);
    QCOMPARE(readFile(folder + u"/corvane.ini"),
             QByteArray("[Corvane]\nAutoUpdate=0\nAutoClose=1\n"));
    QCOMPARE(permissions(folder), mode_t(0700));
    QCOMPARE(permissions(m_dir->filePath(u"home"_s)), mode_t(0700));
    QCOMPARE(store.load(), (Preferences{false, true}));
    QCOMPARE(asked, 2); // the path is built anew for every use
}

void TestSettingsStore::saveKeepsTheRest_data()
{
    QTest::addColumn<QByteArray>("old");
    QTest::addColumn<QByteArray>("expected"); // after saving AutoUpdate off, AutoClose on

    QTest::newRow("CR LF, other sections and comments")
        << QByteArray("; by hand\r\n\r\n[Window]\r\nLeft = 10\r\n\r\n[Corvane]\r\n"
                      "AutoUpdate = 1 ; yes\r\nExtra=keep\r\n\r\n[Later]\r\nz=\"q\"")
        << QByteArray("; by hand\r\n\r\n[Window]\r\nLeft = 10\r\n\r\n[Corvane]\r\n"
                      "AutoUpdate=0\r\nExtra=keep\r\nAutoClose=1\r\n\r\n[Later]\r\nz=\"q\"");
    QTest::newRow("no section, no final line end")
        << QByteArray("[Window]\nLeft=10")
        << QByteArray("[Window]\nLeft=10\n[Corvane]\nAutoUpdate=0\nAutoClose=1\n");
    QTest::newRow("UTF-16LE")
        << utf16File(u"[Окно]\r\nЛево=10\r\n[CORVANE]\r\nautoclose=0\r\n")
        << utf16File(u"[Окно]\r\nЛево=10\r\n[CORVANE]\r\nautoclose=1\r\nAutoUpdate=0\r\n");
}

void TestSettingsStore::saveKeepsTheRest()
{
    QFETCH(QByteArray, old);
    QFETCH(QByteArray, expected);
    QVERIFY(writeFile(file(), old));
    QCOMPARE(::chmod(QFile::encodeName(file()).constData(), 0600), 0);
    QCOMPARE(outcome(storeIn(m_dir->path()).save({false, true})), u"saved"_s);
    QCOMPARE(readFile(file()), expected);
    QCOMPARE(permissions(file()), mode_t(0600));

    // Through a link (a dotfiles repository, say): the link stays, its target changes.
    QVERIFY(QDir(m_dir->path()).rename(u"corvane.ini"_s, u"real.ini"_s));
    QVERIFY(QFile::link(u"real.ini"_s, file()));
    QCOMPARE(outcome(storeIn(m_dir->path()).save({true, true})), u"saved"_s);
    QVERIFY(isSymbolicLink(file()));
    QCOMPARE(storeIn(m_dir->path()).load(), (Preferences{true, true}));
}

void TestSettingsStore::saveFailures_data()
{
    QTest::addColumn<QString>("problem");
    for (const char* problem :
         {"read-only file", "read-only folder", "folder is a file", "corvane.ini is a folder"})
        QTest::newRow(problem) << QString::fromLatin1(problem);
}

void TestSettingsStore::saveFailures()
{
    QFETCH(QString, problem);
    QString folder = m_dir->path();
    const QByteArray old = "[Corvane]\nAutoUpdate=0\nAutoClose=1\n";
    if (problem.startsWith(u"read-only")) {
        QVERIFY(writeFile(file(), old));
        const QString locked = problem.endsWith(u"file") ? file() : folder;
        QCOMPARE(::chmod(QFile::encodeName(locked).constData(), 0555), 0);
    } else if (problem == u"folder is a file") {
        folder = m_dir->filePath(u"config"_s);
        QVERIFY(writeFile(folder, "x"));
    } else {
        QVERIFY(QDir(folder).mkdir(u"corvane.ini"_s));
    }

    QCOMPARE(outcome(storeIn(folder).save({true, false})),
             QString(u"Unable to write to "_s + folder + u"/corvane.ini"));
    if (problem.startsWith(u"read-only")) {
        QCOMPARE(readFile(file()), old); // untouched: AutoClose was not tried either
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{u"corvane.ini"_s});
    }
}

void TestSettingsStore::restore()
{
    const SettingsStore store = storeIn(m_dir->path());
    QVERIFY(writeFile(file(), "[Other]\nx=1\n[Corvane]\nAutoUpdate=0\nAutoClose=1\n"));
    QCOMPARE(store.restoreDefaults(), Preferences{});
    QVERIFY(!QFile::exists(file()));
    QCOMPARE(store.restoreDefaults(), Preferences{}); // nothing to remove: all the same
    QCOMPARE(outcome(store.save({})), u"saved"_s);
    QCOMPARE(readFile(file()), QByteArray("[Corvane]\nAutoUpdate=1\nAutoClose=0\n"));

    // A link to a folder cannot be written, but restoring removes it as a link.
    QVERIFY(QFile::remove(file()));
    QVERIFY(QDir(m_dir->path()).mkdir(u"somewhere"_s));
    QVERIFY(writeFile(m_dir->filePath(u"somewhere/keep"_s), "x"));
    QVERIFY(QFile::link(u"somewhere"_s, file()));
    QVERIFY(store.save({}).has_value());
    QCOMPARE(store.restoreDefaults(), Preferences{});
    QVERIFY(!isSymbolicLink(file()));
    QVERIFY(QFile::exists(m_dir->filePath(u"somewhere/keep"_s)));
    QCOMPARE(outcome(store.save({})), u"saved"_s);
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "test_settingsstore.moc"
