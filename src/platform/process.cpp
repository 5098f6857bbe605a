#include "platform/platform.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <unistd.h>
#include <utility>

namespace corvane::platform {

namespace {

// How long the desktop's tools are watched. They answer within a fraction of a second; one
// that has not answered by then is stuck, or, for an opener, busy with the file it opened.
constexpr int AnswerMs = 3000;
// An answer is the name of a desktop entry; whatever comes beyond this is not kept.
constexpr qsizetype MaxAnswerBytes = 4096;

QProcessEnvironment environmentForChildren()
{
    // A desktop's activation token is good for one window: a program that found one would
    // present it as its own, or tell the desktop that a start long over has ended.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DESKTOP_STARTUP_ID"));
    environment.remove(QStringLiteral("XDG_ACTIVATION_TOKEN"));
    return environment;
}

/// One of the desktop's tools run as a child of this process and watched from the event loop,
/// which never waits for it. It lives as a child of the object that asked, and a child still
/// running when that object goes is ended with it.
class DesktopTool final : public QObject
{
public:
    enum class Kind {
        Query, ///< its output is the answer; ended with everything it started when late
        Opener ///< its status is the answer; when late it counts as at work and runs on
    };
    using Done = std::function<void(bool succeeded, const QByteArray& output)>;

    DesktopTool(QObject* context, Kind kind, const QString& program, const QStringList& arguments,
                Done done)
        : QObject(context)
        , m_kind(kind)
        , m_done(std::move(done))
    {
        m_process.setProgram(program);
        m_process.setArguments(arguments);
        m_process.setStandardInputFile(QProcess::nullDevice());
        m_process.setProcessEnvironment(environmentForChildren());
        if (kind == Kind::Query) {
            m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            // In a group of its own, so that what it starts (a reader stuck on a pipe) can be
            // ended with it.
            m_process.setChildProcessModifier([] { ::setpgid(0, 0); });
            connect(&m_process, &QProcess::readyReadStandardOutput, this, [this] {
                const QByteArray chunk = m_process.readAllStandardOutput();
                m_output += chunk.first(std::min(chunk.size(), MaxAnswerBytes - m_output.size()));
            });
        } else {
            m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        }
        connect(&m_process, &QProcess::finished, this,
                [this](int code, QProcess::ExitStatus status) {
                    report(status == QProcess::NormalExit && code == 0);
                    deleteLater();
                });
        // Queued: a program that is not there fails within start(), before anyone could
        // be told.
        connect(
            &m_process, &QProcess::errorOccurred, this,
            [this](QProcess::ProcessError error) {
                if (error != QProcess::FailedToStart)
                    return;
                report(false);
                deleteLater();
            },
            Qt::QueuedConnection);
        m_late.setSingleShot(true);
        connect(&m_late, &QTimer::timeout, this, [this] {
            if (m_kind == Kind::Opener) {
                report(true); // kept until it ends, so that it leaves no zombie
                return;
            }
            end();
            report(false);
            deleteLater();
        });
        m_late.start(AnswerMs);
        m_process.start();
    }

    ~DesktopTool() override { end(); }
    DesktopTool(const DesktopTool&) = delete;
    DesktopTool& operator=(const DesktopTool&) = delete;

private:
    /// Ends the program, with its group for a query, and reaps it.
    void end()
    {
        m_process.disconnect(this);
        if (m_process.state() == QProcess::NotRunning)
            return;
        if (m_kind == Kind::Query)
            ::kill(-static_cast<pid_t>(m_process.processId()), SIGKILL);
        else
            m_process.kill();
        m_process.waitForFinished(1000);
    }

    /// Hands the answer over once, from the event loop and only while the object that asked
    /// is still there: what it does with it may well outlast this object.
    void report(bool succeeded)
    {
        m_late.stop();
        if (Done done = std::exchange(m_done, nullptr))
            QMetaObject::invokeMethod(
                parent(), [done, succeeded, output = m_output] { done(succeeded, output); },
                Qt::QueuedConnection);
    }

    Kind m_kind;
    Done m_done;
    QProcess m_process;
    QTimer m_late;
    QByteArray m_output;
};

} // namespace

bool startDetached(const QString& program, const QStringList& arguments)
{
    // QProcess::startDetached execs the file directly with this argument list (no shell) and
    // double-forks, so the tool is reparented away from us and leaves no zombie behind.
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setProcessEnvironment(environmentForChildren());
    return process.startDetached();
}

void findDefaultApplication(const QString& mimeType, QObject* context,
                            std::function<void(bool found)> done)
{
    // The lookup xdg-open itself makes, so that the answer is what the opener will do. It
    // is the desktop's own where it has one (GNOME's, KDE's), which also passes over entries
    // whose program is gone; its generic lookup does so for the defaults only, and an opener
    // that then fails says so through its status.
    new DesktopTool(context, DesktopTool::Kind::Query, QStringLiteral("xdg-mime"),
                    {QStringLiteral("query"), QStringLiteral("default"), mimeType},
                    [done = std::move(done)](bool succeeded, const QByteArray& output) {
                        done(succeeded && !output.trimmed().isEmpty());
                    });
}

void openFile(const QString& path, QObject* context, std::function<void(bool opened)> done)
{
    new DesktopTool(
        context, DesktopTool::Kind::Opener, QStringLiteral("xdg-open"), {path},
        [done = std::move(done)](bool succeeded, const QByteArray&) { done(succeeded); });
}

bool lacksDisplay()
{
    for (const char* name : {"WAYLAND_DISPLAY", "WAYLAND_SOCKET", "DISPLAY"}) {
        if (!qEnvironmentVariableIsEmpty(name))
            return false;
    }
    // The platform names, with their options, as Qt reads them: "xcb", "wayland;xcb",
    // "xcb:option=value". Without one Qt picks a window system, which needs a display.
    const QString platforms = qEnvironmentVariable("QT_QPA_PLATFORM");
    const QStringList names = platforms.split(u';', Qt::SkipEmptyParts);
    return std::all_of(names.begin(), names.end(), [](const QString& name) {
        return name.startsWith(u"xcb") || name.startsWith(u"wayland");
    });
}

} // namespace corvane::platform
