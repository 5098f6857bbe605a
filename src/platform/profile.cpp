// Profile (INI) files on disk. Reading takes the whole file into memory and decodes it; the
// format itself lives in profileparse.cpp. Writing never changes a file in place: the new
// content goes to a fresh file beside the old one, which is flushed to disk and renamed over
// the old, so that a crash or a full disk leaves the old file or the new one whole. A writer
// holds a lock on its new file until the rename; a new file that nobody holds any more was left
// by a writer that was killed, and the next write beside it removes it.
//
// QSaveFile does not do for this: it names its unnamed temporary file "corvane.ini.XXXXXX"
// for a moment before the rename (a kill left one in 9 of 300 writes here), such names cannot
// be told from a user's own files to clean them up, and it ignores a failed sync.

#include "platform/handles.h"
#include "platform/platform.h"
#include "platform/profileparse.h"
#include "platform/textcodec.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane::platform {

namespace {

// Removes a temporary file unless the write that made it went through.
class TemporaryFileGuard
{
public:
    explicit TemporaryFileGuard(QByteArray path)
        : m_path(std::move(path))
    {}
    TemporaryFileGuard(const TemporaryFileGuard&) = delete;
    TemporaryFileGuard& operator=(const TemporaryFileGuard&) = delete;
    ~TemporaryFileGuard()
    {
        if (!m_path.isEmpty())
            ::unlink(m_path.constData());
    }
    void keep() noexcept { m_path.clear(); }

private:
    QByteArray m_path;
};

int openFile(const QByteArray& path, int flags, mode_t mode = 0)
{
    int fd;
    do
        fd = ::open(path.constData(), flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

enum class ReadResult { Read, Missing, Failed };

// Reads a regular file whole. Opening does not block on a FIFO, and anything other than a
// regular file (a folder, a device, a FIFO) is Failed, as is a file beyond the size limit.
ReadResult readRegularFile(const QByteArray& path, QByteArray& bytes, struct stat& info)
{
    const FileDescriptor fd(openFile(path, O_RDONLY | O_NOCTTY | O_NONBLOCK));
    if (!fd.isOpen())
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_size > detail::kProfileFileLimit)
        return ReadResult::Failed;

    // The size is a hint only: the file may change while it is read.
    bytes.resize(qsizetype(info.st_size) + 1);
    qsizetype filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > detail::kProfileFileLimit)
                return ReadResult::Failed;
            bytes.resize(qMin(filled * 2, detail::kProfileFileLimit + 1));
        }
        const ssize_t n = ::read(fd.get(), bytes.data() + filled, size_t(bytes.size() - filled));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return ReadResult::Failed;
        }
        if (n == 0)
            break;
        filled += n;
    }
    bytes.truncate(filled);
    return ReadResult::Read;
}

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return path.first(slash);
}

// The file that `path` finally names when it is a symbolic link (a chain of them), so that the
// write replaces the target and the links stay links. A target that does not exist yet is
// where the new file goes.
std::optional<QByteArray> finalLinkTarget(QByteArray path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info;
        if (::lstat(path.constData(), &info) != 0)
            return errno == ENOENT ? std::optional(path) : std::nullopt;
        if (!S_ISLNK(info.st_mode))
            return path;

        QByteArray target(qMax<qsizetype>(qsizetype(info.st_size), 255) + 1, Qt::Uninitialized);
        const ssize_t n = ::readlink(path.constData(), target.data(), size_t(target.size()));
        if (n <= 0 || n >= target.size())
            return std::nullopt; // gone or changed meanwhile
        target.truncate(n);
        path = target.startsWith('/') ? target : folderOf(path) + '/' + target;
    }
    return std::nullopt;
}

// Windows refuses to write a read-only file whoever asks; root passes every permission check
// here, so a file or folder without any write permission bit counts as read-only for everyone.
bool mayWrite(const QByteArray& path, const struct stat& info, int access)
{
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 &&
           ::faccessat(AT_FDCWD, path.constData(), access, AT_EACCESS) == 0;
}

bool writeAll(int fd, QByteArrayView bytes)
{
    const char* p = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

// The new file beside `target` is named "." + base + "." + RandomPartLength digits of base 36,
// and nothing else in the folder is taken for one: a user's ".corvane.ini.bak" stays.
constexpr qsizetype RandomPartLength = 13; // a 64-bit number in base 36

QByteArray temporaryName(QByteArrayView base)
{
    const QByteArray random = QByteArray::number(QRandomGenerator::global()->generate64(), 36)
                                  .rightJustified(RandomPartLength, '0');
    return '.' + base.toByteArray() + '.' + random;
}

bool isTemporaryName(QByteArrayView name, QByteArrayView base)
{
    if (name.size() != base.size() + 2 + RandomPartLength || !name.startsWith('.') ||
        name.sliced(1, base.size()) != base || name[base.size() + 1] != '.')
        return false;
    for (const char c : name.last(RandomPartLength)) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z')))
            return false;
    }
    return true;
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes the new files of writers of `base` that were killed before their rename. A writer
// that still runs holds the lock on its file, and its file stays. Only regular files of ours,
// or of the target's owner (root writing someone's file gives the new file away), are taken;
// links are not followed and nothing else is opened.
void removeDeadTemporaries(const QByteArray& folder, QByteArrayView base, const struct stat* old)
{
    const DirectoryHandle dir(::opendir(folder.constData()));
    if (!dir.get())
        return;
    const int dirFd = ::dirfd(dir.get());
    while (const dirent* entry = ::readdir(dir.get())) {
        const char* name = entry->d_name;
        struct stat named;
        if (!isTemporaryName(name, base) ||
            ::fstatat(dirFd, name, &named, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(named.st_mode))
            continue;
        const FileDescriptor fd(
            ::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat opened;
        if (!fd.isOpen() || ::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
            (opened.st_uid != ::geteuid() && !(old && opened.st_uid == old->st_uid)))
            continue;
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue; // its writer is still at work
        // The name may have changed hands since it was opened; only the locked file goes.
        if (::fstatat(dirFd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(named, opened))
            ::unlinkat(dirFd, name, 0);
    }
}

// Locks a new file for the rest of the write. Another writer may have found the file in the
// moment before, taken it for a dead writer's and removed it: then it is of no use.
bool lockNewTemporary(int fd, const QByteArray& path)
{
    int result;
    do
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    while (result != 0 && errno == EINTR);
    if (result != 0)
        // No locks on this file system: nobody can take the file for a dead writer's either.
        return errno != EWOULDBLOCK;
    struct stat mine;
    struct stat named;
    return ::fstat(fd, &mine) == 0 && ::lstat(path.constData(), &named) == 0 &&
           sameFile(mine, named);
}

// Puts `content` in place of `target` by way of a new file in `folder`. `old` describes the
// file being replaced (its permissions and owner carry over), or is null for a new file.
bool replaceFile(const QByteArray& folder, const QByteArray& target, QByteArrayView content,
                 const struct stat* old)
{
    QByteArray base = target.sliced(target.lastIndexOf('/') + 1);
    base.truncate(200); // room for the rest of the name within NAME_MAX
    removeDeadTemporaries(folder, base, old);

    FileDescriptor fd;
    QByteArray temporary;
    for (int attempt = 0; attempt < 100 && !fd.isOpen(); ++attempt) {
        temporary = folder + '/' + temporaryName(base);
        // A new file gets the permissions that creating it directly would give (umask,
        // default ACLs); a replacement starts private and takes the old file's below.
        fd = FileDescriptor(
            openFile(temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, old ? 0600 : 0666));
        if (!fd.isOpen()) {
            if (errno != EEXIST)
                return false;
        } else if (!lockNewTemporary(fd.get(), temporary)) {
            fd.reset();
        }
    }
    if (!fd.isOpen())
        return false;
    TemporaryFileGuard guard(temporary);

    if (old) {
        if (old->st_uid != ::geteuid() || old->st_gid != ::getegid()) {
            // Keeps the owner when root edits someone's file; an ordinary user cannot give a
            // file away, and the write goes on with the user as owner.
            [[maybe_unused]] const int ignored = ::fchown(fd.get(), old->st_uid, old->st_gid);
        }
        if (::fchmod(fd.get(), old->st_mode & 07777) != 0)
            return false;
    }
    // The lock lasts as long as some descriptor of the file is open. This second one keeps it
    // until the rename, while closing the first still reports a late write error.
    const FileDescriptor lockHolder(::fcntl(fd.get(), F_DUPFD_CLOEXEC, 0));
    if (!lockHolder.isOpen())
        return false;
    if (!writeAll(fd.get(), content) || ::fsync(fd.get()) != 0 || !fd.close())
        return false;
    if (::rename(temporary.constData(), target.constData()) != 0)
        return false;
    guard.keep();

    // Makes the rename itself durable; the file is whole either way.
    const FileDescriptor directory(openFile(folder, O_RDONLY | O_DIRECTORY));
    if (directory.isOpen())
        ::fsync(directory.get());
    return true;
}

} // namespace

QString readProfileString(const QString& file, const QString& section, const QString& key,
                          const QString& defaultValue)
{
    QByteArray bytes;
    struct stat info;
    if (readRegularFile(QFile::encodeName(file), bytes, info) != ReadResult::Read)
        return defaultValue;
    const QString text = decodeText(bytes);
    bytes = QByteArray(); // the text is all that is needed from here on
    const std::optional<QStringView> value = detail::findProfileValue(text, section, key);
    if (!value)
        return defaultValue;
    if (value->isEmpty())
        return QStringLiteral(""); // an empty text, distinct from a null default
    return value->toString();
}

bool writeProfileString(const QString& file, const QString& section, const QString& key,
                        const QString& value)
{
    if (!detail::isWritableProfileEntry(section, key, value))
        return false;
    const std::optional<QByteArray> target = finalLinkTarget(QFile::encodeName(file));
    if (!target || target->isEmpty() || target->endsWith('/'))
        return false;

    const QByteArray folder = folderOf(*target);
    struct stat folderInfo;
    if (::stat(folder.constData(), &folderInfo) != 0 || !S_ISDIR(folderInfo.st_mode) ||
        !mayWrite(folder, folderInfo, W_OK | X_OK))
        return false;

    QByteArray old;
    struct stat oldInfo;
    switch (readRegularFile(*target, old, oldInfo)) {
    case ReadResult::Failed:
        return false;
    case ReadResult::Missing: {
        const QByteArray content = detail::editProfile(std::nullopt, section, key, value, 1252);
        return replaceFile(folder, *target, content, nullptr);
    }
    case ReadResult::Read:
        break;
    }
    if (!mayWrite(*target, oldInfo, W_OK))
        return false;
    const QByteArray content =
        detail::editProfile(QByteArrayView(old), section, key, value, detail::userCodePage());
    if (content == old)
        return true; // nothing to change; the file stays as it is, timestamps included
    return replaceFile(folder, *target, content, &oldInfo);
}

} // namespace corvane::platform
