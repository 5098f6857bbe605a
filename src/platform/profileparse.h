#pragma once

// The profile (INI) format as Windows' profile functions read and write it, on text
// and bytes in memory; profile.cpp adds the files. Kept free of I/O so that tests and fuzzers
// can drive it directly. Everything here is stateless and may be used from any thread.
//
// Reading: lines end at CR LF, LF or a lone CR and are trimmed of blanks (0x09-0x0D, 0x1A,
// space). "[name]" opens a section (the name runs to the last ']'), anything else is a key line
// split at its first '='. Names compare without regard to case; the first section of a name and
// the first key in it win; one pair of outer quotes is removed and values are cut to 2047
// characters. Writing changes or inserts one line and keeps every other byte.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace corvane::platform::detail {

/// Longest value the reader returns (a 2048-character buffer with its terminator).
inline constexpr qsizetype kProfileValueLimit = 2047;

/// Larger files count as unreadable, and the writer refuses them rather than cut them.
inline constexpr qsizetype kProfileFileLimit = qsizetype(128) * 1024 * 1024;

constexpr bool isProfileBlank(char16_t c) noexcept
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x1A || c == 0x20;
}

QStringView trimProfile(QStringView text) noexcept;

struct ProfileLine
{
    enum class Kind { Blank, Header, Entry };
    Kind kind = Kind::Blank;
    QStringView name;      ///< the section name of a header, the key of an entry; trimmed
    QStringView value;     ///< trimmed, quotes still on
    bool hasValue = false; ///< the entry line holds '='
};

ProfileLine parseProfileLine(QStringView line) noexcept;

/// The value of `key` in `section` of the decoded file text, quotes removed and cut to the
/// limit; nullopt where the reader gives the caller's default. Views into `text`.
std::optional<QStringView> findProfileValue(QStringView text, QStringView section,
                                            QStringView key) noexcept;

/// Whether the names and value can be written without changing the file's structure: no line
/// breaks anywhere, and a key that is not empty, holds no '=' and does not start with '['.
bool isWritableProfileEntry(QStringView section, QStringView key, QStringView value) noexcept;

/// The bytes of a profile file after setting `key` in `section` to `value`. `old` is the
/// current content, or nullopt when there is no file. `codePage` encodes new text for 8-bit
/// files that are not UTF-8. Expects isWritableProfileEntry().
QByteArray editProfile(std::optional<QByteArrayView> old, QStringView section, QStringView key,
                       QStringView value, int codePage);

} // namespace corvane::platform::detail
