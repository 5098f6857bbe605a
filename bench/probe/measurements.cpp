#include "measurements.h"

#include "figures.h"
#include "process.h"
#include "testhttpserver.h"
#include "xserver.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace probe {

namespace {

// A port on 127.0.0.1 that refuses every connection (bound, never listening): the update
// check's proxy in a session without a network.
class RefusedPort
{
public:
    RefusedPort()
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            fail("cannot bind a port on 127.0.0.1");
        m_port = ntohs(address.sin_port);
    }
    ~RefusedPort() { ::close(m_fd); }
    RefusedPort(const RefusedPort&) = delete;
    RefusedPort& operator=(const RefusedPort&) = delete;

    std::string url() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/"; }

private:
    int m_fd = -1;
    int m_port = 0;
};

struct Start
{
    Child child;
    Window window = 0;
    Nanos mapped = 0; ///< when its MapNotify was read
};

// Starts a program in a fresh sandbox and waits (20 s at most) for its window.
Start startAndWait(XServer& x, const Options& options, const std::vector<std::string>& arguments,
                   bool autoUpdate, const Environment& extra = {})
{
    const Sandbox box = makeSandbox(options.work, options.runtime, autoUpdate);
    Environment env = environmentFor(box);
    for (const auto& [name, value] : extra)
        env[name] = value;
    Start start;
    start.child = spawn(arguments, env, box.logFile());
    const auto mapped = x.waitMapped(start.child.pid, now() + 20 * Second);
    if (!mapped) {
        stop(start.child);
        fail("no window from " + arguments[0] + " (see " + box.logFile() + ")");
    }
    start.window = mapped->first;
    start.mapped = mapped->second;
    return start;
}

// The four programs of the start-up and idle figures, started in turn in every round.
enum Program { OursOff, OursOn, Bare, Controls };
constexpr int ProgramCount = 4;

struct Contender
{
    const char* name;
    bool autoUpdate;
};
constexpr std::array<Contender, ProgramCount> Contenders{{
    {"ours, update check off", false},
    {"ours, update check on", true},
    {"bare reference", false},
    {"reference with the controls", false},
}};

std::string programOf(const Options& options, int which)
{
    return which == Bare ? options.reference : which == Controls ? options.controls : options.ours;
}

// Rows comparing `ours` with `reference` pair by pair: as ratios (start times) or differences.
void ratioRow(const std::string& figure, const std::vector<double>& ours,
              const std::vector<double>& reference, const std::string& target,
              std::optional<double> limit)
{
    const std::vector<double> ratios = pairedRatios(ours, reference);
    const double ofMedians =
        spreadOf(reference).median > 0 ? spreadOf(ours).median / spreadOf(reference).median : 0.0;
    row(figure, withRange(ours, 1, "ms"), withRange(reference, 1, "ms"),
        "paired ratio " + withRange(ratios, 2, "") + "; ratio of medians " + num(ofMedians, 2),
        target, limit ? std::optional<bool>(spreadOf(ratios).median <= *limit) : std::nullopt);
}

void differenceRow(const std::string& figure, const std::vector<double>& ours,
                   const std::vector<double>& reference, int decimals, const std::string& unit,
                   const std::string& target, std::optional<double> limit)
{
    const std::vector<double> differences = pairedDifferences(ours, reference);
    const double ofMedians = spreadOf(ours).median - spreadOf(reference).median;
    row(figure, withRange(ours, decimals, unit), withRange(reference, decimals, unit),
        "paired " + withRange(differences, decimals, unit, true) + "; of medians " +
            num(ofMedians, decimals, true) + (unit.empty() ? "" : " ") + unit,
        target, limit ? std::optional<bool>(spreadOf(differences).median <= *limit) : std::nullopt);
}

} // namespace

void measureStartup(const Options& options)
{
    XServer x;
    const RefusedPort refused;
    const Environment proxy{{"http_proxy", refused.url()}};
    struct Series
    {
        std::vector<double> start, cpu, rss, hwm, threads;
        int moduleMapped = 0;
    };
    std::array<Series, ProgramCount> series;
    for (int round = 0; round < options.warmup + options.runs; ++round) {
        // Each program takes every place in the order equally often.
        for (int k = 0; k < ProgramCount; ++k) {
            const int which = (round + k) % ProgramCount;
            Start s = startAndWait(x, options, {programOf(options, which)},
                                   Contenders[which].autoUpdate, proxy);
            const Cost untilMapped = costOf(s.child.pid);
            x.idleUntil(s.mapped + Second);
            const Memory memory = memoryOf(s.child.pid);
            const Cost later = costOf(s.child.pid);
            const bool moduleMapped = hasMapped(s.child.pid, "libcorvane_http");
            stop(s.child);
            if (round < options.warmup)
                continue;
            Series& mine = series[static_cast<std::size_t>(which)];
            mine.start.push_back(toMs(s.mapped - s.child.started));
            mine.cpu.push_back(toMs(untilMapped.cpu));
            mine.rss.push_back(memory.rssMiB);
            mine.hwm.push_back(memory.hwmMiB);
            mine.threads.push_back(static_cast<double>(later.threads));
            mine.moduleMapped += moduleMapped;
        }
    }
    for (int which = 0; which < ProgramCount; ++which) {
        const Series& mine = series[static_cast<std::size_t>(which)];
        const std::string name = Contenders[static_cast<std::size_t>(which)].name;
        printSamples("start to mapped window (ms), " + name, mine.start, 1);
        printSamples("CPU time until mapped (ms), " + name, mine.cpu, 1);
        printSamples("VmRSS 1 s after mapped (MiB), " + name, mine.rss, 1);
        printSamples("VmHWM 1 s after mapped (MiB), " + name, mine.hwm, 1);
        printSamples("threads 1 s after mapped, " + name, mine.threads, 0);
    }
    std::fprintf(stderr, "HTTP module mapped 1 s after mapped, ours with the check on: %d of %d\n",
                 series[OursOn].moduleMapped, options.runs);

    const Series& on = series[OursOn];
    const Series& off = series[OursOff];
    const Series& bare = series[Bare];
    const Series& controls = series[Controls];
    ratioRow("start to mapped, check on (default) / bare reference", on.start, bare.start,
             "paired ratio ≤ 1.10", 1.10);
    ratioRow("start to mapped, check on (default) / reference with the controls", on.start,
             controls.start, "paired ratio ≤ 1.05", 1.05);
    ratioRow("start to mapped, check off / bare reference", off.start, bare.start, "-", {});
    ratioRow("start to mapped, check off / reference with the controls", off.start, controls.start,
             "-", {});
    ratioRow("start to mapped, reference with the controls / bare reference", controls.start,
             bare.start, "-", {});
    ratioRow("CPU time until mapped, check on / reference with the controls", on.cpu, controls.cpu,
             "-", {});
    ratioRow("CPU time until mapped, check off / reference with the controls", off.cpu,
             controls.cpu, "-", {});
    ratioRow("CPU time until mapped, reference with the controls / bare reference", controls.cpu,
             bare.cpu, "-", {});
    differenceRow("VmRSS 1 s after mapped, check on (default) − bare reference", on.rss, bare.rss,
                  1, "MiB", "≤ +3 MiB", 3.0);
    differenceRow("VmRSS 1 s after mapped, check off − bare reference", off.rss, bare.rss, 1, "MiB",
                  "-", {});
    differenceRow("VmRSS 1 s after mapped, reference with the controls − bare reference",
                  controls.rss, bare.rss, 1, "MiB", "-", {});
    differenceRow("VmHWM, check on (default) − bare reference", on.hwm, bare.hwm, 1, "MiB", "-",
                  {});
}

void measureIdle(const Options& options)
{
    XServer x;
    const RefusedPort refused;
    const Environment proxy{{"http_proxy", refused.url()}};
    // [program]: from mapping to 10 s after it, and from 1 s to 11 s after it
    std::array<std::vector<double>, ProgramCount> cpu, wake, cpuLate, wakeLate;
    for (int round = 0; round < options.runs; ++round) {
        std::array<Start, ProgramCount> s;
        std::array<Cost, ProgramCount> atMap;
        for (int k = 0; k < ProgramCount; ++k) {
            const auto which = static_cast<std::size_t>((round + k) % ProgramCount);
            s[which] = startAndWait(x, options, {programOf(options, static_cast<int>(which))},
                                    Contenders[which].autoUpdate, proxy);
            atMap[which] = costOf(s[which].child.pid);
        }
        // The snapshots in time order: 1 s, 10 s and 11 s after each mapping.
        struct Snapshot
        {
            Nanos at;
            std::size_t which;
            int index;
        };
        std::vector<Snapshot> plan;
        for (std::size_t which = 0; which < ProgramCount; ++which) {
            plan.push_back({s[which].mapped + Second, which, 0});
            plan.push_back({s[which].mapped + 10 * Second, which, 1});
            plan.push_back({s[which].mapped + 11 * Second, which, 2});
        }
        std::sort(plan.begin(), plan.end(),
                  [](const Snapshot& a, const Snapshot& b) { return a.at < b.at; });
        std::array<std::array<Cost, 3>, ProgramCount> taken;
        for (const Snapshot& snap : plan) {
            x.idleUntil(snap.at);
            taken[snap.which][static_cast<std::size_t>(snap.index)] =
                costOf(s[snap.which].child.pid);
        }
        for (std::size_t which = 0; which < ProgramCount; ++which) {
            cpu[which].push_back(toMs(taken[which][1].cpu - atMap[which].cpu));
            wake[which].push_back(
                static_cast<double>(taken[which][1].wakeups - atMap[which].wakeups));
            cpuLate[which].push_back(toMs(taken[which][2].cpu - taken[which][0].cpu));
            wakeLate[which].push_back(
                static_cast<double>(taken[which][2].wakeups - taken[which][0].wakeups));
            stop(s[which].child);
        }
    }
    for (std::size_t which = 0; which < ProgramCount; ++which) {
        const std::string name = Contenders[which].name;
        printSamples("idle CPU 0-10 s (ms), " + name, cpu[which], 2);
        printSamples("idle wake-ups 0-10 s, " + name, wake[which], 0);
        printSamples("idle CPU 1-11 s (ms), " + name, cpuLate[which], 2);
        printSamples("idle wake-ups 1-11 s, " + name, wakeLate[which], 0);
    }

    // The first 10 s hold the first paint, which the reference with the controls has as well.
    // schedstat counts nanoseconds; below 0.5 ms there is no CPU time to speak of.
    differenceRow("idle CPU 0–10 s after mapped, check off − reference with the controls",
                  cpu[OursOff], cpu[Controls], 2, "ms", "≤ +0.5 ms", 0.5);
    differenceRow("idle CPU 0–10 s after mapped, check on − reference with the controls",
                  cpu[OursOn], cpu[Controls], 2, "ms", "-", {});
    differenceRow("idle wake-ups 0–10 s after mapped, check off − reference with the controls",
                  wake[OursOff], wake[Controls], 0, "", "≤ +0", 0.0);
    // Once the first paint is long done nothing may run at all: no timer, no thread.
    for (const Program which : {OursOff, OursOn}) {
        const std::string name = which == OursOff ? "check off" : "check on";
        row("idle CPU 1–11 s after mapped, " + name, withRange(cpuLate[which], 2, "ms"),
            withRange(cpuLate[Controls], 2, "ms"), "-", "0 ms in every round",
            spreadOf(cpuLate[which]).high == 0.0);
        row("idle wake-ups 1–11 s after mapped, " + name, withRange(wakeLate[which], 0, ""),
            withRange(wakeLate[Controls], 0, ""), "-", "0 in every round",
            spreadOf(wakeLate[which]).high == 0.0);
    }
}

// From the click (the button's release, which is what starts a tool) to the stand-in's exec.
// The stand-in is the stamp tool under the name of the first row's first tool.
void measureToolStart(const Options& options)
{
    XServer x;
    FakeInput input(x.display());
    const std::string fifo = options.work + "/stamp.fifo";
    ::unlink(fifo.c_str());
    if (::mkfifo(fifo.c_str(), 0600) != 0)
        fail("cannot make " + fifo);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const int keepOpen = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC); // no end of file between
    if (reader < 0 || keepOpen < 0)
        fail("cannot open " + fifo);
    const Environment extra{{"CORVANE_BENCH_STAMP", fifo}};

    Start s[2];
    s[0] = startAndWait(x, options, {options.ours}, false, extra);
    s[1] = startAndWait(x, options, {options.reference, "--tool", options.stamp}, false, extra);
    const XServer::Rect area[2] = {x.geometry(s[0].window), x.geometry(s[1].window)};
    // The launcher: the middle of the first tool's picture, below the menu bar. The reference:
    // the middle of its window.
    const int menuBar = area[0].height - 379;
    const int point[2][2] = {{area[0].x + 8 + 89 / 2, area[0].y + menuBar + 8 + 48 / 2},
                             {area[1].x + area[1].width / 2, area[1].y + area[1].height / 2}};
    for (int which = 0; which < 2; ++which) {
        std::fprintf(stderr, "tool start: %s window at %d,%d size %dx%d, click at %d,%d\n",
                     which == 0 ? "ours" : "reference", area[which].x, area[which].y,
                     area[which].width, area[which].height, point[which][0], point[which][1]);
        if (!area[which].contains(point[which][0], point[which][1]) ||
            area[1 - which].contains(point[which][0], point[which][1]))
            fail("the two windows overlap where the clicks go; use a wider screen");
    }

    auto drain = [reader] {
        char buffer[4096];
        while (::read(reader, buffer, sizeof buffer) > 0) {
        }
    };
    std::vector<double> elapsed[2];
    for (int run = 0; run < options.warmup + options.runs; ++run) {
        for (int k = 0; k < 2; ++k) {
            const int which = (run + k) % 2;
            // Well beyond the double-click interval (400 ms), so that every press is a new
            // click: the launcher rightly starts nothing on a double click's second press.
            input.moveTo(point[which][0], point[which][1]);
            x.idleUntil(now() + 600 * Millisecond);
            drain();
            input.button(true);
            x.idleUntil(now() + 50 * Millisecond);
            const Nanos clicked = now();
            input.button(false);
            pollfd entry{reader, POLLIN, 0};
            std::string line;
            const Nanos deadline = now() + 3 * Second;
            while (line.find('\n') == std::string::npos && now() < deadline) {
                ::poll(&entry, 1, 100);
                char buffer[256];
                const ssize_t n = ::read(reader, buffer, sizeof buffer);
                if (n > 0)
                    line.append(buffer, static_cast<std::size_t>(n));
            }
            if (line.find('\n') == std::string::npos)
                fail(std::string("no tool started from ") + (which == 0 ? "ours" : "reference"));
            const std::size_t dot = line.find('.');
            const Nanos execAt =
                std::atoll(line.c_str()) * Second + std::atoll(line.c_str() + dot + 1);
            if (run >= options.warmup)
                elapsed[which].push_back(toMs(execAt - clicked));
        }
    }
    stop(s[0].child);
    stop(s[1].child);
    ::close(reader);
    ::close(keepOpen);

    printSamples("tool start (ms), ours", elapsed[0], 2);
    printSamples("tool start (ms), bare reference", elapsed[1], 2);
    const Spread o = spreadOf(elapsed[0]);
    row("tool start (click to tool exec)", withRange(elapsed[0], 2, "ms"),
        withRange(elapsed[1], 2, "ms"),
        "paired " + withRange(pairedDifferences(elapsed[0], elapsed[1]), 2, "ms", true), "≤ 10 ms",
        o.median <= 10.0);
}

// The server answers "5.2" at once. The launcher arms a 100 ms timer when the answer names a
// newer version, so the prompt follows the answer by that much and what it takes to show.
void measureUpdate(const Options& options)
{
    XServer x;
    TestHttpServer server;
    TestRoute answer;
    answer.body = "5.2";
    server.setRoute("/update.ini", answer);
    const Environment extra{{"http_proxy", server.url(QStringLiteral("/")).toStdString()}};
    std::vector<double> requestAfterMap;
    std::vector<double> promptAfterRequest;
    for (int run = 0; run < options.warmup + options.runs; ++run) {
        const int before = server.requestCount();
        Start s = startAndWait(x, options, {options.ours}, true, extra);
        // The request's arrival is polled between the X events, to a millisecond or two.
        std::optional<Nanos> requested;
        std::optional<std::pair<Window, Nanos>> prompt;
        const Nanos deadline = now() + 10 * Second;
        while (!prompt && now() < deadline) {
            prompt = x.waitMapped(s.child.pid, std::min(deadline, now() + Millisecond), s.window);
            if (!requested && server.requestCount() > before)
                requested = now();
        }
        ::kill(s.child.pid, SIGKILL);
        waitExit(s.child, now() + 5 * Second);
        if (!prompt || !requested)
            fail("no update request and prompt within 10 s");
        if (run >= options.warmup) {
            requestAfterMap.push_back(toMs(*requested - s.mapped));
            promptAfterRequest.push_back(toMs(prompt->second - *requested));
        }
    }
    printSamples("update request at the server after mapped (ms)", requestAfterMap, 1);
    printSamples("update prompt mapped after the request (ms)", promptAfterRequest, 1);
    row("update check: window mapped to request at the server", withRange(requestAfterMap, 1, "ms"),
        "-", "after the first frame", "-", {});
    const double median = spreadOf(promptAfterRequest).median;
    row("update check: answer to prompt shown", withRange(promptAfterRequest, 1, "ms"),
        "100 ms timer", num(median - 100.0, 1, true) + " ms beyond the timer",
        "≤ 100 ms beyond the timer", median <= 200.0);
}

} // namespace probe
