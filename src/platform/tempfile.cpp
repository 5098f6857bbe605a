#include "platform/handles.h"
#include "platform/platform.h"

#include <QByteArray>
#include <QFile>
#include <cstdlib>
#include <sys/stat.h>

// Temporary files are created under their final name by mkstemps, which opens them
// exclusively and with mode 0600: no other process can slip a file or link in between choosing
// a name and creating it, nor read what goes into it.

namespace corvane::platform {

namespace {

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
    if (!file.isOpen())
        return {};
    return QFile::decodeName(path);
}

} // namespace corvane::platform
