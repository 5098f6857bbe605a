#pragma once

// Text encodings of profile and language files. A file is UTF-16LE after the FF FE mark, UTF-8
// after the EF BB BF mark or when its bytes are valid UTF-8, and otherwise 8-bit text in the
// Windows code page of the user's locale language, so that files made on Windows read right.
// Everything here is stateless and may be used from any thread.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QStringView>

#include <optional>

namespace corvane::platform::detail {

enum class TextEncoding { Utf16LE, Utf8, CodePage };

struct TextLayout
{
    TextEncoding encoding = TextEncoding::Utf8;
    qsizetype markSize = 0; ///< bytes of the byte-order mark at the start (0, 2 or 3)
};

/// How `bytes` are to be read. Looks at every byte when there is no mark (UTF-8 validity).
TextLayout detectEncoding(QByteArrayView bytes) noexcept;

/// The Windows code page of a POSIX locale name such as "ru_RU.UTF-8" or "sr_RS@latin".
int codePageForLocale(QStringView localeName);

/// The Windows code page of the user's locale language: LC_ALL, else LC_MESSAGES, else LANG.
/// Read anew on every call.
int userCodePage();

/// A Windows 8-bit code page in both directions. Unmappable characters become '?' when
/// encoding, as Windows writes them; a code page this system cannot convert is treated as
/// 1252. One object is not to be shared between threads, nor moved (ICU holds its address).
class CodePageCodec
{
public:
    explicit CodePageCodec(int codePage);
    CodePageCodec(const CodePageCodec&) = delete;
    CodePageCodec& operator=(const CodePageCodec&) = delete;

    /// A broken double-byte character reads as the converter's replacement character, also
    /// when it is cut off at the end of `bytes`.
    QString decode(QByteArrayView bytes);
    QByteArray encode(QStringView text);

private:
    QByteArray m_name;                       // the converter's name
    std::optional<QStringDecoder> m_decoder; // empty: the built-in 1252 table
};

/// UTF-16LE code units to text, one to one (unpaired surrogates stay); an odd last byte is
/// dropped.
QString decodeUtf16LE(QByteArrayView bytes);
QByteArray encodeUtf16LE(QStringView text);

/// decodeText() with the code page for 8-bit files given rather than taken from the locale.
QString decodeText(QByteArrayView bytes, int codePage);

} // namespace corvane::platform::detail
