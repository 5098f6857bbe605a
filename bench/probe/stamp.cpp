// Stands in for a tool of the suite when the tool start is measured: the first thing it does
// is to write the monotonic clock ("<seconds>.<nanoseconds>") to the file or FIFO named by
// CORVANE_BENCH_STAMP, then it exits. Linked statically, so that its main() runs within
// microseconds of the exec.

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

int main()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const char* path = std::getenv("CORVANE_BENCH_STAMP");
    if (!path || !*path)
        return 0;
    char line[64];
    const int n = std::snprintf(line, sizeof line, "%lld.%09ld\n",
                                static_cast<long long>(now.tv_sec), now.tv_nsec);
    const int fd = ::open(path, O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0)
        return 1;
    const bool written = ::write(fd, line, static_cast<std::size_t>(n)) == n;
    ::close(fd);
    return written ? 0 : 1;
}
