#include "platform/platform.h"

#include <QProcess>

namespace corvane::platform {

bool startDetached(const QString& program, const QStringList& arguments)
{
    // QProcess::startDetached execs the file directly with this argument list (no shell) and
    // double-forks, so the tool is reparented away from us and leaves no zombie behind.
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    return process.startDetached();
}

} // namespace corvane::platform
