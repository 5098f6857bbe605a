// The profile (INI) reader and writer: the reading rules, encodings, bad files, and a writer
// that keeps every byte it does not have to change and never loses the file.

#include "environmentoverride.h"
#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/profileparse.h"
#include "platform/textcodec.h"
#include "testfiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace corvane::test;
namespace platform = corvane::platform;
namespace detail = corvane::platform::detail;

namespace {

const QString kDefault = u"<default>"_s;

QString read(const QString& file, const QString& section = u"Menus"_s,
             const QString& key = u"Exit"_s)
{
    return platform::readProfileString(file, section, key, kDefault);
}

} // namespace

class TestProfile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        ::umask(022);
    }
    void reading_data();
    void reading();
    void names();
    void encodings_data();
    void encodings();
    void codePages();
    void cutCharacters_data();
    void cutCharacters();
    void writerSeesCutCharactersAsTheReader();
    void badFiles_data();
    void badFiles();
    void unreadablePaths();
    void edit_data();
    void edit();
    void writeKeepsFileAndLinks();
    void writeFailures();
    void deadWritersTemporaries_data();
    void deadWritersTemporaries();
    void concurrentWritersAllSucceed();

private:
    QString file(const QByteArray& content)
    {
        const QString path = m_dir.filePath(u"f%1.ini"_s.arg(++m_counter));
        return writeFile(path, content) ? path : QString();
    }
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    int m_counter = 0;
};

void TestProfile::reading_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected"); // of [Menus] Exit

    const auto row = [](const char* tag, const QByteArray& content, const QString& expected) {
        QTest::newRow(tag) << content << expected;
    };
    row("plain", "[Menus]\nExit=Quit\n", u"Quit"_s);
    row("case", "[MENUS]\nexit=Quit", u"Quit"_s);
    row("blanks", "[Menus]\n \t Exit \t=\t Quit now \x1A\x0B\x0C \n", u"Quit now"_s);
    row("header trimmed, tail ignored", "  [ Menus ] ; old\nExit=a", u"a"_s);
    row("[ without ] is a key line", "[Menus]\n[junk\nExit=a", u"a"_s);
    row("before the first header", "Exit=a\n[Menus]\n", kDefault);
    row("no equals sign", "[Menus]\nExit\nExit=b", kDefault);
    row("comment lines are keys", "[Menus]\n;Exit=a\n#Exit=c\nExit=b", u"b"_s);
    row("no inline comment", "[Menus]\nExit=b ;c", u"b ;c"_s);
    row("first key wins", "[Menus]\nExit=a\nexit=b", u"a"_s);
    row("second section ignored", "[Menus]\nA=1\n[Other]\n[menus]\nExit=b", kDefault);
    row("section ends at a header", "[Menus]\n[Other]\nExit=x", kDefault);
    row("double quotes", "[Menus]\nExit=\"a b\"", u"a b"_s);
    row("single quotes", "[Menus]\nExit='a b'", u"a b"_s);
    row("one pair only", "[Menus]\nExit=\"a\"b\"", u"a\"b"_s);
    row("quoted blanks", "[Menus]\nExit=\" x \"", u" x "_s);
    row("empty quotes", "[Menus]\nExit=\"\"", u""_s);
    row("lone quote", "[Menus]\nExit=\"a", u"\"a"_s);
    row("mixed quotes", "[Menus]\nExit=\"a'", u"\"a'"_s);
    row("empty value", "[Menus]\nExit=\nExit=b", u""_s);
    row("first equals sign", "[Menus]\nExit=a=b", u"a=b"_s);
    row("no escapes", "[Menus]\nExit=a\\nb", u"a\\nb"_s);
    row("lone CR", "[Menus]\rA=1\rExit=b\rC=2", u"b"_s);
    row("mixed line ends", "[O]\r\r\n[Menus]\n\rExit=b\r", u"b"_s);
    row("NUL", QByteArray("[Menus]\nExit=a\0b", 16), u"a\u0000b"_s);
    row("cut at 2047", "[Menus]\nExit=" + QByteArray(3000, 'x'), QString(2047, u'x'));
    row("quotes off, then cut", "[Menus]\nExit=\"" + QByteArray(3000, 'x') + '"',
        QString(2047, u'x'));
    row("no half character at the cut",
        "[Menus]\nExit=" + QByteArray(2046, 'x') + "\xF0\x9F\x98\x80", QString(2046, u'x'));
}

void TestProfile::reading()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    const QString value = read(file(content));
    QCOMPARE(value, expected);
    QVERIFY(!value.isNull()); // an empty value is a text, not "nothing"
}

void TestProfile::names()
{
    QCOMPARE(read(file("[Menus]\nExit=a"), u" Menus\t"_s, u"\u001AExit "_s), u"a"_s);
    QCOMPARE(read(file("[Me]nus]\nExit=a"), u"Me]nus"_s), u"a"_s);
    QCOMPARE(read(file("[Menus]\n;Exit=a"), u"Menus"_s, u";Exit"_s), u"a"_s);
    // Case folding, where lower-casing would fail (final sigma).
    QCOMPARE(read(file("[\xCE\x9F\xCE\x94\xCE\x9F\xCE\xA3]\nExit=x"), u"οδος"_s), u"x"_s);
    QCOMPARE(read(file(utf16File(u"[Меню]\nВыход=x")), u"МЕНЮ"_s, u"выход"_s), u"x"_s);
    const EnvironmentOverride russian{{"LC_ALL", "ru_RU.UTF-8"}};
    QCOMPARE(read(file("[\xCC\xE5\xED\xFE]\n\xC2\xFB\xF5\xEE\xE4=x"), u"меню"_s, u"ВЫХОД"_s),
             u"x"_s);
}

void TestProfile::encodings_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("locale");
    QTest::addColumn<QString>("expected"); // of [Menus] Exit

    const auto row = [](const char* tag, const QByteArray& value, const char* locale,
                        const QString& expected) {
        QTest::newRow(tag) << QByteArray("[Menus]\r\nExit=" + value) << QByteArray(locale)
                           << expected;
    };
    QTest::newRow("UTF-16LE") << utf16File(u"[Menus]\r\nExit=Закрыть 終了\r\n") << QByteArray("C")
                              << u"Закрыть 終了"_s;
    QTest::newRow("UTF-16LE, odd length")
        << QByteArray(utf16File(u"[Menus]\nExit=終了\n") + '0') << QByteArray("C") << u"終了"_s;
    QTest::newRow("UTF-8 mark before the header")
        << QByteArray("\xEF\xBB\xBF[Menus]\nExit=\xD0\x96") << QByteArray("C") << u"Ж"_s;
    row("UTF-8 beats the locale", "\xD0\x96", "ru_RU.UTF-8", u"Ж"_s);
    row("cp1251 under Russian", "\xC2\xFB\xF5\xEE\xE4", "ru_RU.UTF-8", u"Выход"_s);
    row("cp1252 under C", "caf\xE9 \x80", "C", u"café €"_s);
    row("cp1250 under Polish", "\xB9", "pl_PL", u"ą"_s);
    row("cp932 under Japanese", "\x82\xA0", "ja_JP.UTF-8", u"あ"_s);
    row("cp936, cut character at the end", "\xB0\xA1\xB0", "zh_CN.UTF-8", u"啊\uFFFD"_s);
    QTest::newRow("UTF-8 mark, broken bytes")
        << QByteArray("\xEF\xBB\xBF[Menus]\nExit=a\xFF") << QByteArray("C") << u"a\uFFFD"_s;
}

void TestProfile::encodings()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, locale);
    QFETCH(QString, expected);
    const EnvironmentOverride environment{
        {"LC_ALL", locale}, {"LC_MESSAGES", std::nullopt}, {"LANG", std::nullopt}};
    QCOMPARE(read(file(content)), expected);
}

void TestProfile::codePages()
{
    const std::pair<const char16_t*, int> locales[] = {
        {u"", 1252},         {u"C.UTF-8", 1252},     {u"de_DE@euro", 1252}, {u"uk_UA", 1251},
        {u"sr_RS", 1251},    {u"sr_RS@latin", 1250}, {u"hr_HR", 1250},      {u"tr_TR", 1254},
        {u"az_AZ", 1254},    {u"he_IL", 1255},       {u"fa_IR", 1256},      {u"lt_LT", 1257},
        {u"vi_VN", 1258},    {u"th_TH", 874},        {u"ko_KR", 949},       {u"zh_HK", 950},
        {u"zh_SG.GBK", 936}, {u"be_BY", 1251},
    };
    for (const auto& [locale, codePage] : locales)
        QCOMPARE(detail::codePageForLocale(QStringView(locale)), codePage);

    // LC_ALL beats LC_MESSAGES beats LANG.
    {
        const EnvironmentOverride environment{
            {"LC_ALL", std::nullopt}, {"LC_MESSAGES", std::nullopt}, {"LANG", "ru_RU"}};
        QCOMPARE(detail::userCodePage(), 1251);
        const EnvironmentOverride messages{{"LC_MESSAGES", "pl_PL"}};
        QCOMPARE(detail::userCodePage(), 1250);
        const EnvironmentOverride all{{"LC_ALL", "el_GR"}};
        QCOMPARE(detail::userCodePage(), 1253);
    }

    // Windows writes '?' for a character that the code page lacks; ICU would write 0x1A, a
    // blank to the reader. An unknown code page is 1252.
    QCOMPARE(detail::CodePageCodec(1251).encode(u"Жa\U0001F600b日"), QByteArray("\xC6"
                                                                                "a?b?"));
    QCOMPARE(detail::CodePageCodec(932).encode(u"終了😀"), QByteArray("\x8F\x49\x97\xB9?"));
    QCOMPARE(detail::CodePageCodec(99999).decode("caf\xE9\x80"), u"café€"_s);
}

void TestProfile::cutCharacters_data()
{
    QTest::addColumn<int>("codePage");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected"); // ICU replaces with U+FFFD, in Shift-JIS with U+001A

    const auto row = [](const char* tag, int codePage, const QByteArray& bytes,
                        const QString& expected) {
        QTest::newRow(tag) << codePage << bytes << expected;
    };
    row("936: lead byte at the end", 936, "ab\x81", u"ab\uFFFD"_s);
    row("936: lead byte before a line end", 936, "ab\x81\r\nc", u"ab\uFFFD\r\nc"_s);
    row("936: whole character at the end", 936, "ab\xB0\xA1", u"ab\u554A"_s);
    row("949: lone lead byte", 949, "\xB0", u"\uFFFD"_s);
    row("932: lead byte at the end", 932, "ab\x82", u"ab\u001A"_s);
    row("932: lead byte before a line end", 932, "ab\x82\nc", u"ab\u001A\nc"_s);
    row("932: one-byte katakana at the end", 932, "ab\xB1", u"ab\uFF71"_s);
}

void TestProfile::cutCharacters()
{
    QFETCH(int, codePage);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(detail::CodePageCodec(codePage).decode(bytes), expected);
}

void TestProfile::writerSeesCutCharactersAsTheReader()
{
    // The reader decodes the whole file, the writer a line at a time. To the reader the line is
    // "ab" and a broken character, not the key "ab"; the writer must not overwrite it as one.
    const QByteArray old = "[S]\nab\x81\nK=0\n";
    QCOMPARE(detail::editProfile(QByteArrayView(old), u"S"_s, u"ab"_s, u"1"_s, 936),
             QByteArray("[S]\nab\x81\nK=0\nab=1\n"));
}

void TestProfile::badFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected"); // of [Menus] Exit; null: any answer will do

    QByteArray garbage(256 * 1024, Qt::Uninitialized);
    QRandomGenerator random(20120806);
    for (char& c : garbage)
        c = char(random.bounded(256));
    QTest::newRow("garbage") << garbage << QString();
    QTest::newRow("garbage around a section")
        << QByteArray(garbage.left(5000) + "\n[Menus]\nExit=v\n" + garbage.mid(5000)) << u"v"_s;
    QTest::newRow("lone UTF-16 mark") << QByteArray("\xFF\xFE") << kDefault;
    QTest::newRow("UTF-16 mark and a byte") << QByteArray("\xFF\xFE[") << kDefault;
    QTest::newRow("lone UTF-8 mark") << QByteArray("\xEF\xBB\xBF") << kDefault;
    QTest::newRow("unpaired surrogates")
        << QByteArray(utf16File(u"[Menus]\nExit=v\n") + QByteArray("\x00\xDC\x00\xD8", 4))
        << u"v"_s;
    QTest::newRow("million-character value")
        << QByteArray("[Menus]\nExit=" + QByteArray(1000000, 'a')) << QString(2047, u'a');
    QTest::newRow("million-character line before")
        << QByteArray("[Menus]\n" + QByteArray(1000000, '[') + "\nExit=v") << u"v"_s;
}

void TestProfile::badFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    const QString value = read(file(content));
    QVERIFY(value.size() <= detail::kProfileValueLimit);
    if (!expected.isNull())
        QCOMPARE(value, expected);
}

void TestProfile::unreadablePaths()
{
    // None of these may hang or give anything but the default.
    QVERIFY(QDir().mkpath(path(u"folder.lng"_s)));
    QCOMPARE(::mkfifo(QFile::encodeName(path(u"fifo.lng"_s)).constData(), 0600), 0);
    QVERIFY(QFile::link(path(u"gone"_s), path(u"dangling.lng"_s)));
    for (const QString& name : {u"folder.lng"_s, u"fifo.lng"_s, u"dangling.lng"_s, u"none"_s})
        QCOMPARE(read(path(name)), kDefault);
    QCOMPARE(read(u"/dev/zero"_s), kDefault);

    // 50 MB of filler with the entry at its very end: found, in reasonable time.
    QByteArray big;
    big.reserve(50 * 1024 * 1024 + 100);
    while (big.size() < 50 * 1024 * 1024)
        big.append("[Filler]\nsome key = some value that fills the file\n");
    const QString bigFile = file(big + "[Menus]\nExit=v\n");
    big.clear();
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(read(bigFile), u"v"_s);
    qInfo("one lookup in a 50 MB file: %lld ms", timer.elapsed());
    QVERIFY(QFile::remove(bigFile));
}

void TestProfile::edit_data()
{
    QTest::addColumn<QByteArray>("old"); // null: no file
    QTest::addColumn<QString>("key");    // in section "C"
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("expected");

    const auto row = [](const char* tag, const QByteArray& old, const QString& key,
                        const QString& value, const QByteArray& expected) {
        QTest::newRow(tag) << old << key << value << expected;
    };
    const QString k = u"K"_s;
    row("new file", QByteArray(), u" K\t"_s, u"1"_s, "[C]\nK=1\n");
    row("empty file", "", k, u"1"_s, "[C]\nK=1\n");
    row("changed in place, rest kept",
        "; top\n\n[O]\nx = 1\n\n[C]\r\n  k = 0 ; old\r\nL=0\r\n\r\n[Z]\r\ny=2", k, u"1"_s,
        "; top\n\n[O]\nx = 1\n\n[C]\r\nk=1\r\nL=0\r\n\r\n[Z]\r\ny=2");
    row("after the last key line", "[c]\nA=1\n;note\n\n[O]\n", k, u"0"_s,
        "[c]\nA=1\n;note\nK=0\n\n[O]\n");
    row("after the header", "[C]\n[O]\n", k, u"0"_s, "[C]\nK=0\n[O]\n");
    row("new section at the end", "[O]\nz=1\n", k, u"0"_s, "[O]\nz=1\n[C]\nK=0\n");
    row("no final line end, CR LF", "[O]\r\nz=1", k, u"0"_s, "[O]\r\nz=1\r\n[C]\r\nK=0\r\n");
    row("lone CR", "[C]\rA=1", k, u"0"_s, "[C]\rA=1\rK=0\r");
    row("first section, first key", "[C]\nK=1\nK=2\n[C]\nK=3\n", k, u"0"_s,
        "[C]\nK=0\nK=2\n[C]\nK=3\n");
    row("first section only", "[C]\nA=1\n[C]\nK=3\n", k, u"0"_s, "[C]\nA=1\nK=0\n[C]\nK=3\n");
    row("key without equals sign", "[C]\n  K \n", k, u"5"_s, "[C]\nK=5\n");
    row("before the first header", "K=1\n[C]\n", k, u"2"_s, "K=1\n[C]\nK=2\n");
    row("UTF-8 mark kept", "\xEF\xBB\xBF[C]\nK=1\n", k, u"Ж"_s, "\xEF\xBB\xBF[C]\nK=\xD0\x96\n");
    row("UTF-16LE kept", utf16File(u"[C]\r\nK=1\r\n[Меню]\r\nВыход=Конец"), k, u"Ж"_s,
        utf16File(u"[C]\r\nK=Ж\r\n[Меню]\r\nВыход=Конец"));
    row("UTF-16LE, odd byte stays last", utf16File(u"[O]\r\n") + '\x7F', k, u"1"_s,
        utf16File(u"[O]\r\n[C]\r\nK=1\r\n") + '\x7F');
    row("lone UTF-16 mark", "\xFF\xFE", k, u"1"_s, utf16File(u"[C]\nK=1\n"));
    // cp1251 with 0x98, which no code page maps: only the changed line differs.
    row("cp1251 kept", "; \x98\n[\xCC]\r\n\xC2=\xC7\r\n[C]\r\nK=0\r\n", k, u"Ж"_s,
        "; \x98\n[\xCC]\r\n\xC2=\xC7\r\n[C]\r\nK=\xC6\r\n");
    row("cp1251 names", "[C]\n\xC2\xFB\xF5\xEE\xE4=\xC7\n", u"выход"_s, u"Конец"_s,
        "[C]\n\xC2\xFB\xF5\xEE\xE4=\xCA\xEE\xED\xE5\xF6\n");
}

void TestProfile::edit()
{
    QFETCH(QByteArray, old);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, expected);

    const QByteArray edited =
        old.isNull() ? detail::editProfile(std::nullopt, u"C"_s, key, value, 1251)
                     : detail::editProfile(QByteArrayView(old), u"C"_s, key, value, 1251);
    QCOMPARE(edited, expected);
    // The whole way through the files, and back.
    const QString path = m_dir.filePath(u"edit%1.ini"_s.arg(++m_counter));
    const EnvironmentOverride russian{{"LC_ALL", "ru_RU.UTF-8"}};
    QVERIFY(old.isNull() || writeFile(path, old));
    QVERIFY(platform::writeProfileString(path, u"C"_s, key, value));
    QCOMPARE(readFile(path), expected);
    QCOMPARE(read(path, u"c"_s, key), value);
}

void TestProfile::writeKeepsFileAndLinks()
{
    // A new file gets the usual permissions; a changed one keeps its own.
    QVERIFY(platform::writeProfileString(path(u"new.ini"_s), u"S"_s, u"K"_s, u"1"_s));
    QCOMPARE(permissions(path(u"new.ini"_s)), mode_t(0644));
    const QString own = file("[S]\nK=0\n");
    QCOMPARE(::chmod(QFile::encodeName(own).constData(), 0640), 0);
    QVERIFY(platform::writeProfileString(own, u"S"_s, u"K"_s, u"1"_s));
    QCOMPARE(permissions(own), mode_t(0640));

    // links/corvane.ini -> ../real/chain.ini -> target.ini: both stay links.
    QVERIFY(QDir().mkpath(path(u"real"_s)) && QDir().mkpath(path(u"links"_s)));
    QVERIFY(writeFile(path(u"real/target.ini"_s), "[O]\r\nx=1\r\n"));
    QVERIFY(QFile::link(u"target.ini"_s, path(u"real/chain.ini"_s)));
    QVERIFY(QFile::link(u"../real/chain.ini"_s, path(u"links/corvane.ini"_s)));
    QVERIFY(platform::writeProfileString(path(u"links/corvane.ini"_s), u"C"_s, u"K"_s, u"1"_s));
    QVERIFY(isSymbolicLink(path(u"links/corvane.ini"_s)));
    QVERIFY(isSymbolicLink(path(u"real/chain.ini"_s)));
    QCOMPARE(readFile(path(u"real/target.ini"_s)), QByteArray("[O]\r\nx=1\r\n[C]\r\nK=1\r\n"));

    // A link to a file not there yet: the file is made where the link points.
    QVERIFY(QFile::link(u"../real/made.ini"_s, path(u"links/dangling.ini"_s)));
    QVERIFY(platform::writeProfileString(path(u"links/dangling.ini"_s), u"S"_s, u"K"_s, u"v"_s));
    QVERIFY(isSymbolicLink(path(u"links/dangling.ini"_s)));
    QCOMPARE(readFile(path(u"real/made.ini"_s)), QByteArray("[S]\nK=v\n"));

    // No temporary file is left beside any of them.
    QCOMPARE(QDir(path(u"real"_s))
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             (QStringList{u"chain.ini"_s, u"made.ini"_s, u"target.ini"_s}));
}

void TestProfile::writeFailures()
{
    const QByteArray old = "[S]\nK=0\n";
    const auto fails = [](const QString& file, const QString& key, const QString& value) {
        return !platform::writeProfileString(file, u"S"_s, key, value);
    };

    // Read-only file: refused even for root, who could rename over it.
    const QString readOnly = file(old);
    QCOMPARE(::chmod(QFile::encodeName(readOnly).constData(), 0444), 0);
    QVERIFY(fails(readOnly, u"K"_s, u"1"_s));
    QCOMPARE(readFile(readOnly), old);

    // Read-only folder, for a new and for an existing file.
    QVERIFY(QDir().mkpath(path(u"locked"_s)));
    QVERIFY(writeFile(path(u"locked/old.ini"_s), old));
    QCOMPARE(::chmod(QFile::encodeName(path(u"locked"_s)).constData(), 0555), 0);
    QVERIFY(fails(path(u"locked/old.ini"_s), u"K"_s, u"1"_s));
    QVERIFY(fails(path(u"locked/new.ini"_s), u"K"_s, u"1"_s));
    QCOMPARE(QDir(path(u"locked"_s)).entryList(QDir::Files | QDir::Hidden),
             QStringList{u"old.ini"_s});
    QCOMPARE(::chmod(QFile::encodeName(path(u"locked"_s)).constData(), 0755), 0);

    // The writer never makes a folder; folders, FIFOs and link loops are no files to write.
    QVERIFY(fails(path(u"absent/x.ini"_s), u"K"_s, u"1"_s));
    QVERIFY(!QFile::exists(path(u"absent"_s)));
    QVERIFY(QDir().mkpath(path(u"dir.ini"_s)));
    QCOMPARE(::mkfifo(QFile::encodeName(path(u"fifo.ini"_s)).constData(), 0600), 0);
    QVERIFY(QFile::link(u"loop.ini"_s, path(u"loop.ini"_s)));
    for (const QString& name : {u"dir.ini"_s, u"fifo.ini"_s, u"loop.ini"_s, u"dir.ini/"_s})
        QVERIFY(fails(path(name), u"K"_s, u"1"_s));

    // Input that would add lines or change the file's structure.
    const QString target = file(old);
    QVERIFY(fails(target, u"K"_s, u"1\n[Evil]"_s));
    QVERIFY(fails(target, u"K"_s, u"1\rX=2"_s));
    QVERIFY(fails(target, u"K\nL"_s, u"1"_s));
    QVERIFY(!platform::writeProfileString(target, u"S]\n[T"_s, u"K"_s, u"1"_s));
    for (const QString& key : {u" "_s, u"a=b"_s, u"[K]"_s})
        QVERIFY(fails(target, key, u"1"_s));
    QCOMPARE(readFile(target), old);
}

void TestProfile::deadWritersTemporaries_data()
{
    QTest::addColumn<QString>("name"); // beside t.ini
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("removed"); // by the next write of t.ini

    QTest::newRow("killed writer's") << u".t.ini.0123456789xyz"_s << u"file"_s << true;
    QTest::newRow("live writer's") << u".t.ini.0123456789xyz"_s << u"locked file"_s << false;
    QTest::newRow("another file's") << u".u.ini.0123456789xyz"_s << u"file"_s << false;
    QTest::newRow("user's backup") << u".t.ini.bak"_s << u"file"_s << false;
    QTest::newRow("link") << u".t.ini.0123456789xyz"_s << u"link"_s << false;
    QTest::newRow("folder") << u".t.ini.0123456789xyz"_s << u"folder"_s << false;
    QTest::newRow("FIFO") << u".t.ini.0123456789xyz"_s << u"fifo"_s << false;
}

void TestProfile::deadWritersTemporaries()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(bool, removed);

    const QTemporaryDir folder;
    const QString target = folder.filePath(u"t.ini"_s);
    const QString entry = folder.filePath(name);
    const QString linked = folder.filePath(u"linked"_s);
    QVERIFY(writeFile(target, "[S]\nK=0\n"));
    platform::FileDescriptor liveWriter;
    if (kind == u"file" || kind == u"locked file") {
        QVERIFY(writeFile(entry, "[S]\nK=half"));
        if (kind == u"locked file") {
            liveWriter = platform::FileDescriptor(
                ::open(QFile::encodeName(entry).constData(), O_RDONLY | O_CLOEXEC));
            QCOMPARE(::flock(liveWriter.get(), LOCK_EX), 0);
        }
    } else if (kind == u"link") {
        QVERIFY(writeFile(linked, "kept"));
        QVERIFY(QFile::link(linked, entry));
    } else if (kind == u"folder") {
        QVERIFY(QDir().mkpath(entry));
    } else {
        QCOMPARE(::mkfifo(QFile::encodeName(entry).constData(), 0600), 0);
    }

    QVERIFY(platform::writeProfileString(target, u"S"_s, u"K"_s, u"1"_s));
    QCOMPARE(readFile(target), QByteArray("[S]\nK=1\n"));
    QFileInfo after(entry);
    QCOMPARE(after.exists() || after.isSymLink(), !removed);
    if (kind == u"link")
        QCOMPARE(readFile(linked), QByteArray("kept"));
    // Apart from what was there, the write leaves nothing but its file.
    QCOMPARE(QDir(folder.path())
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                 .size(),
             (kind == u"link" ? 2 : 1) + (removed ? 0 : 1));
}

void TestProfile::concurrentWritersAllSucceed()
{
    // Each writer's new file is somebody else's "leftover" for a moment; none may go.
    const QTemporaryDir folder;
    const QString target = folder.filePath(u"shared.ini"_s);
    std::atomic<int> failures = 0;
    const auto writer = [&] {
        for (int i = 0; i < 60; ++i) {
            if (!platform::writeProfileString(target, u"S"_s, u"K"_s, QString::number(i)))
                ++failures;
        }
    };
    std::thread first(writer);
    std::thread second(writer);
    first.join();
    second.join();
    QCOMPARE(failures.load(), 0);
    QCOMPARE(read(target, u"S"_s, u"K"_s), u"59"_s);
    QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{u"shared.ini"_s});
}

QTEST_GUILESS_MAIN(TestProfile)
#include "test_profile.moc"
