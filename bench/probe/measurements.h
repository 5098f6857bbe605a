#pragma once

// The figures the probe takes, each side by side with the reference programs in the same run.

#include <string>

namespace probe {

struct Options
{
    std::string ours;      ///< the launcher in its private program folder
    std::string reference; ///< the bare reference program
    std::string controls;  ///< the reference with the launcher's controls
    std::string stamp;     ///< the stamp tool (for the reference's tool start)
    std::string work;      ///< a private folder for the runs' configuration and temporary folders
    std::string runtime;   ///< where the runs' runtime folders go (tmpfs, as on a desktop)
    int runs = 21;
    int warmup = 2;
};

/// Start to mapped window, CPU time until then and memory 1 s later, for the launcher with
/// the update check off and on and for both references, in rounds of one start each.
void measureStartup(const Options& options);
/// CPU time and wake-ups from mapping to 10 s after it and from 1 s to 11 s after it, the
/// four programs of measureStartup() left alone together.
void measureIdle(const Options& options);
/// From the click on the first tool to the tool's exec, and the same for the bare reference.
void measureToolStart(const Options& options);
/// The update check against a server that names a newer version: when the request arrives,
/// and from the answer to the prompt on the screen.
void measureUpdate(const Options& options);

} // namespace probe
