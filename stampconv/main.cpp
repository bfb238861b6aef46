#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "stampconv.h"

int main(int argc, char** argv)
{
    std::string out;
    std::string err;
    int status = stampconv_main(argc, argv, out, err);
    if (!err.empty()) std::fputs(err.c_str(), stderr);
    std::size_t done = 0;
    while (done < out.size()) {
        ssize_t n = ::write(STDOUT_FILENO, out.data() + done, out.size() - done);
        if (n < 0) {
            std::fprintf(stderr, "stampconv: cannot write to standard output: %s\n", std::strerror(errno));
            return 1;
        }
        done += static_cast<std::size_t>(n);
    }
    return status;
}
