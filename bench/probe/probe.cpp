// Measures the launcher as a process on an X server, side by side with the reference program
// in the same run: start to mapped window, memory, idle cost, a second start's hand-over, the
// tool start, closing while the update server stalls, and the update check. bench/run.sh
// provides the X server, the window manager and the program folder; this program does the
// starts, the clicks and the clock.
//
//   corvane_probe <figure> [--ours PATH] [--reference PATH] [--stamp PATH] [--work DIR]
//                          [--runtime DIR] [--runs N] [--warmup N]
//
// Figures: startup, startup-update, idle, toolstart, close, update, handover (this one needs a
// window manager). Each prints one or more table rows to standard output,
//   ROW <tab> figure <tab> ours <tab> reference <tab> comparison <tab> target <tab> met
// and every sample to standard error. Times are taken from the monotonic clock: a start is
// timed from just before its posix_spawn(), a window from the moment its MapNotify is read.

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <functional>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Nanos = std::int64_t;
constexpr Nanos Millisecond = 1'000'000;
constexpr Nanos Second = 1'000 * Millisecond;

Nanos now()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return Nanos(ts.tv_sec) * Second + ts.tv_nsec;
}

double toMs(Nanos n)
{
    return static_cast<double>(n) / 1e6;
}

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "probe: %s\n", what.c_str());
    std::exit(2);
}

void sleepFor(Nanos n)
{
    if (n <= 0)
        return;
    timespec ts{static_cast<time_t>(n / Second), static_cast<long>(n % Second)};
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

// `value` with `decimals` decimals, with its sign when `sign`.
std::string num(double value, int decimals, bool sign = false)
{
    char text[64];
    std::snprintf(text, sizeof text, sign ? "%+.*f" : "%.*f", decimals, value);
    return text;
}

std::string samples(const std::vector<double>& values, int decimals = 1)
{
    std::string out;
    for (double v : values)
        out += (out.empty() ? "" : " ") + num(v, decimals);
    return out;
}

void row(const std::string& figure, const std::string& ours, const std::string& reference,
         const std::string& comparison, const std::string& target, bool met)
{
    std::printf("ROW\t%s\t%s\t%s\t%s\t%s\t%s\n", figure.c_str(), ours.c_str(), reference.c_str(),
                comparison.c_str(), target.c_str(), met ? "yes" : "no");
    std::fflush(stdout);
}

// ---- Options ---------------------------------------------------------------------------------

struct Options
{
    std::string figure;
    std::string ours;      // the launcher in its private program folder
    std::string reference; // the reference program
    std::string stamp;     // the stamp tool (for the reference's tool start)
    std::string work;      // a private folder for the runs' configuration and temporary folders
    std::string runtime;   // where the runs' runtime folders go (tmpfs, as on a desktop)
    int runs = 15;
    int warmup = 2;
};

Options parseOptions(int argc, char* argv[])
{
    if (argc < 2)
        fail("usage: corvane_probe <figure> [--ours PATH] [--reference PATH] [--stamp PATH] "
             "[--work DIR] [--runtime DIR] [--runs N] [--warmup N]");
    Options options;
    options.figure = argv[1];
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const std::string value = argv[i + 1];
        if (key == "--ours")
            options.ours = value;
        else if (key == "--reference")
            options.reference = value;
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
    if (options.work.empty())
        fail("--work is needed");
    if (options.runtime.empty())
        options.runtime = options.work;
    return options;
}

// ---- Processes ---------------------------------------------------------------------------------

// Fresh configuration, runtime and temporary folders for one start, so that no start sees
// another's lock, socket or settings.
struct Sandbox
{
    std::string config;
    std::string runtime;
    std::string tmp;
};

void writeFile(const std::string& path, const std::string& text)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        fail("cannot write " + path);
    ::close(fd);
}

Sandbox makeSandbox(const Options& options, bool autoUpdate)
{
    std::string root = options.work + "/run-XXXXXX";
    if (!::mkdtemp(root.data()))
        fail("cannot make a folder in " + options.work);
    std::string runtime = options.runtime + "/runtime-XXXXXX";
    if (!::mkdtemp(runtime.data()))
        fail("cannot make a folder in " + options.runtime);
    Sandbox box{root + "/config", runtime, root + "/tmp"};
    for (const std::string& folder : {box.config, box.tmp}) {
        if (::mkdir(folder.c_str(), 0700) != 0)
            fail("cannot make " + folder);
    }
    writeFile(box.config + "/corvane.ini", std::string("[Corvane]\r\nAutoUpdate=") +
                                               (autoUpdate ? "1" : "0") + "\r\nAutoClose=0\r\n");
    return box;
}

using Environment = std::map<std::string, std::string>;

Environment environmentFor(const Sandbox& box)
{
    Environment env;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::size_t equals = text.find('=');
        if (equals != std::string::npos)
            env[text.substr(0, equals)] = text.substr(equals + 1);
    }
    // Nothing from the calling session may reach the starts: no proxy, no session manager, no
    // Wayland display, no startup token.
    for (const char* name :
         {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
          "no_proxy", "NO_PROXY", "SESSION_MANAGER", "WAYLAND_DISPLAY", "DESKTOP_STARTUP_ID",
          "XDG_ACTIVATION_TOKEN", "CORVANE_BENCH_STAMP", "QT_DEBUG_PLUGINS"})
        env.erase(name);
    env["QT_QPA_PLATFORM"] = "xcb";
    env["XDG_CONFIG_HOME"] = box.config;
    env["XDG_RUNTIME_DIR"] = box.runtime;
    env["TMPDIR"] = box.tmp;
    return env;
}

struct Child
{
    pid_t pid = -1;
    Nanos started = 0;
    int pidfd = -1; // readable once the process has ended
};

Child spawn(const std::vector<std::string>& arguments, const Environment& env,
            const std::string& logFile)
{
    std::vector<std::string> envText;
    for (const auto& [name, value] : env)
        envText.push_back(name + '=' + value);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : envText)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0600);
    Child child;
    child.started = now();
    const int error =
        ::posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        fail("cannot start " + arguments[0] + ": " + std::strerror(error));
    child.pidfd = static_cast<int>(::syscall(SYS_pidfd_open, child.pid, 0));
    return child;
}

// Waits for the child to end; the time it ended, or nothing at the deadline. Reaps it.
std::optional<Nanos> waitExit(Child& child, Nanos deadline, int* status = nullptr)
{
    for (;;) {
        int code = 0;
        const pid_t done = ::waitpid(child.pid, &code, WNOHANG);
        if (done == child.pid) {
            const Nanos at = now();
            if (status)
                *status = code;
            if (child.pidfd >= 0)
                ::close(child.pidfd);
            child.pidfd = -1;
            child.pid = -1;
            return at;
        }
        const Nanos left = deadline - now();
        if (left <= 0)
            return std::nullopt;
        if (child.pidfd >= 0) {
            pollfd entry{child.pidfd, POLLIN, 0};
            ::poll(&entry, 1, static_cast<int>(left / Millisecond) + 1);
        } else {
            sleepFor(std::min<Nanos>(left, Millisecond / 5));
        }
    }
}

// The pidfd tells the moment of the exit; waitpid() then reaps.
std::optional<Nanos> waitExitPrecise(Child& child, Nanos deadline, int* status = nullptr)
{
    if (child.pidfd >= 0) {
        pollfd entry{child.pidfd, POLLIN, 0};
        for (;;) {
            const Nanos left = deadline - now();
            if (left <= 0)
                return std::nullopt;
            const int ready = ::poll(&entry, 1, static_cast<int>(left / Millisecond) + 1);
            if (ready > 0) {
                const Nanos at = now();
                waitExit(child, now() + Second, status);
                return at;
            }
        }
    }
    return waitExit(child, deadline, status);
}

// True once the child has ended (without reaping it).
bool hasEnded(const Child& child)
{
    if (child.pidfd >= 0) {
        pollfd entry{child.pidfd, POLLIN, 0};
        return ::poll(&entry, 1, 0) > 0;
    }
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(child.pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == child.pid;
}

void stop(Child& child)
{
    if (child.pid <= 0)
        return;
    ::kill(child.pid, SIGTERM);
    if (!waitExit(child, now() + 3 * Second)) {
        ::kill(child.pid, SIGKILL);
        waitExit(child, now() + 3 * Second);
    }
}

struct Memory
{
    long rssKb = 0;
    long hwmKb = 0;
};

std::string readText(const std::string& path)
{
    std::string text;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<std::size_t>(n));
    ::close(fd);
    return text;
}

long statusField(const std::string& status, const char* name)
{
    const std::string key = std::string("\n") + name + ":";
    const std::size_t at = status.find(key);
    return at == std::string::npos ? -1 : std::atol(status.c_str() + at + key.size());
}

Memory memoryOf(pid_t pid)
{
    const std::string status = "\n" + readText("/proc/" + std::to_string(pid) + "/status");
    return {statusField(status, "VmRSS"), statusField(status, "VmHWM")};
}

// CPU time (on-CPU nanoseconds of every thread alive, from schedstat) and wake-ups (voluntary
// context switches of every thread alive: each is a sleep that something ended).
struct Cost
{
    Nanos cpu = 0;
    long wakeups = 0;
    long threads = 0;
};

Cost costOf(pid_t pid)
{
    Cost cost;
    const std::string base = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = ::opendir(base.c_str());
    if (!dir)
        return cost;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string task = base + '/' + entry->d_name;
        cost.cpu += std::atoll(readText(task + "/schedstat").c_str());
        const std::string status = "\n" + readText(task + "/status");
        cost.wakeups += std::max(0L, statusField(status, "voluntary_ctxt_switches"));
        ++cost.threads;
    }
    ::closedir(dir);
    return cost;
}

// ---- The X server ------------------------------------------------------------------------------

int ignoreXError(Display*, XErrorEvent*)
{
    return 0; // a window may go away between an event and the look at it
}

class XServer
{
public:
    XServer()
    {
        m_display = XOpenDisplay(nullptr);
        if (!m_display)
            fail("cannot open the X display");
        XSetErrorHandler(&ignoreXError);
        m_root = XDefaultRootWindow(m_display);
        XSelectInput(m_display, m_root, SubstructureNotifyMask | PropertyChangeMask);
        m_pidAtom = atom("_NET_WM_PID");
        XSync(m_display, False);
    }
    ~XServer() { XCloseDisplay(m_display); }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    Display* display() const { return m_display; }
    Window root() const { return m_root; }
    Atom atom(const char* name) const { return XInternAtom(m_display, name, False); }

    /// Reads events until `accept` takes one or the deadline passes; the time it was read.
    std::optional<Nanos> waitEvent(Nanos deadline, const std::function<bool(const XEvent&)>& accept)
    {
        for (;;) {
            while (XPending(m_display)) {
                XEvent event;
                XNextEvent(m_display, &event);
                const Nanos at = now();
                if (accept && accept(event))
                    return at;
            }
            const Nanos left = deadline - now();
            if (left <= 0)
                return std::nullopt;
            pollfd entry{XConnectionNumber(m_display), POLLIN, 0};
            ::poll(&entry, 1, static_cast<int>(left / Millisecond) + 1);
        }
    }

    /// Hands every event already received to `each`, with the time it was read.
    void pump(const std::function<void(const XEvent&, Nanos)>& each)
    {
        while (XPending(m_display)) {
            XEvent event;
            XNextEvent(m_display, &event);
            each(event, now());
        }
    }

    /// Keeps reading (and dropping) events until the deadline.
    void idleUntil(Nanos deadline) { waitEvent(deadline, nullptr); }

    std::vector<unsigned long> cardinals(Window window, Atom property) const
    {
        std::vector<unsigned long> values;
        Atom type = 0;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(m_display, window, property, 0, 4096, False, AnyPropertyType, &type,
                               &format, &count, &after, &data) == Success &&
            data && format == 32) {
            const auto* items = reinterpret_cast<const unsigned long*>(data);
            values.assign(items, items + count);
        }
        if (data)
            XFree(data);
        return values;
    }

    long pidOf(Window window) const
    {
        const std::vector<unsigned long> values = cardinals(window, m_pidAtom);
        return values.empty() ? -1 : static_cast<long>(values.front());
    }

    /// A top-level window of `pid` mapped on the root (no window manager), other than `except`.
    std::optional<std::pair<Window, Nanos>> waitMapped(pid_t pid, Nanos deadline, Window except = 0)
    {
        Window found = 0;
        const std::optional<Nanos> at = waitEvent(deadline, [&](const XEvent& event) {
            if (event.type != MapNotify || event.xmap.event != m_root ||
                event.xmap.override_redirect || event.xmap.window == except ||
                pidOf(event.xmap.window) != pid)
                return false;
            found = event.xmap.window;
            return true;
        });
        if (!at)
            return std::nullopt;
        return std::make_pair(found, *at);
    }

    /// Where the window lies on the root, and its size.
    struct Rect
    {
        int x = 0, y = 0, width = 0, height = 0;
        bool contains(int px, int py) const
        {
            return px >= x && py >= y && px < x + width && py < y + height;
        }
    };
    Rect geometry(Window window) const
    {
        Rect rect;
        Window rootReturn = 0;
        Window child = 0;
        int x = 0, y = 0;
        unsigned width = 0, height = 0, border = 0, depth = 0;
        XGetGeometry(m_display, window, &rootReturn, &x, &y, &width, &height, &border, &depth);
        XTranslateCoordinates(m_display, window, m_root, 0, 0, &rect.x, &rect.y, &child);
        rect.width = static_cast<int>(width);
        rect.height = static_cast<int>(height);
        return rect;
    }

    void closeWindow(Window window) const
    {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = atom("WM_PROTOCOLS");
        event.xclient.format = 32;
        event.xclient.data.l[0] = static_cast<long>(atom("WM_DELETE_WINDOW"));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(m_display, window, False, NoEventMask, &event);
        XFlush(m_display);
    }

private:
    Display* m_display = nullptr;
    Window m_root = 0;
    Atom m_pidAtom = 0;
};

// Pointer input through the XTEST extension, which the X server treats as real input.
class FakeInput
{
public:
    explicit FakeInput(Display* display)
        : m_display(display)
    {
        m_library = ::dlopen("libXtst.so.6", RTLD_NOW);
        if (!m_library)
            fail("cannot load libXtst.so.6 (the XTEST client library)");
        m_motion = reinterpret_cast<MotionFn>(::dlsym(m_library, "XTestFakeMotionEvent"));
        m_button = reinterpret_cast<ButtonFn>(::dlsym(m_library, "XTestFakeButtonEvent"));
        if (!m_motion || !m_button)
            fail("libXtst.so.6 lacks the XTEST calls");
    }
    // The library stays loaded: it has hooks in the display connection until that closes.
    ~FakeInput() = default;
    FakeInput(const FakeInput&) = delete;
    FakeInput& operator=(const FakeInput&) = delete;

    void moveTo(int x, int y)
    {
        if (!m_motion(m_display, -1, x, y, CurrentTime))
            fail("XTEST motion refused");
        XSync(m_display, False);
    }
    void button(bool press)
    {
        if (!m_button(m_display, 1, press ? True : False, CurrentTime))
            fail("XTEST button refused");
        XSync(m_display, False);
    }

private:
    using MotionFn = int (*)(Display*, int, int, int, unsigned long);
    using ButtonFn = int (*)(Display*, unsigned int, int, unsigned long);
    Display* m_display;
    void* m_library = nullptr;
    MotionFn m_motion = nullptr;
    ButtonFn m_button = nullptr;
};

// ---- The update server ---------------------------------------------------------------------

// A web server on 127.0.0.1 that the launcher reaches as its HTTP proxy. It either answers
// every request at once with `body`, or reads the request and never answers.
class UpdateServer
{
public:
    enum class Mode { Answer, Stall };

    UpdateServer(Mode mode, std::string body)
        : m_mode(mode)
        , m_body(std::move(body))
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(m_listen, 64) != 0 ||
            ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            fail("cannot listen on 127.0.0.1");
        m_port = ntohs(address.sin_port);
        if (::pipe2(m_wake, O_CLOEXEC) != 0)
            fail("pipe");
        m_thread = std::thread([this] { run(); });
    }

    ~UpdateServer()
    {
        const char byte = 0;
        [[maybe_unused]] const ssize_t ignored = ::write(m_wake[1], &byte, 1);
        m_thread.join();
        for (int fd : {m_listen, m_wake[0], m_wake[1]})
            ::close(fd);
    }
    UpdateServer(const UpdateServer&) = delete;
    UpdateServer& operator=(const UpdateServer&) = delete;

    std::string proxy() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/"; }
    int requests() const { return m_requests.load(); }
    Nanos lastRequestAt() const { return m_lastRequestAt.load(); }

private:
    struct Connection
    {
        int fd;
        std::string request;
        bool answered = false;
    };

    void run()
    {
        std::vector<Connection> connections;
        for (;;) {
            std::vector<pollfd> fds{{m_wake[0], POLLIN, 0}, {m_listen, POLLIN, 0}};
            for (const Connection& c : connections)
                fds.push_back({c.fd, POLLIN, 0});
            ::poll(fds.data(), fds.size(), -1);
            if (fds[0].revents)
                break;
            if (fds[1].revents & POLLIN) {
                const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd >= 0)
                    connections.push_back({fd, {}});
            }
            for (std::size_t i = 2; i < fds.size(); ++i) {
                if (!fds[i].revents)
                    continue;
                Connection& c = connections[i - 2];
                char buffer[4096];
                const ssize_t n = ::read(c.fd, buffer, sizeof buffer);
                if (n <= 0) {
                    ::close(c.fd);
                    c.fd = -1;
                    continue;
                }
                if (c.answered)
                    continue;
                c.request.append(buffer, static_cast<std::size_t>(n));
                if (c.request.find("\r\n\r\n") == std::string::npos)
                    continue;
                c.answered = true;
                m_lastRequestAt = now();
                ++m_requests;
                if (m_mode == Mode::Answer) {
                    const std::string answer =
                        "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                        std::to_string(m_body.size()) + "\r\nConnection: close\r\n\r\n" + m_body;
                    [[maybe_unused]] const ssize_t sent =
                        ::send(c.fd, answer.data(), answer.size(), MSG_NOSIGNAL);
                    ::shutdown(c.fd, SHUT_WR);
                }
            }
            std::erase_if(connections, [](const Connection& c) { return c.fd < 0; });
        }
        for (const Connection& c : connections)
            ::close(c.fd);
    }

    Mode m_mode;
    std::string m_body;
    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    int m_port = 0;
    std::atomic<int> m_requests{0};
    std::atomic<Nanos> m_lastRequestAt{0};
    std::thread m_thread;
};

// ---- The figures -----------------------------------------------------------------------------

struct Program
{
    const char* name;
    std::vector<std::string> arguments;
};

std::string logFileOf(const Sandbox& box)
{
    return box.tmp + "/stderr.log";
}

struct Start
{
    Child child;
    Window window = 0;
    Nanos mapped = 0;
};

// Starts a program in a fresh sandbox and waits (20 s at most) for its window.
Start startAndWait(XServer& x, const Options& options, const std::vector<std::string>& arguments,
                   bool autoUpdate, const Environment& extra = {})
{
    const Sandbox box = makeSandbox(options, autoUpdate);
    Environment env = environmentFor(box);
    for (const auto& [name, value] : extra)
        env[name] = value;
    Start start;
    start.child = spawn(arguments, env, logFileOf(box));
    const auto mapped = x.waitMapped(start.child.pid, now() + 20 * Second);
    if (!mapped) {
        stop(start.child);
        fail("no window from " + arguments[0] + " (see " + logFileOf(box) + ")");
    }
    start.window = mapped->first;
    start.mapped = mapped->second;
    return start;
}

std::string ms1(double v)
{
    return num(v, 1) + " ms";
}

std::string ratio(double ours, double reference)
{
    return reference > 0 ? num(ours / reference, 2) : "-";
}

// Start to mapped window, 15 runs after the warm-up, and the memory 1 s after mapping, taken
// from the same runs. Ours and the reference alternate, each run in the other order.
void figureStartup(const Options& options, bool withUpdateCheck)
{
    XServer x;
    std::unique_ptr<UpdateServer> server;
    Environment extra;
    if (withUpdateCheck) {
        server = std::make_unique<UpdateServer>(UpdateServer::Mode::Answer, "5.1");
        extra["http_proxy"] = server->proxy();
    }
    std::vector<double> start[2];
    std::vector<double> cpu[2]; // CPU time of all threads until mapped: less prone to the load
    std::vector<double> rss[2];
    std::vector<double> hwm[2];
    for (int run = 0; run < options.warmup + options.runs; ++run) {
        for (int k = 0; k < 2; ++k) {
            const int which = (run + k) % 2; // 0: ours, 1: reference
            Start s = startAndWait(x, options, {which == 0 ? options.ours : options.reference},
                                   withUpdateCheck, extra);
            const double elapsed = toMs(s.mapped - s.child.started);
            const Cost untilMapped = costOf(s.child.pid);
            Memory memory;
            if (!withUpdateCheck) {
                x.idleUntil(s.mapped + Second);
                memory = memoryOf(s.child.pid);
            }
            stop(s.child);
            if (run < options.warmup)
                continue;
            start[which].push_back(elapsed);
            cpu[which].push_back(toMs(untilMapped.cpu));
            rss[which].push_back(static_cast<double>(memory.rssKb) / 1024.0);
            hwm[which].push_back(static_cast<double>(memory.hwmKb) / 1024.0);
        }
    }
    const char* label =
        withUpdateCheck ? "start to mapped window, update check on" : "start to mapped window";
    std::fprintf(stderr, "%s, ours (ms): %s\n", label, samples(start[0]).c_str());
    std::fprintf(stderr, "%s, reference (ms): %s\n", label, samples(start[1]).c_str());
    std::fprintf(stderr, "%s, CPU time until mapped, ours (ms): %s\n", label,
                 samples(cpu[0]).c_str());
    std::fprintf(stderr, "%s, CPU time until mapped, reference (ms): %s\n", label,
                 samples(cpu[1]).c_str());
    std::fprintf(stderr, "%s, CPU time until mapped, medians: ours %.1f ms, reference %.1f ms\n",
                 label, median(cpu[0]), median(cpu[1]));
    const double ours = median(start[0]);
    const double reference = median(start[1]);
    row(label, ms1(ours), ms1(reference), "ratio " + ratio(ours, reference), "ratio ≤ 1.15",
        ours <= 1.15 * reference);
    if (withUpdateCheck)
        return;

    std::fprintf(stderr, "VmRSS ours (MiB): %s\n", samples(rss[0]).c_str());
    std::fprintf(stderr, "VmRSS reference (MiB): %s\n", samples(rss[1]).c_str());
    std::fprintf(stderr, "VmHWM ours (MiB): %s\n", samples(hwm[0]).c_str());
    std::fprintf(stderr, "VmHWM reference (MiB): %s\n", samples(hwm[1]).c_str());
    for (const auto& [name, values] :
         {std::pair{"memory VmRSS 1 s after mapped", rss}, std::pair{"memory VmHWM", hwm}}) {
        const double o = median(values[0]);
        const double r = median(values[1]);
        row(name, num(o, 1) + " MiB", num(r, 1) + " MiB", num(o - r, 1, true) + " MiB",
            "≤ reference + 4 MiB", o <= r + 4.0);
    }
}

// CPU time and wake-ups in the 10 s after mapping, with no input, ours and the reference
// side by side in the same 10 s; also from 1 s to 11 s, once the first paint is long done.
void figureIdle(const Options& options)
{
    XServer x;
    std::vector<double> cpu[2], wake[2], cpuLate[2], wakeLate[2];
    for (int run = 0; run < options.runs; ++run) {
        Start s[2];
        Cost atMap[2];
        for (int k = 0; k < 2; ++k) {
            const int which = (run + k) % 2;
            s[which] =
                startAndWait(x, options, {which == 0 ? options.ours : options.reference}, false);
            atMap[which] = costOf(s[which].child.pid);
        }
        // The snapshots in time order: 1 s, 10 s, 11 s after each mapping.
        struct Snapshot
        {
            Nanos at;
            int which;
            int index;
        };
        std::vector<Snapshot> plan;
        for (int which = 0; which < 2; ++which) {
            for (int index = 0; index < 3; ++index) {
                const Nanos offset = index == 0 ? Second : index == 1 ? 10 * Second : 11 * Second;
                plan.push_back({s[which].mapped + offset, which, index});
            }
        }
        std::sort(plan.begin(), plan.end(),
                  [](const Snapshot& a, const Snapshot& b) { return a.at < b.at; });
        Cost taken[2][3];
        for (const Snapshot& snap : plan) {
            x.idleUntil(snap.at);
            taken[snap.which][snap.index] = costOf(s[snap.which].child.pid);
        }
        for (int which = 0; which < 2; ++which) {
            cpu[which].push_back(toMs(taken[which][1].cpu - atMap[which].cpu));
            wake[which].push_back(
                static_cast<double>(taken[which][1].wakeups - atMap[which].wakeups));
            cpuLate[which].push_back(toMs(taken[which][2].cpu - taken[which][0].cpu));
            wakeLate[which].push_back(
                static_cast<double>(taken[which][2].wakeups - taken[which][0].wakeups));
            std::fprintf(stderr, "idle %s: threads %ld at mapping, %ld after 10 s\n",
                         which == 0 ? "ours" : "reference", atMap[which].threads,
                         taken[which][1].threads);
            stop(s[which].child);
        }
    }
    std::fprintf(stderr, "idle CPU 0-10 s ours (ms): %s\n", samples(cpu[0], 2).c_str());
    std::fprintf(stderr, "idle CPU 0-10 s reference (ms): %s\n", samples(cpu[1], 2).c_str());
    std::fprintf(stderr, "idle wake-ups 0-10 s ours: %s\n", samples(wake[0], 0).c_str());
    std::fprintf(stderr, "idle wake-ups 0-10 s reference: %s\n", samples(wake[1], 0).c_str());
    std::fprintf(stderr, "idle CPU 1-11 s ours (ms): %s\n", samples(cpuLate[0], 2).c_str());
    std::fprintf(stderr, "idle CPU 1-11 s reference (ms): %s\n", samples(cpuLate[1], 2).c_str());
    std::fprintf(stderr, "idle wake-ups 1-11 s ours: %s\n", samples(wakeLate[0], 0).c_str());
    std::fprintf(stderr, "idle wake-ups 1-11 s reference: %s\n", samples(wakeLate[1], 0).c_str());

    // The clock of schedstat counts nanoseconds; below 0.5 ms there is no CPU time to speak of.
    auto cpuRow = [](const char* name, const std::vector<double>* values) {
        const double o = median(values[0]);
        const double r = median(values[1]);
        row(name, num(o, 2) + " ms", num(r, 2) + " ms", num(o - r, 2, true) + " ms",
            "0 ms beyond the reference", o - r < 0.5);
    };
    auto wakeRow = [](const char* name, const std::vector<double>* values) {
        const double o = median(values[0]);
        const double r = median(values[1]);
        row(name, num(o, 0), num(r, 0), num(o - r, 0, true), "no timer: none beyond the reference",
            o <= r);
    };
    cpuRow("idle CPU time, 10 s after mapped", cpu);
    wakeRow("idle wake-ups, 10 s after mapped", wake);
    cpuRow("idle CPU time, 1 s to 11 s after mapped", cpuLate);
    wakeRow("idle wake-ups, 1 s to 11 s after mapped", wakeLate);
}

// From the click (the button's release, which is what starts a tool) to the stand-in's exec.
// The stand-in is the stamp tool under the name of the first row's first tool.
void figureToolStart(const Options& options)
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
    XServer::Rect area[2] = {x.geometry(s[0].window), x.geometry(s[1].window)};
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

    std::fprintf(stderr, "tool start ours (ms): %s\n", samples(elapsed[0], 2).c_str());
    std::fprintf(stderr, "tool start reference (ms): %s\n", samples(elapsed[1], 2).c_str());
    const double o = median(elapsed[0]);
    const double r = median(elapsed[1]);
    row("tool start (click to tool exec)", num(o, 2) + " ms", num(r, 2) + " ms",
        num(o - r, 2, true) + " ms", "≤ 10 ms", o <= 10.0);
}

// From the close request to the process's exit while the update server has the request and
// never answers: once by SIGTERM, once by the window manager's close message.
void figureClose(const Options& options)
{
    XServer x;
    UpdateServer server(UpdateServer::Mode::Stall, {});
    const Environment extra{{"http_proxy", server.proxy()}};
    std::vector<double> elapsed[2][2]; // [ours/reference][SIGTERM/close message]
    int stalled = 0;
    for (int run = 0; run < options.warmup + options.runs; ++run) {
        for (int how = 0; how < 2; ++how) {
            for (int k = 0; k < 2; ++k) {
                const int which = (run + k) % 2;
                const int before = server.requests();
                Start s = startAndWait(x, options, {which == 0 ? options.ours : options.reference},
                                       true, extra);
                if (which == 0) {
                    // The request must be with the server: from then on it stalls.
                    const Nanos deadline = now() + 5 * Second;
                    while (server.requests() == before && now() < deadline)
                        x.idleUntil(now() + Millisecond);
                    stalled += server.requests() > before;
                }
                x.idleUntil(now() + 200 * Millisecond);
                const Nanos asked = now();
                if (how == 0)
                    ::kill(s.child.pid, SIGTERM);
                else
                    x.closeWindow(s.window);
                const std::optional<Nanos> ended = waitExitPrecise(s.child, now() + 10 * Second);
                if (!ended) {
                    stop(s.child);
                    std::fprintf(stderr, "close: %s did not end within 10 s\n",
                                 which == 0 ? "ours" : "reference");
                }
                if (run >= options.warmup)
                    elapsed[which][how].push_back(ended ? toMs(*ended - asked) : 10000.0);
            }
        }
    }
    std::fprintf(stderr, "close: %d of %d starts of ours had their request stalled\n", stalled,
                 2 * (options.warmup + options.runs));
    const char* names[2] = {"close with a stalled update server, SIGTERM",
                            "close with a stalled update server, window closed"};
    for (int how = 0; how < 2; ++how) {
        std::fprintf(stderr, "%s, ours (ms): %s\n", names[how],
                     samples(elapsed[0][how], 2).c_str());
        std::fprintf(stderr, "%s, reference (ms): %s\n", names[how],
                     samples(elapsed[1][how], 2).c_str());
        const double o = median(elapsed[0][how]);
        const double r = median(elapsed[1][how]);
        row(names[how], num(o, 1) + " ms", num(r, 1) + " ms", num(o - r, 1, true) + " ms",
            "≤ 100 ms", o <= 100.0 && stalled == 2 * (options.warmup + options.runs));
    }
}

// From the main window being mapped to the update prompt being mapped, the server answering
// "5.2" at once. The launcher arms a 100 ms timer when the answer names a newer version.
void figureUpdate(const Options& options)
{
    XServer x;
    UpdateServer server(UpdateServer::Mode::Answer, "5.2");
    const Environment extra{{"http_proxy", server.proxy()}};
    std::vector<double> elapsed;
    std::vector<double> requestAfterMap;
    for (int run = 0; run < options.warmup + options.runs; ++run) {
        Start s = startAndWait(x, options, {options.ours}, true, extra);
        const auto prompt = x.waitMapped(s.child.pid, now() + 10 * Second, s.window);
        if (!prompt) {
            stop(s.child);
            fail("no update prompt within 10 s");
        }
        if (run >= options.warmup) {
            elapsed.push_back(toMs(prompt->second - s.mapped));
            requestAfterMap.push_back(toMs(server.lastRequestAt() - s.mapped));
        }
        ::kill(s.child.pid, SIGKILL);
        waitExit(s.child, now() + 5 * Second);
    }
    std::fprintf(stderr, "update prompt after mapped (ms): %s\n", samples(elapsed).c_str());
    std::fprintf(stderr, "request at the server after mapped (ms): %s\n",
                 samples(requestAfterMap).c_str());
    const double o = median(elapsed);
    row("update check (window shown to prompt shown)", ms1(o), "100 ms timer",
        num(o - 100.0, 1, true) + " ms beyond the timer", "≤ 100 ms beyond the timer", o <= 200.0);
}

// From a second start's exec to its exit while the first copy's window is minimised, and the
// window restored, raised and active afterwards. The reference figure is the reference program
// returning from main() at once: what loading a Qt Widgets program costs by itself.
// Needs a window manager (EWMH, e.g. openbox).
void figureHandOver(const Options& options)
{
    XServer x;
    const Atom clientList = x.atom("_NET_CLIENT_LIST");
    const Atom stacking = x.atom("_NET_CLIENT_LIST_STACKING");
    const Atom active = x.atom("_NET_ACTIVE_WINDOW");
    const Atom wmState = x.atom("WM_STATE");
    if (x.cardinals(x.root(), x.atom("_NET_SUPPORTING_WM_CHECK")).empty())
        fail("the hand-over needs a window manager");

    const Sandbox box = makeSandbox(options, false);
    const Environment env = environmentFor(box);
    Child first = spawn({options.ours}, env, logFileOf(box));
    Window window = 0;
    for (const Nanos deadline = now() + 20 * Second; !window && now() < deadline;) {
        x.idleUntil(now() + 10 * Millisecond);
        for (unsigned long w : x.cardinals(x.root(), clientList)) {
            if (x.pidOf(w) == first.pid)
                window = w;
        }
    }
    if (!window) {
        stop(first);
        fail("no managed window from the first copy");
    }
    XSelectInput(x.display(), window, StructureNotifyMask | PropertyChangeMask);
    x.idleUntil(now() + 500 * Millisecond);

    auto state = [&] {
        const std::vector<unsigned long> values = x.cardinals(window, wmState);
        return values.empty() ? -1L : static_cast<long>(values.front());
    };
    auto restoredAndOnTop = [&] {
        const std::vector<unsigned long> order = x.cardinals(x.root(), stacking);
        const std::vector<unsigned long> focus = x.cardinals(x.root(), active);
        return state() == NormalState && !order.empty() && order.back() == window &&
               !focus.empty() && focus.front() == window;
    };

    std::vector<double> exitAfter, restoredAfter, baseline;
    int good = 0;
    for (int run = 0; run < options.warmup + options.runs; ++run) {
        XIconifyWindow(x.display(), window, XDefaultScreen(x.display()));
        XFlush(x.display());
        for (const Nanos deadline = now() + 3 * Second; state() != IconicState && now() < deadline;)
            x.idleUntil(now() + 5 * Millisecond);
        if (state() != IconicState)
            fail("the window manager did not minimise the window");
        x.idleUntil(now() + 200 * Millisecond);

        Child second = spawn({options.ours}, env, logFileOf(box));
        // The window's return is seen as its MapNotify (or its WM_STATE turning normal); the
        // second start's end as its pidfd turning readable.
        std::optional<Nanos> restored;
        std::optional<Nanos> exited;
        const Nanos deadline = now() + 10 * Second;
        while ((!exited || !restored) && now() < deadline) {
            x.pump([&](const XEvent& e, Nanos at) {
                if (!restored && ((e.type == MapNotify && e.xmap.window == window) ||
                                  (e.type == PropertyNotify && e.xproperty.window == window &&
                                   e.xproperty.atom == wmState && state() == NormalState)))
                    restored = at;
            });
            if (!exited && hasEnded(second))
                exited = now();
            if (exited && restored)
                break;
            pollfd fds[2] = {{XConnectionNumber(x.display()), POLLIN, 0},
                             {exited ? -1 : second.pidfd, POLLIN, 0}};
            ::poll(fds, 2, second.pidfd >= 0 ? 10 : 1);
        }
        int status = -1;
        if (!exited || !waitExit(second, now() + Second, &status)) {
            stop(second);
            fail("the second start did not end");
        }
        bool ok = false;
        for (const Nanos until = now() + Second; !ok && now() < until;) {
            ok = restoredAndOnTop();
            if (!ok)
                x.idleUntil(now() + 10 * Millisecond);
        }
        ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0 && restored;

        Child bare = spawn({options.reference, "--exit"}, env, logFileOf(box));
        const std::optional<Nanos> bareEnded = waitExitPrecise(bare, now() + 10 * Second);

        if (run < options.warmup)
            continue;
        good += ok;
        exitAfter.push_back(toMs(*exited - second.started));
        restoredAfter.push_back(restored ? toMs(*restored - second.started) : 10000.0);
        baseline.push_back(bareEnded ? toMs(*bareEnded - bare.started) : 10000.0);
        x.idleUntil(now() + 100 * Millisecond);
    }
    stop(first);
    std::fprintf(stderr, "hand-over exec to exit (ms): %s\n", samples(exitAfter).c_str());
    std::fprintf(stderr, "hand-over exec to window mapped again (ms): %s\n",
                 samples(restoredAfter).c_str());
    std::fprintf(stderr, "reference --exit, exec to exit (ms): %s\n", samples(baseline).c_str());
    std::fprintf(stderr,
                 "hand-over: %d of %d runs ended with the window restored, on top and "
                 "active\n",
                 good, options.runs);
    const double o = median(exitAfter);
    const double r = median(baseline);
    row("hand-over (second start's exec to exit)", ms1(o), ms1(r) + " (bare start and exit)",
        std::string("window back after ") + num(median(restoredAfter), 1) + " ms" +
            std::string(", restored in ") + num(100.0 * good / options.runs, 0) + "% of runs",
        "≤ 50 ms", o <= 50.0 && good == options.runs);
}

} // namespace

int main(int argc, char* argv[])
{
    ::signal(SIGPIPE, SIG_IGN);
    const Options options = parseOptions(argc, argv);
    if (options.figure == "startup")
        figureStartup(options, false);
    else if (options.figure == "startup-update")
        figureStartup(options, true);
    else if (options.figure == "idle")
        figureIdle(options);
    else if (options.figure == "toolstart")
        figureToolStart(options);
    else if (options.figure == "close")
        figureClose(options);
    else if (options.figure == "update")
        figureUpdate(options);
    else if (options.figure == "handover")
        figureHandOver(options);
    else
        fail("unknown figure " + options.figure);
    return 0;
}
