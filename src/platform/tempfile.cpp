#include "platform/platform.h"

#include <QByteArray>
#include <QFile>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

// Temporary files are created under their final name by mkstemps, which opens them
// exclusively: no other process can slip a file or link in between choosing a name and
// creating it.

namespace corvane::platform {

namespace {

class FileDescriptor
{
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {}
    FileDescriptor(FileDescriptor&& other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { reset(); }

    bool isValid() const { return m_fd >= 0; }
    int get() const { return m_fd; }

private:
    void reset()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    int m_fd;
};

// $TMPDIR when it names an existing folder by an absolute path, otherwise /tmp.
QByteArray temporaryFolder()
{
    QByteArray folder = qgetenv("TMPDIR");
    struct stat info
    {
    };
    if (!folder.startsWith('/') || ::stat(folder.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        folder = QByteArrayLiteral("/tmp");
    while (folder.size() > 1 && folder.endsWith('/'))
        folder.chop(1);
    return folder;
}

} // namespace

QString createTemporaryFile(QStringView prefix)
{
    if (prefix.contains(u'/'))
        return {};
    QByteArray path = temporaryFolder();
    if (!path.endsWith('/'))
        path += '/';
    path += QFile::encodeName(prefix.toString()) + QByteArrayLiteral("XXXXXX");
    const FileDescriptor file(::mkstemps(path.data(), 0));
    if (!file.isValid())
        return {};
    // mkstemps creates with 0600 already; say so explicitly rather than rely on it.
    if (::fchmod(file.get(), S_IRUSR | S_IWUSR) != 0) {
        ::unlink(path.constData());
        return {};
    }
    return QFile::decodeName(path);
}

} // namespace corvane::platform
