// Decoding of profile and language files. Qt converts the Windows code pages through ICU; 1252,
// the code page of most locales, is converted by a table of our own so that the common case
// works on a Qt built without ICU too, and any code page ICU lacks falls back to it.

#include "platform/textcodec.h"

#include "platform/platform.h"

#include <QLocale>
#include <QtEndian>

#include <array>

namespace corvane::platform::detail {

namespace {

// Windows-1252 at 0x80..0x9F; the five unassigned bytes map to the C1 controls of the same
// value, as Windows maps them.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString decodeCp1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : char16_t(b);
    }
    return text;
}

char encodeCp1252Char(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
        if (kCp1252High[i] == c)
            return static_cast<char>(0x80 + i);
    }
    return '?';
}

QByteArray encodeCp1252(QStringView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const char32_t c : text.toUcs4())
        bytes.append(encodeCp1252Char(c));
    return bytes;
}

QByteArray icuName(int codePage)
{
    return "windows-" + QByteArray::number(codePage);
}

} // namespace

TextLayout detectEncoding(QByteArrayView bytes) noexcept
{
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE')
        return {TextEncoding::Utf16LE, 2};
    if (bytes.size() >= 3 && bytes[0] == '\xEF' && bytes[1] == '\xBB' && bytes[2] == '\xBF')
        return {TextEncoding::Utf8, 3};
    if (bytes.isValidUtf8())
        return {TextEncoding::Utf8, 0};
    return {TextEncoding::CodePage, 0};
}

int codePageForLocale(QStringView localeName)
{
    // "language[_territory][.codeset][@modifier]"; Qt ignores the modifier, which is where
    // glibc keeps the script of Serbian and Uzbek.
    QStringView name = localeName;
    QStringView modifier;
    if (const qsizetype at = name.indexOf(u'@'); at >= 0) {
        modifier = name.sliced(at + 1);
        name = name.first(at);
    }
    if (const qsizetype dot = name.indexOf(u'.'); dot >= 0)
        name = name.first(dot);
    if (name.isEmpty() || name == u"C" || name == u"POSIX")
        return 1252;

    const QLocale locale(name.toString());
    QLocale::Script script = locale.script();
    if (modifier.compare(u"latin", Qt::CaseInsensitive) == 0)
        script = QLocale::LatinScript;
    else if (modifier.compare(u"cyrillic", Qt::CaseInsensitive) == 0)
        script = QLocale::CyrillicScript;
    const bool cyrillic = script == QLocale::CyrillicScript;

    switch (locale.language()) {
    case QLocale::Russian:
    case QLocale::Ukrainian:
    case QLocale::Bulgarian:
    case QLocale::Belarusian:
    case QLocale::Macedonian:
    case QLocale::Kazakh:
    case QLocale::Kyrgyz:
    case QLocale::Mongolian:
    case QLocale::Tatar:
    case QLocale::Tajik:
    case QLocale::Bashkir:
    case QLocale::Sakha:
        return 1251;
    case QLocale::Serbian:
    case QLocale::Bosnian:
        return cyrillic ? 1251 : 1250;
    case QLocale::Polish:
    case QLocale::Czech:
    case QLocale::Slovak:
    case QLocale::Hungarian:
    case QLocale::Slovenian:
    case QLocale::Croatian:
    case QLocale::Romanian:
    case QLocale::Albanian:
        return 1250;
    case QLocale::Greek:
        return 1253;
    case QLocale::Turkish:
        return 1254;
    case QLocale::Azerbaijani:
    case QLocale::Uzbek:
        return cyrillic ? 1251 : 1254;
    case QLocale::Hebrew:
        return 1255;
    case QLocale::Arabic:
    case QLocale::Persian:
    case QLocale::Urdu:
    case QLocale::Uyghur:
        return 1256;
    case QLocale::Estonian:
    case QLocale::Latvian:
    case QLocale::Lithuanian:
        return 1257;
    case QLocale::Vietnamese:
        return 1258;
    case QLocale::Thai:
        return 874;
    case QLocale::Japanese:
        return 932;
    case QLocale::Chinese:
        return script == QLocale::TraditionalHanScript ? 950 : 936;
    case QLocale::Korean:
        return 949;
    default:
        return 1252;
    }
}

int userCodePage()
{
    // The precedence the C library gives the message category.
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty())
            return codePageForLocale(value);
    }
    return 1252;
}

CodePageCodec::CodePageCodec(int codePage)
{
    if (codePage == 1252)
        return;
    // Made in place: an ICU-backed converter has ICU hold the address of its state, so it
    // must not be moved once made.
    m_name = icuName(codePage);
    m_decoder.emplace(m_name.constData(), QStringConverter::Flag::Stateless);
    if (!m_decoder->isValid() ||
        !QStringEncoder(m_name.constData(), QStringConverter::Flag::Stateless).isValid()) {
        m_decoder.reset();
        m_name.clear();
    }
}

QString CodePageCodec::decode(QByteArrayView bytes)
{
    if (!m_decoder)
        return decodeCp1252(bytes);
    m_decoder->resetState();
    // A lead byte at the very end is held back for a next call that never comes, and so lost,
    // while the same byte anywhere else reads as the converter's replacement character. A
    // line end after it makes it read the same way there too; every lead byte is above 0x7F.
    if (bytes.isEmpty() || static_cast<unsigned char>(bytes.back()) < 0x80)
        return m_decoder->decode(bytes);
    QString text = m_decoder->decode(QByteArray(bytes.toByteArray() + '\n'));
    if (text.endsWith(u'\n'))
        text.chop(1);
    return text;
}

QByteArray CodePageCodec::encode(QStringView text)
{
    if (!m_decoder)
        return encodeCp1252(text);
    // A fresh encoder for each text: with ICU, resetting one does not clear its error count.
    const auto encodeWithFreshEncoder = [this](QStringView part) -> std::optional<QByteArray> {
        QStringEncoder encoder(m_name.constData(), QStringConverter::Flag::Stateless);
        QByteArray bytes = encoder.encode(part);
        if (encoder.hasError())
            return std::nullopt;
        return bytes;
    };
    if (std::optional<QByteArray> bytes = encodeWithFreshEncoder(text))
        return *bytes;

    // The converter put its own substitute (often 0x1A, a blank to the profile reader) where a
    // character has no byte; redo it one character at a time and write '?' instead.
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n =
            (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) ? 2
                                                                                               : 1;
        const std::optional<QByteArray> one = encodeWithFreshEncoder(text.sliced(i, n));
        bytes.append(one && !one->isEmpty() ? *one : QByteArray("?"));
        i += n;
    }
    return bytes;
}

QString decodeUtf16LE(QByteArrayView bytes)
{
    const qsizetype units = bytes.size() / 2;
    QString text(units, Qt::Uninitialized);
    qFromLittleEndian<char16_t>(bytes.data(), units, text.data());
    return text;
}

QByteArray encodeUtf16LE(QStringView text)
{
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    qToLittleEndian<char16_t>(text.utf16(), text.size(), bytes.data());
    return bytes;
}

namespace {

QString decodeDetected(QByteArrayView bytes, TextLayout layout, int codePage)
{
    const QByteArrayView body = bytes.sliced(layout.markSize);
    switch (layout.encoding) {
    case TextEncoding::Utf16LE:
        return decodeUtf16LE(body);
    case TextEncoding::Utf8:
        return QString::fromUtf8(body);
    case TextEncoding::CodePage:
        break;
    }
    return CodePageCodec(codePage).decode(body);
}

} // namespace

QString decodeText(QByteArrayView bytes, int codePage)
{
    return decodeDetected(bytes, detectEncoding(bytes), codePage);
}

} // namespace corvane::platform::detail

namespace corvane::platform {

QString decodeText(QByteArrayView bytes)
{
    const detail::TextLayout layout = detail::detectEncoding(bytes);
    // The locale is consulted only for files that need it.
    const int codePage =
        layout.encoding == detail::TextEncoding::CodePage ? detail::userCodePage() : 1252;
    return detail::decodeDetected(bytes, layout, codePage);
}

} // namespace corvane::platform
