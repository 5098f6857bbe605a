#include "platform/platform.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace corvane::platform {

namespace {

int signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t exitStatus = 0; // what exitAfter() ends the process with

extern "C" void forwardSignal(int)
{
    // Only async-signal-safe work here: wake the main thread through the pipe.
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

extern "C" void exitNow(int)
{
    ::_exit(exitStatus);
}

} // namespace

void onTerminationRequest(std::function<void()> request)
{
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    // The notifier lives as long as the application; the pipe ends are never closed.
    auto* notifier =
        new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [request = std::move(request)] {
                         char buffer[16];
                         while (::read(signalPipe[0], buffer, sizeof buffer) > 0) {
                         }
                         request();
                     });
    struct sigaction action
    {
    };
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

void exitAfter(unsigned seconds, int status)
{
    // SIGALRM reaches the process whatever its threads are blocked in, and _exit() is safe in
    // a signal handler; no cleanup runs, which is the point when the cleanup is what hangs.
    exitStatus = status;
    struct sigaction action
    {
    };
    action.sa_handler = exitNow;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGALRM, &action, nullptr);
    ::alarm(seconds);
}

} // namespace corvane::platform
