#include "app/toolstarter.h"

#include "platform/platform.h"

namespace corvane {

ToolStart startTool(const QString& programFolder, const QString& fileName, const QString& argument)
{
    // Formed from the executable's own folder every time, so the current directory never
    // decides which file runs.
    const QString path = programFolder + fileName;
    if (!platform::isRegularFile(path))
        return {ToolStart::Missing, path};
    if (!platform::startDetached(path, argument.isEmpty() ? QStringList() : QStringList{argument}))
        return {ToolStart::NotStarted, path};
    return {ToolStart::Started, path};
}

} // namespace corvane
