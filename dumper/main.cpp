#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "trevanix.h"

int main(int argc, char** argv)
{
    OutputSink out(STDOUT_FILENO);
    OutputSink messages(STDERR_FILENO);
    int status = run_dump(argc, argv, out, messages);
    messages.flush();
    if (!out.flush()) {
        std::fprintf(stderr, "trevanix: cannot write to standard output: %s\n", std::strerror(out.error_number()));
        return 1;
    }
    return status;
}
