// The settings writer on a hostile existing file. The file is put on disk, one key is written
// through the writer the settings store uses, and the outcome is checked on the file: a write
// that cannot be made leaves the file as it was; a write that is made changes nothing but the
// one line it sets or inserts, reads back the value that was written, leaves every other entry
// reading as before and leaves no temporary file behind.
//
// Input: a byte choosing the user's locale (and so the code page of 8-bit files), a byte of
// flags, then section, key and value (UTF-8) separated by 0xFF, then the file's bytes.
// Flags: 1 no file at all; 2 and 4 take the section and the key from the file instead, picking
// the entry named by the next byte.

#include "fuzzinput.h"
#include "platform/platform.h"
#include "platform/profileparse.h"
#include "platform/textcodec.h"
#include "profilemodel.h"

#include <QFile>

#include <array>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <unistd.h>

using namespace corvane;
using namespace corvane::fuzz;
namespace detail = corvane::platform::detail;

namespace {

// Locales that lead to every code page the reader knows.
constexpr std::array kLocales{"C",     "pl_PL", "ru_RU", "el_GR", "tr_TR", "he_IL", "ar_EG",
                              "lt_LT", "vi_VN", "th_TH", "ja_JP", "zh_CN", "ko_KR", "zh_TW"};

// A private folder for the file, in memory where the system offers it (the writer flushes
// every file to disk), removed when the process ends normally.
class WorkFolder
{
public:
    WorkFolder()
    {
        const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        QByteArray pattern = QByteArray(base) + "/corvane-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()))
            m_path = pattern;
        require(!m_path.isEmpty(), "no work folder");
    }
    ~WorkFolder()
    {
        for (const QByteArray& name : entries())
            ::unlink(QByteArray(m_path + '/' + name).constData());
        ::rmdir(m_path.constData());
    }
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    const QByteArray& path() const { return m_path; }

    QList<QByteArray> entries() const
    {
        QList<QByteArray> names;
        if (DIR* dir = ::opendir(m_path.constData())) {
            while (const dirent* entry = ::readdir(dir)) {
                const QByteArray name(entry->d_name);
                if (name != "." && name != "..")
                    names.append(name);
            }
            ::closedir(dir);
        }
        return names;
    }

private:
    QByteArray m_path;
};

std::optional<QByteArray> readBytes(const QByteArray& path)
{
    QFile file(QFile::decodeName(path));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

void putBytes(const QByteArray& path, std::optional<QByteArrayView> bytes)
{
    ::unlink(path.constData());
    if (!bytes)
        return;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    require(fd >= 0, "cannot create the file");
    const char* p = bytes->data();
    qsizetype left = bytes->size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<std::size_t>(left));
        require(n > 0 || errno == EINTR, "cannot write the file");
        if (n > 0) {
            p += n;
            left -= n;
        }
    }
    ::close(fd);
}

// The file's code units: UTF-16 units after the UTF-16 mark, bytes otherwise. Line ends are
// single units in both.
QString codeUnits(QByteArrayView bytes)
{
    const detail::TextLayout layout = detail::detectEncoding(bytes);
    if (layout.encoding == detail::TextEncoding::Utf16LE)
        return detail::decodeUtf16LE(bytes.sliced(2));
    return QString::fromLatin1(bytes.sliced(layout.markSize));
}

// The write changed or added one line and kept every other unit: what lies between the
// common beginning and the common end of the two files was inside a single line before.
void requireOtherLinesKept(QByteArrayView before, QByteArrayView after)
{
    require(after.startsWith(before.first(detail::detectEncoding(before).markSize)),
            "byte-order mark lost");
    const QString a = codeUnits(before);
    const QString b = codeUnits(after);
    qsizetype prefix = 0;
    while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
           a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix])
        ++suffix;
    const QStringView removed = QStringView(a).sliced(prefix, a.size() - prefix - suffix);
    for (const QChar c : removed)
        require(!isLineBreak(c), "a line break of the old file is gone");
    // An odd last byte of a UTF-16 file is no unit, and stays last.
    if (detail::detectEncoding(before).encoding == detail::TextEncoding::Utf16LE &&
        before.size() % 2 == 1)
        require(after.back() == before.back() && after.size() % 2 == 1, "odd last byte lost");
}

// Whether every ASCII byte of `bytes` reads as itself in the code page. ICU's table for 932
// does not do so for three controls (0x1A reads as 0x1C, 0x1C as 0x7F, 0x7F as 0x1A), and the
// writer, like the format, takes ASCII bytes for what they are.
bool asciiReadsAsItself(int codePage, QByteArrayView bytes)
{
    static std::map<int, std::array<bool, 128>> tables;
    auto [entry, made] = tables.try_emplace(codePage);
    if (made) {
        detail::CodePageCodec codec(codePage);
        for (int b = 0; b < 128; ++b) {
            const char c = static_cast<char>(b);
            entry->second[std::size_t(b)] = codec.decode(QByteArrayView(&c, 1)) == QChar(b);
        }
    }
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 128 && !entry->second[b])
            return false;
    }
    return true;
}

QString roundTrip(int codePage, QStringView text)
{
    detail::CodePageCodec codec(codePage);
    return codec.decode(codec.encode(text));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static WorkFolder folder;
    const QByteArray path = folder.path() + "/corvane.ini";
    const QString file = QFile::decodeName(path);

    FuzzInput input(data, size);
    ::setenv("LC_ALL", kLocales[input.takeByte() % kLocales.size()], 1);
    const int codePage = detail::userCodePage();
    const unsigned flags = input.takeByte();
    const unsigned pick = input.takeByte();
    QString section = QString::fromUtf8(input.takePart());
    QString key = QString::fromUtf8(input.takePart());
    const QString value = QString::fromUtf8(input.takePart());
    const std::optional<QByteArrayView> old =
        (flags & 1) ? std::nullopt : std::optional(input.rest());

    const QString oldText = old ? detail::decodeText(*old, codePage) : QString();
    const QList<std::pair<QString, QString>> entries = namedEntries(oldText, 16);
    if (!entries.isEmpty()) {
        const auto& [pickedSection, pickedKey] = entries[pick % entries.size()];
        if (flags & 2)
            section = pickedSection;
        if (flags & 4)
            key = pickedKey;
    }

    putBytes(path, old);
    const bool written = platform::writeProfileString(file, section, key, value);
    const std::optional<QByteArray> after = readBytes(path);
    require(written == detail::isWritableProfileEntry(section, key, value),
            "a writable entry was refused, or the other way round");
    require(folder.entries().size() == (after ? 1 : 0), "a temporary file was left behind");
    if (!written) {
        require(old ? after && *after == *old : !after, "a refused write changed the file");
        return 0;
    }
    require(after.has_value(), "the file is gone");
    require(*after == detail::editProfile(old, section, key, value, codePage),
            "the file differs from the edit");
    if (old)
        requireOtherLinesKept(*old, *after);

    // A file that was 8-bit text only for bytes of the replaced line may read as UTF-8
    // afterwards, and then its other lines read differently too: a limit of telling the
    // encodings apart, not of the writer.
    const detail::TextEncoding encoding = detail::detectEncoding(*after).encoding;
    if (old && detail::detectEncoding(*old).encoding != encoding)
        return 0;

    // Text that the code page cannot hold comes back as '?', so only names that survive the
    // trip can be found again.
    QString expected = value;
    if (encoding == detail::TextEncoding::CodePage) {
        if (!asciiReadsAsItself(codePage, *after) || (old && !asciiReadsAsItself(codePage, *old)))
            return 0;
        if (roundTrip(codePage, section) != section || roundTrip(codePage, key) != key)
            return 0;
        expected = roundTrip(codePage, value);
    }
    const QString missing = QStringLiteral("\x01missing");
    require(platform::readProfileString(file, section, key, missing) == valueAsRead(expected),
            "the written value does not read back");

    const QString newText = detail::decodeText(*after, codePage);
    for (const auto& [otherSection, otherKey] : entries) {
        if (sameName(blankTrimmed(otherSection), blankTrimmed(section)) &&
            sameName(blankTrimmed(otherKey), blankTrimmed(key)))
            continue;
        const auto before = detail::findProfileValue(oldText, otherSection, otherKey);
        const auto now = detail::findProfileValue(newText, otherSection, otherKey);
        require(before.has_value() == now.has_value() && (!before || *before == *now),
                "another entry reads differently after the write");
    }
    return 0;
}
