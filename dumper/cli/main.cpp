#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "cli/driver.h"

namespace {

// A standard stream closed when the program starts would be taken by the
// next file the run opens (an unload's files would then get the messages
// meant for standard error): /dev/null, opened for reading only, holds its
// place, so that writing to it still fails as it would have.
void hold_closed_stream(int fd)
{
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) return;
    const int held = ::open("/dev/null", O_RDONLY);
    if (held >= 0 && held != fd) ::close(held);
}

}  // namespace

int main(int argc, char** argv)
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) hold_closed_stream(fd);
#if defined(__GLIBC__)
    // The workers of a pass free what they allocate on other threads: the
    // C library's arenas, one per thread, would each keep memory freed in
    // them, and a run of many workers would hold several times what it uses.
    ::mallopt(M_ARENA_MAX, 2);
#endif
    // The sinks live on the heap, like the run: where the stack lies depends
    // on the length of the arguments and the environment, and the time of a
    // run would then depend on it too.
    auto out = std::make_unique<OutputSink>(STDOUT_FILENO);
    auto messages = std::make_unique<OutputSink>(STDERR_FILENO);
    int status = run_dump(argc, argv, *out, *messages);
    messages->flush();
    if (!out->flush()) {
        std::fprintf(stderr, "trevanix: cannot write to standard output: %s\n", std::strerror(out->error_number()));
        return 1;
    }
    return status;
}
