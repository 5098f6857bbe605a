#pragma once

// Small helpers shared by the platform, lookup and settings tests.

#include <QFile>
#include <QStringEncoder>

#include <optional>
#include <sys/stat.h>
#include <vector>

namespace corvane::test {

/// Sets (or, given nullopt, unsets) environment variables until destroyed.
class EnvironmentOverride
{
public:
    using Value = std::optional<QByteArray>;
    EnvironmentOverride(std::initializer_list<std::pair<const char*, Value>> values)
    {
        for (const auto& [name, value] : values) {
            m_saved.emplace_back(name, qEnvironmentVariableIsSet(name) ? Value(qgetenv(name))
                                                                       : std::nullopt);
            set(name, value);
        }
    }
    EnvironmentOverride(const EnvironmentOverride&) = delete;
    EnvironmentOverride& operator=(const EnvironmentOverride&) = delete;
    ~EnvironmentOverride()
    {
        for (const auto& [name, value] : m_saved)
            set(name, value);
    }

private:
    static void set(const char* name, const Value& value)
    {
        value ? qputenv(name, *value) : qunsetenv(name);
    }
    std::vector<std::pair<const char*, Value>> m_saved;
};

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
