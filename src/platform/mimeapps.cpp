// Whether the desktop has an application for a file type, decided from the same files the
// desktop's opener reads (the freedesktop rules for mimeapps.list and desktop entries), in
// this process: no opener script is run and none needs to be installed for the answer.

#include "platform/platform.h"

#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QMimeDatabase>
#include <QSet>

namespace corvane::platform {

namespace {

// Desktop entries and association lists are a few kilobytes; a larger file is read no
// further than this.
constexpr qint64 MaxKeyFileSize = 1 << 20;

QStringList environmentFolders(const char* name, const QStringList& fallback)
{
    QStringList folders;
    const QStringList entries = qEnvironmentVariable(name).split(u':', Qt::SkipEmptyParts);
    for (const QString& entry : entries) {
        if (entry.startsWith(u'/'))
            folders << entry;
    }
    return folders.isEmpty() ? fallback : folders;
}

QString environmentFolder(const char* name, const QString& fallback)
{
    return environmentFolders(name, {fallback}).constFirst();
}

/// Calls `visit(group, key, value)` for every "Key=Value" line of a desktop-entry style file.
template <typename Visit> void readKeyFile(const QString& path, Visit visit)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.read(MaxKeyFileSize);
    QString group;
    for (qsizetype start = 0; start < bytes.size();) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            end = bytes.size();
        const QByteArrayView line = QByteArrayView(bytes).sliced(start, end - start).trimmed();
        start = end + 1;
        if (line.startsWith('[') && line.endsWith(']')) {
            group = QString::fromUtf8(line.sliced(1, line.size() - 2));
        } else if (const qsizetype equals = line.indexOf('=');
                   equals > 0 && !line.startsWith('#')) {
            visit(group, QString::fromUtf8(line.first(equals).trimmed()),
                  QString::fromUtf8(line.sliced(equals + 1).trimmed()));
        }
    }
}

QStringList listValue(const QString& value)
{
    return value.split(u';', Qt::SkipEmptyParts);
}

/// The places association lists and desktop entries come from, most important first. Each
/// level is a folder whose lists may name, add or remove applications for a type; the data
/// folders also hold desktop entries.
struct Level
{
    QStringList lists;    ///< mimeapps.list files, the current desktop's own first
    QString applications; ///< folder of desktop entries, or empty
};

QList<Level> levels()
{
    QStringList desktops;
    const QStringList current =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts);
    for (const QString& desktop : current)
        desktops << desktop.toLower();
    auto listsIn = [&desktops](const QString& folder) {
        QStringList lists;
        for (const QString& desktop : std::as_const(desktops))
            lists << folder + u'/' + desktop + u"-mimeapps.list";
        lists << folder + u"/mimeapps.list";
        return lists;
    };

    const QString home = qEnvironmentVariable("HOME");
    QList<Level> result;
    result << Level{listsIn(environmentFolder("XDG_CONFIG_HOME", home + u"/.config")), {}};
    for (const QString& folder :
         environmentFolders("XDG_CONFIG_DIRS", {QStringLiteral("/etc/xdg")}))
        result << Level{listsIn(folder), {}};
    const QStringList dataFolders =
        QStringList{environmentFolder("XDG_DATA_HOME", home + u"/.local/share")} +
        environmentFolders("XDG_DATA_DIRS",
                           {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")});
    for (const QString& folder : dataFolders) {
        const QString applications = folder + u"/applications";
        result << Level{listsIn(applications), applications};
    }
    return result;
}

/// The installed desktop entries: for each desktop file id the file that counts, which is
/// the one in the most important folder.
class DesktopEntries
{
public:
    explicit DesktopEntries(const QList<Level>& levels)
    {
        for (const Level& level : levels) {
            if (level.applications.isEmpty())
                continue;
            // An entry in a subfolder has the folder in its id: kde/viewer.desktop is
            // kde-viewer.desktop.
            QDirIterator it(level.applications, {QStringLiteral("*.desktop")}, QDir::Files,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString path = it.next();
                QString id = path.sliced(level.applications.size() + 1);
                id.replace(u'/', u'-');
                if (!m_files.contains(id))
                    m_files.insert(id, {path, level.applications});
            }
        }
    }

    /// An entry of that id is installed and not hidden.
    bool isInstalled(const QString& id) { return m_files.contains(id) && !entry(id).hidden; }

    /// An installed entry whose file lies in `folder` lists one of `types` and has not been
    /// removed from them.
    bool anyListing(const QString& folder, const QStringList& types, const QSet<QString>& removed)
    {
        for (auto it = m_files.cbegin(); it != m_files.cend(); ++it) {
            if (it->folder != folder || removed.contains(it.key()))
                continue;
            const Entry& found = entry(it.key());
            if (found.hidden)
                continue;
            for (const QString& type : types) {
                if (found.mimeTypes.contains(type))
                    return true;
            }
        }
        return false;
    }

private:
    struct File
    {
        QString path;
        QString folder;
    };
    struct Entry
    {
        QStringList mimeTypes;
        bool hidden = false;
    };

    const Entry& entry(const QString& id)
    {
        auto cached = m_entries.constFind(id);
        if (cached != m_entries.cend())
            return *cached;
        Entry read;
        readKeyFile(m_files.value(id).path,
                    [&read](const QString& group, const QString& key, const QString& value) {
                        if (group != u"Desktop Entry")
                            return;
                        if (key == u"MimeType")
                            read.mimeTypes = listValue(value);
                        else if (key == u"Hidden")
                            read.hidden = value == u"true";
                    });
        return *m_entries.insert(id, read);
    }

    QHash<QString, File> m_files;
    QHash<QString, Entry> m_entries;
};

} // namespace

bool hasApplicationFor(const QString& mimeType)
{
    // A file type may be known under older names too (application/x-chm for CHM files).
    QStringList types{mimeType};
    const QMimeType known = QMimeDatabase().mimeTypeForName(mimeType);
    if (known.isValid())
        types = QStringList{known.name()} + known.aliases();

    const QList<Level> order = levels();
    DesktopEntries entries(order);
    // A removal hides the associations of its own level and of every less important one.
    QSet<QString> removed;
    for (const Level& level : order) {
        QStringList named;
        for (const QString& list : level.lists) {
            readKeyFile(list, [&](const QString& group, const QString& key, const QString& value) {
                if (!types.contains(key))
                    return;
                if (group == u"Removed Associations") {
                    const QStringList ids = listValue(value);
                    removed.unite(QSet<QString>(ids.begin(), ids.end()));
                } else if (group == u"Default Applications" || group == u"Added Associations") {
                    named << listValue(value);
                }
            });
        }
        for (const QString& id : std::as_const(named)) {
            if (!removed.contains(id) && entries.isInstalled(id))
                return true;
        }
        if (!level.applications.isEmpty() && entries.anyListing(level.applications, types, removed))
            return true;
    }
    return false;
}

} // namespace corvane::platform
