#include "platform/platform.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <algorithm>

namespace corvane::platform {

bool startDetached(const QString& program, const QStringList& arguments)
{
    // QProcess::startDetached execs the file directly with this argument list (no shell) and
    // double-forks, so the tool is reparented away from us and leaves no zombie behind.
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    // A desktop's activation token is good for one window: a tool that found one would
    // present it as its own, or tell the desktop that a start long over has ended.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DESKTOP_STARTUP_ID"));
    environment.remove(QStringLiteral("XDG_ACTIVATION_TOKEN"));
    process.setProcessEnvironment(environment);
    return process.startDetached();
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
