#pragma once

// What the fuzz targets share: splitting the input into the parts a target needs, and ending
// the run when an invariant breaks. Parts are separated by the byte 0xFF, which never occurs
// in UTF-8, so that seed files stay readable and a part may hold any other byte, NUL included.

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace corvane::fuzz {

class FuzzInput
{
public:
    FuzzInput(const std::uint8_t* data, std::size_t size)
        : m_rest(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size))
    {}

    /// The next byte, or 0 when the input is used up.
    unsigned takeByte()
    {
        if (m_rest.isEmpty())
            return 0;
        const auto byte = static_cast<unsigned char>(m_rest.front());
        m_rest = m_rest.sliced(1);
        return byte;
    }

    /// The bytes up to the next separator (which is dropped), or all that is left.
    QByteArrayView takePart()
    {
        const qsizetype end = m_rest.indexOf('\xFF');
        if (end < 0) {
            const QByteArrayView part = m_rest;
            m_rest = {};
            return part;
        }
        const QByteArrayView part = m_rest.first(end);
        m_rest = m_rest.sliced(end + 1);
        return part;
    }

    QByteArrayView rest() const { return m_rest; }

private:
    QByteArrayView m_rest;
};

/// Stops the run like a sanitizer finding would, so that libFuzzer keeps the input and a
/// replay of the corpus fails.
inline void require(bool condition, const char* what)
{
    if (condition)
        return;
    std::fprintf(stderr, "broken: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

/// `bytes` as a server's text: UTF-16LE (any code unit, a last odd byte dropped) when `utf16`,
/// otherwise Latin-1, one character per byte, as the fetcher reads bodies.
inline QString decodeText(QByteArrayView bytes, bool utf16)
{
    if (!utf16)
        return QString::fromLatin1(bytes);
    QString text;
    text.reserve(bytes.size() / 2);
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        text += QChar(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            static_cast<unsigned char>(bytes[i + 1]) << 8));
    return text;
}

inline bool isLineBreak(QChar c)
{
    return c == u'\n' || c == u'\r';
}

} // namespace corvane::fuzz
