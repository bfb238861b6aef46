// Runs one command with its standard output sent to /dev/null and prints, on
// one line of standard output, its wall-clock seconds, its peak resident
// memory in KiB, its exit status and the processor seconds it used (user and
// system): "SECONDS MAXRSS_KIB STATUS CPU_SECONDS".
// The benchmark script calls it once per timed run.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double now_seconds()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_measure COMMAND [ARGUMENT...]\n");
        return 2;
    }
    int null_fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null_fd < 0) {
        std::perror("bench_measure: /dev/null");
        return 1;
    }
    double start = now_seconds();
    pid_t child = ::fork();
    if (child < 0) {
        std::perror("bench_measure: fork");
        return 1;
    }
    if (child == 0) {
        ::dup2(null_fd, STDOUT_FILENO);
        ::execvp(argv[1], argv + 1);
        std::fprintf(stderr, "bench_measure: cannot run %s: %s\n", argv[1], std::strerror(errno));
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    while (::wait4(child, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            std::perror("bench_measure: wait4");
            return 1;
        }
    }
    double elapsed = now_seconds() - start;
    int exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    // ru_maxrss is in KiB on Linux.
    std::printf("%.6f %ld %d %.6f\n", elapsed, usage.ru_maxrss, exit_status,
                seconds(usage.ru_utime) + seconds(usage.ru_stime));
    return 0;
}
