#pragma once

// Helpers for the end-to-end tests: the real launcher as a child process that never outlives
// its test, the windows a process shows on the private X server, and screenshots.

#include "testfiles.h"
#include "xsession.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>

#include <functional>

namespace corvane::test {

inline const QString LauncherClass = QStringLiteral("CorvaneProfessional");
inline const QString LauncherTitle = QStringLiteral("Corvane Professional");

/// The launcher as built, in the build tree's program folder.
inline QString builtProgramFolder()
{
    return qEnvironmentVariable("CORVANE_TEST_PROGRAM_DIR");
}

/// One run of the launcher. Ended (SIGTERM, then SIGKILL) when the object goes, whatever the
/// test did before. `inChild`, when given, runs in the new process before the program.
class Launcher
{
public:
    Launcher(const QString& program, const QProcessEnvironment& environment,
             const QString& workingFolder = QString(), const std::function<void()>& inChild = {})
    {
        if (inChild)
            m_process.setChildProcessModifier(inChild);
        m_process.setProcessEnvironment(environment);
        m_process.setProgram(program);
        if (!workingFolder.isEmpty())
            m_process.setWorkingDirectory(workingFolder);
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start();
    }
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    ~Launcher()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

    bool started() { return m_process.waitForStarted(5000); }
    QString pid() const { return QString::number(m_process.processId()); }
    bool running() const { return m_process.state() != QProcess::NotRunning; }

    /// Asks the launcher to end the way a session manager does (SIGTERM) and waits up to
    /// `timeoutMs`. The exit code, -1 after a crash or a signal, -2 when it did not end.
    int endBySigterm(int timeoutMs = 5000)
    {
        m_process.terminate();
        return waitForFinished(timeoutMs) ? exitCode() : -2;
    }
    bool waitForFinished(int timeoutMs) { return m_process.waitForFinished(timeoutMs); }
    /// Exit code of a normal end, -1 for a crash or a signal.
    int exitCode() const
    {
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

private:
    QProcess m_process;
};

/// Visible top-level windows matching all the given `xdotool search` conditions.
inline QStringList findWindows(const XSession& session, const QStringList& conditions)
{
    const QString out = session.run(QStringLiteral("xdotool"),
                                    QStringList{QStringLiteral("search"), QStringLiteral("--all"),
                                                QStringLiteral("--onlyvisible")} +
                                        conditions);
    return out.isEmpty() ? QStringList() : out.split(u'\n');
}

/// The visible windows of the process `pid`.
inline QStringList windowsOf(const XSession& session, const QString& pid)
{
    return findWindows(session, {QStringLiteral("--pid"), pid});
}

/// Waits for a visible window of `pid` titled exactly `title`; its id, or an empty text.
inline QString waitForTitled(const XSession& session, const QString& pid, const QString& title,
                             int timeoutMs = 10000)
{
    const QStringList conditions{QStringLiteral("--pid"), pid, QStringLiteral("--name"),
                                 u'^' + QRegularExpression::escape(title) + u'$'};
    QDeadlineTimer deadline(timeoutMs);
    do {
        const QStringList found = findWindows(session, conditions);
        if (!found.isEmpty())
            return found.first();
        QTest::qWait(50);
    } while (!deadline.hasExpired());
    return {};
}

/// The size of a window's client area, from `xdotool getwindowgeometry --shell`.
inline QSize windowSize(const XSession& session, const QString& window)
{
    const QString out = session.run(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"),
                                                                QStringLiteral("--shell"), window});
    QSize size;
    for (const QString& line : out.split(u'\n')) {
        if (line.startsWith(u"WIDTH="))
            size.setWidth(line.mid(6).toInt());
        else if (line.startsWith(u"HEIGHT="))
            size.setHeight(line.mid(7).toInt());
    }
    return size;
}

/// The frame of `window` on the screen: its client area grown by the window manager's
/// _NET_FRAME_EXTENTS (left, right, top, bottom).
inline QRect frameGeometry(const XSession& session, const QString& window)
{
    const QString info = session.run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
    const auto value = [&info](const char* label) {
        return QRegularExpression(QLatin1String(label) + QStringLiteral(":\\s*(-?\\d+)"))
            .match(info)
            .captured(1)
            .toInt();
    };
    const QStringList extents =
        session.property(window, QStringLiteral("_NET_FRAME_EXTENTS")).section(u'=', 1).split(u',');
    const auto extent = [&extents](int i) { return extents.value(i).trimmed().toInt(); };
    return QRect(value("Absolute upper-left X"), value("Absolute upper-left Y"), value("Width"),
                 value("Height"))
        .adjusted(-extent(0), -extent(2), extent(1), extent(3));
}

/// Clicks the left button at `pos`, relative to the window's client area.
inline void clickAt(const XSession& session, const QString& window, QPoint pos)
{
    session.run(QStringLiteral("xdotool"),
                {QStringLiteral("mousemove"), QStringLiteral("--window"), window,
                 QString::number(pos.x()), QString::number(pos.y()), QStringLiteral("click"),
                 QStringLiteral("1")});
}

/// Makes `window` the active one and types `keys` (xdotool key names, such as "alt+F4") on
/// the keyboard, so that the window manager sees them as well.
inline void typeKeys(const XSession& session, const QString& window, const QStringList& keys)
{
    session.run(QStringLiteral("xdotool"),
                {QStringLiteral("windowactivate"), QStringLiteral("--sync"), window});
    // Not "key --window": when the keys close that window, xdotool fails on the release and
    // leaves them held down, and the server's auto-repeat then closes the next window too.
    session.run(QStringLiteral("xdotool"), QStringList{QStringLiteral("key")} + keys);
}

/// Saves a picture of `window` with its window-manager frame as `name` in the artifacts
/// folder and returns it as loaded back, so that the caller can check it.
inline QImage saveScreenshot(const XSession& session, const QString& window, const QString& name)
{
    const QString folder = QStringLiteral(CORVANE_ARTIFACTS_DIR);
    QDir().mkpath(folder);
    const QString path = folder + u'/' + name;
    QFile::remove(path);
    // Painting happens right after mapping; give it a moment.
    QTest::qWait(300);
    session.run(QStringLiteral("import"),
                {QStringLiteral("-frame"), QStringLiteral("-window"), window, path});
    return QImage(path);
}

/// The `size` × `size` picture among those of a window's _NET_WM_ICON, or a null image.
inline QImage windowIconPicture(const XSession& session, const QString& window, int size)
{
    const QString out = session.run(
        QStringLiteral("xprop"),
        {QStringLiteral("-notype"), QStringLiteral("-f"), QStringLiteral("_NET_WM_ICON"),
         QStringLiteral("32c"), QStringLiteral("-id"), window, QStringLiteral("_NET_WM_ICON")});
    const QStringList values = out.section(u'=', 1).split(u',', Qt::SkipEmptyParts);
    // Width, height and then width × height ARGB values, for each picture in turn.
    for (qsizetype at = 0; at + 2 <= values.size();) {
        const int width = values[at].toInt();
        const int height = values[at + 1].toInt();
        at += 2;
        if (width <= 0 || height <= 0 || at + qsizetype(width) * height > values.size())
            break;
        if (width == size && height == size) {
            QImage picture(size, size, QImage::Format_ARGB32);
            for (int i = 0; i < size * size; ++i)
                picture.setPixel(i % size, i / size, values[at + i].trimmed().toUInt());
            return picture;
        }
        at += qsizetype(width) * height;
    }
    return {};
}

} // namespace corvane::test
