// Folders and files, on POSIX calls directly: the language lookup lists the program folder for
// every single text, so this path stays free of Qt's heavier file-system classes.

#include "platform/handles.h"
#include "platform/platform.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace corvane::platform {

namespace {

QString withoutTrailingSlashes(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

QString homeFromPasswordDatabase()
{
    long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? size_t(suggested) : 16384);
    for (;;) {
        struct passwd entry;
        struct passwd* found = nullptr;
        const int error = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found);
        if (error == ERANGE && buffer.size() < (size_t(1) << 20)) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (error != 0 || !found || !found->pw_dir)
            return {};
        return QFile::decodeName(found->pw_dir);
    }
}

} // namespace

QString programFolder()
{
    // The kernel's record of the executable: already absolute with every link resolved.
    QByteArray path(256, Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", path.data(), size_t(path.size()));
        if (n < 0)
            return {};
        if (n < path.size()) {
            path.truncate(n);
            break;
        }
        if (path.size() >= (qsizetype(1) << 16))
            return {};
        path.resize(path.size() * 2);
    }
    // A replaced executable reads "<path> (deleted)"; only the last component is affected.
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return {};
    return QFile::decodeName(path.first(slash + 1));
}

QString userConfigFolder()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (xdg.startsWith(u'/'))
        return withoutTrailingSlashes(xdg);
    QString home = qEnvironmentVariable("HOME");
    if (!home.startsWith(u'/'))
        home = homeFromPasswordDatabase();
    if (!home.startsWith(u'/'))
        return {};
    home = withoutTrailingSlashes(home);
    return home == u"/" ? QStringLiteral("/.config") : home + u"/.config";
}

bool isRegularFile(const QString& path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

QStringList entriesWithSuffix(const QString& folder, QStringView suffix)
{
    QStringList names;
    const DirectoryHandle dir(::opendir(QFile::encodeName(folder).constData()));
    if (!dir.get())
        return names;
    // The lookup lists the folder for every text, so names are passed over on their bytes
    // where that is safe: an ASCII suffix is the same bytes in any name's encoding.
    const bool asciiSuffix =
        std::all_of(suffix.begin(), suffix.end(), [](QChar c) { return c.unicode() < 0x80; });
    const auto rawEndsWithSuffix = [suffix](const char* raw) {
        const QLatin1String name(raw);
        return name.size() >= suffix.size() &&
               name.last(suffix.size()).compare(suffix, Qt::CaseInsensitive) == 0;
    };
    while (const dirent* entry = ::readdir(dir.get())) {
        const char* raw = entry->d_name;
        if (raw[0] == '.' && (raw[1] == '\0' || (raw[1] == '.' && raw[2] == '\0')))
            continue;
        if (asciiSuffix && !rawEndsWithSuffix(raw))
            continue;
        QString name = QFile::decodeName(raw);
        if (name.endsWith(suffix, Qt::CaseInsensitive))
            names.append(std::move(name));
    }
    // Names equal but for case still get a fixed order.
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int order = a.compare(b, Qt::CaseInsensitive);
        return order != 0 ? order < 0 : a < b;
    });
    return names;
}

bool makeFolder(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    if (path.isEmpty())
        return false;
    struct stat info;
    if (::stat(path.constData(), &info) == 0)
        return S_ISDIR(info.st_mode);

    // From the top down: existing components are passed over, missing ones made private.
    for (qsizetype i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/')
            continue;
        if (path[i - 1] == '/')
            continue;
        const QByteArray prefix = path.first(i);
        if (::mkdir(prefix.constData(), 0700) != 0 && errno != EEXIST) {
            // An existing folder that we may not write into answers EACCES, not EEXIST.
            if (::stat(prefix.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
                return false;
        }
    }
    return ::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool removeFile(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::unlink(name.constData()) == 0)
        return true;
    // A link to a folder is removed as a link (the folder stays), also when named "link/".
    QByteArray bare = name;
    while (bare.size() > 1 && bare.endsWith('/'))
        bare.chop(1);
    struct stat link;
    struct stat target;
    if (::lstat(bare.constData(), &link) == 0 && S_ISLNK(link.st_mode) &&
        ::stat(bare.constData(), &target) == 0 && S_ISDIR(target.st_mode))
        return ::unlink(bare.constData()) == 0;
    return false;
}

} // namespace corvane::platform
