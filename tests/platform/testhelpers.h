#pragma once

// Small helpers shared by the platform, lookup and settings tests.

#include "environmentoverride.h"

#include <QFile>
#include <QStringEncoder>

#include <sys/stat.h>

namespace corvane::test {

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// `text` as the bytes of a UTF-16LE file with its byte-order mark.
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
