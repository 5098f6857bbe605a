// Measures the launcher as a process on an X server, side by side with the reference programs
// in the same run. bench/run.sh provides the X server and the program folder; this program
// does the starts, the clicks, the update server and the clock.
//
//   corvane_probe <figure> --ours PATH --reference PATH --controls PATH --work DIR
//                          [--stamp PATH] [--runtime DIR] [--runs N] [--warmup N]
//
// Figures: startup, idle, toolstart, update (see measurements.h). Each prints table rows to
// standard output and every sample to standard error (see figures.h). Times are taken from
// the monotonic clock: a start is timed from just before its posix_spawn(), a window from the
// moment its MapNotify is read.

#include "measurements.h"

#include <QCoreApplication>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace probe {

void fail(const std::string& what)
{
    std::fprintf(stderr, "probe: %s\n", what.c_str());
    std::exit(2);
}

namespace {

Options parseOptions(int argc, char* argv[])
{
    Options options;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const std::string value = argv[i + 1];
        if (key == "--ours")
            options.ours = value;
        else if (key == "--reference")
            options.reference = value;
        else if (key == "--controls")
            options.controls = value;
        else if (key == "--stamp")
            options.stamp = value;
        else if (key == "--work")
            options.work = value;
        else if (key == "--runtime")
            options.runtime = value;
        else if (key == "--runs")
            options.runs = std::max(1, std::atoi(value.c_str()));
        else if (key == "--warmup")
            options.warmup = std::max(0, std::atoi(value.c_str()));
        else
            fail("unknown option " + key);
    }
    if (options.ours.empty() || options.reference.empty() || options.controls.empty() ||
        options.work.empty())
        fail("--ours, --reference, --controls and --work are needed");
    if (options.runtime.empty())
        options.runtime = options.work;
    return options;
}

} // namespace

} // namespace probe

int main(int argc, char* argv[])
{
    using namespace probe;
    std::signal(SIGPIPE, SIG_IGN);
    if (argc < 2)
        fail("usage: corvane_probe <figure> --ours PATH --reference PATH --controls PATH "
             "--work DIR [--stamp PATH] [--runtime DIR] [--runs N] [--warmup N]");
    const std::string figure = argv[1];
    const Options options = parseOptions(argc, argv);
    // The update server runs an event loop on a thread of its own, which needs the object.
    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    if (figure == "startup")
        measureStartup(options);
    else if (figure == "idle")
        measureIdle(options);
    else if (figure == "toolstart")
        measureToolStart(options);
    else if (figure == "update")
        measureUpdate(options);
    else
        fail("unknown figure " + figure);
    return 0;
}
