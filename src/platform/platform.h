#pragma once

// The operating-system layer. Everything the launcher needs from the system beneath Qt is a
// free function here, so that the rest of the program never touches POSIX or freedesktop
// details: files and folders, profile (INI) files, temporary files, starting programs, the
// desktop's applications, the process's lifetime and the texts of message boxes. All of it
// may be called from any thread, except the functions marked "main thread". What needs the
// window system is in platform/gui/desktop.h.

#include <QString>
#include <QStringList>
#include <functional>

class QByteArray;
class QByteArrayView;
class QDate;
class QObject;

namespace corvane::platform {

// ---- Folders and files ----------------------------------------------------------------------

/// The folder of the running executable, resolved from the process itself (not argv[0] and
/// not the current directory), ending in '/'. Links to the executable are followed.
QString programFolder();

/// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute path, otherwise
/// ~/.config. No trailing '/'. Read anew on every call.
QString userConfigFolder();

/// True when `path` names a regular file, after following symbolic links.
bool isRegularFile(const QString& path);

/// Every entry of `folder` (hidden ones, directories and links included) whose name ends in
/// `suffix` without regard to case, ordered by name without regard to case. Names only.
QStringList entriesWithSuffix(const QString& folder, QStringView suffix);

/// Creates `folder` and any missing parents with mode 0700. True when it exists afterwards
/// as a directory.
bool makeFolder(const QString& folder);

/// Removes the file at `path`; when that fails and `path` is a symbolic link to a directory,
/// removes the link. Reports whether something was removed.
bool removeFile(const QString& path);

// ---- Profile (INI) files --------------------------------------------------------------------

/// The value of `key` in `section` of the profile file `file`, read the way Windows'
/// profile functions read it (see profileparse.h), or `defaultValue` when the file, section or
/// key is missing or the file cannot be read. At most 2047 characters.
QString readProfileString(const QString& file, const QString& section, const QString& key,
                          const QString& defaultValue);

/// Sets `key` in `section` of `file` to `value`, keeping every other line of the file as it
/// was. Creates the file or section when missing, never a folder. The file is replaced
/// atomically (new file beside it, then rename), so a crash leaves the old or the new file
/// whole. Returns false on any failure.
bool writeProfileString(const QString& file, const QString& section, const QString& key,
                        const QString& value);

/// Decodes the bytes of a text file: UTF-16LE after FF FE, UTF-8 after EF BB BF or when the
/// bytes are valid UTF-8, otherwise the Windows code page of the user's locale language.
QString decodeText(QByteArrayView bytes);

// ---- Dates ----------------------------------------------------------------------------------

/// `date` in the user's short date format, always with a four-digit year.
QString shortDate(QDate date);

/// `format` (a QDate format) with a two-digit year widened to four digits, unless it already
/// shows a four-digit year. Quoted literal text is left alone.
QString fullYearDateFormat(const QString& format);

// ---- Temporary files ------------------------------------------------------------------------

/// Creates a new, empty file named `prefix` + unique characters in $TMPDIR (or /tmp),
/// exclusively and with mode 0600. Returns its full path, or an empty text on failure.
QString createTemporaryFile(QStringView prefix);

// ---- Programs and documents -----------------------------------------------------------------

/// Starts `program` with exactly `arguments` as a detached process (no shell, nothing split),
/// in the current directory. Does not wait; leaves no zombie. The program inherits the
/// environment but no desktop activation token, which belongs to this process's own start.
/// False when it could not start.
bool startDetached(const QString& program, const QStringList& arguments);

/// Asks the desktop, through xdg-mime, whether it has a default application for files of
/// `mimeType`, and calls `done(found)` on the main thread once it has answered, unless
/// `context` has gone by then. A question left unanswered for a few seconds (a file the desktop
/// reads may be a pipe that nobody writes to) counts as none: it is ended with whatever it
/// started. Never waits. Main thread.
void findDefaultApplication(const QString& mimeType, QObject* context,
                            std::function<void(bool found)> done);

/// Hands the local file `path` to the desktop's opener, xdg-open, and calls `done(opened)` on
/// the main thread unless `context` has gone by then: false when the opener could not start or
/// ended with a failure, true when it ended well or is still at work after a few seconds
/// (where the desktop has no opener of its own, it waits for the program it started). Never
/// waits. Main thread.
void openFile(const QString& path, QObject* context, std::function<void(bool opened)> done);

// ---- Desktop session ------------------------------------------------------------------------

/// True when the window system Qt would use needs a display and the environment names none:
/// none of WAYLAND_DISPLAY, WAYLAND_SOCKET and DISPLAY is set, and QT_QPA_PLATFORM names no
/// platform that does without one (such as offscreen).
bool lacksDisplay();

// ---- Process lifetime -----------------------------------------------------------------------

/// Calls `request` on the main thread whenever the process receives SIGTERM or SIGINT, the
/// way the desktop session and service managers ask a program to end. Main thread.
void onTerminationRequest(std::function<void()> request);

/// Ends the process with `status` once `seconds` have passed, whatever it is doing then: the
/// last resort against an end that hangs. 0 seconds calls such an end off.
void exitAfter(unsigned seconds, int status);

// ---- Texts ----------------------------------------------------------------------------------

/// `text` with its carriage returns (alone or before a line feed) made line feeds: texts join
/// their lines with a carriage return, as message boxes break them, and Qt breaks lines only
/// at line feeds.
QString lineBreaks(QStringView text);

} // namespace corvane::platform
