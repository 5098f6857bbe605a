#pragma once

// Files for the tests: written and read whole, language files in UTF-16LE, and a file's mode
// and kind.

#include <QByteArray>
#include <QFile>
#include <QStringEncoder>

#include <sys/stat.h>

namespace corvane::test {

/// Writes `bytes` to the file at `path`, replacing it. False when it was not written whole.
[[nodiscard]] inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

/// The contents of the file at `path`, or a null array when it cannot be read.
inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// `text` as the bytes of a UTF-16LE file with its byte-order mark, as language files are
/// usually saved.
inline QByteArray utf16File(QStringView text)
{
    return QByteArray("\xFF\xFE") + QByteArray(QStringEncoder(QStringEncoder::Utf16LE)(text));
}

inline mode_t permissions(const QString& path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

inline bool isSymbolicLink(const QString& path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISLNK(info.st_mode);
}

} // namespace corvane::test
