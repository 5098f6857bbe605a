#include "process.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace probe {

namespace {

void writeFile(const std::string& path, const std::string& text)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const bool written =
        fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    if (fd >= 0)
        ::close(fd);
    if (!written)
        fail("cannot write " + path);
}

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

// A "Name: value" field of a /proc status file, read with a newline in front of it.
long statusField(const std::string& status, const char* name)
{
    const std::string key = std::string("\n") + name + ":";
    const std::size_t at = status.find(key);
    return at == std::string::npos ? -1 : std::atol(status.c_str() + at + key.size());
}

std::string makeFolder(const std::string& pattern)
{
    std::string path = pattern;
    if (!::mkdtemp(path.data()))
        fail("cannot make a folder " + pattern);
    return path;
}

} // namespace

Sandbox makeSandbox(const std::string& work, const std::string& runtime, bool autoUpdate)
{
    const std::string root = makeFolder(work + "/run-XXXXXX");
    Sandbox box{root + "/config", makeFolder(runtime + "/runtime-XXXXXX"), root + "/tmp"};
    for (const std::string& folder : {box.config, box.tmp}) {
        if (::mkdir(folder.c_str(), 0700) != 0)
            fail("cannot make " + folder);
    }
    writeFile(box.config + "/corvane.ini", std::string("[Corvane]\r\nAutoUpdate=") +
                                               (autoUpdate ? "1" : "0") + "\r\nAutoClose=0\r\n");
    return box;
}

Environment environmentFor(const Sandbox& box)
{
    Environment env;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::size_t equals = text.find('=');
        if (equals != std::string::npos)
            env[text.substr(0, equals)] = text.substr(equals + 1);
    }
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
    if (child.pidfd < 0)
        fail("pidfd_open failed (Linux 5.3 or later is needed)");
    return child;
}

std::optional<Nanos> waitExit(Child& child, Nanos deadline, int* status)
{
    pollfd entry{child.pidfd, POLLIN, 0};
    for (;;) {
        const Nanos left = deadline - now();
        if (left <= 0)
            return std::nullopt;
        if (::poll(&entry, 1, static_cast<int>(left / Millisecond) + 1) > 0)
            break;
    }
    const Nanos at = now();
    int code = 0;
    ::waitpid(child.pid, &code, 0);
    if (status)
        *status = code;
    ::close(child.pidfd);
    child.pidfd = -1;
    child.pid = -1;
    return at;
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

Memory memoryOf(pid_t pid)
{
    const std::string status = "\n" + readText("/proc/" + std::to_string(pid) + "/status");
    return {static_cast<double>(statusField(status, "VmRSS")) / 1024.0,
            static_cast<double>(statusField(status, "VmHWM")) / 1024.0};
}

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

bool hasMapped(pid_t pid, const std::string& name)
{
    return readText("/proc/" + std::to_string(pid) + "/maps").find(name) != std::string::npos;
}

} // namespace probe
