#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

#include "cli/driver.h"

int main(int argc, char** argv)
{
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
