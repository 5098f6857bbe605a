#pragma once

// Starting the measured programs and reading what /proc says about them.

#include "probe.h"

#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace probe {

/// Fresh configuration, runtime and temporary folders for one start, so that no start sees
/// another's lock, socket or settings. The configuration holds corvane.ini.
struct Sandbox
{
    std::string config;
    std::string runtime;
    std::string tmp;

    /// Where the started program's standard error goes.
    std::string logFile() const { return tmp + "/stderr.log"; }
};

/// A new sandbox below `work` (its runtime folder below `runtime`), with the update check on
/// or off in its settings.
Sandbox makeSandbox(const std::string& work, const std::string& runtime, bool autoUpdate);

using Environment = std::map<std::string, std::string>;

/// The probe's own environment without anything of the calling session that could reach the
/// starts (proxies, session manager, Wayland, startup tokens), pointed at `box`.
Environment environmentFor(const Sandbox& box);

struct Child
{
    pid_t pid = -1;
    Nanos started = 0; ///< just before posix_spawn()
    int pidfd = -1;    ///< readable once the process has ended
};

/// Starts `arguments` with `env`; standard input and output are /dev/null, standard error
/// goes to `logFile`.
Child spawn(const std::vector<std::string>& arguments, const Environment& env,
            const std::string& logFile);

/// Waits for the child to end and reaps it; the moment its pidfd turned readable, or nothing
/// at the deadline.
std::optional<Nanos> waitExit(Child& child, Nanos deadline, int* status = nullptr);

/// SIGTERM, and SIGKILL if that does not end it within 3 s.
void stop(Child& child);

struct Memory
{
    double rssMiB = 0; ///< VmRSS
    double hwmMiB = 0; ///< VmHWM
};
Memory memoryOf(pid_t pid);

/// CPU time (on-CPU nanoseconds of every thread alive, from schedstat) and wake-ups
/// (voluntary context switches of every thread alive: each is a sleep that something ended).
struct Cost
{
    Nanos cpu = 0;
    long wakeups = 0;
    long threads = 0;
};
Cost costOf(pid_t pid);

/// True when a file whose path contains `name` is mapped into the process.
bool hasMapped(pid_t pid, const std::string& name);

} // namespace probe
