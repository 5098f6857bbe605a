#pragma once

// Starting one of the suite's tools: its program lies in the launcher's program folder and
// runs on its own, with the tool's mode word as its one argument.

#include <QString>

namespace corvane {

struct ToolStart
{
    enum Outcome { Started, Missing, NotStarted };
    Outcome outcome;
    QString path; ///< the program's full path
};

/// Starts `fileName` of `programFolder` (which ends in '/') with `argument`, none when it is
/// empty, and does not wait for it. Missing when the path names no regular file, NotStarted
/// when the file is there but could not be started.
ToolStart startTool(const QString& programFolder, const QString& fileName, const QString& argument);

} // namespace corvane
