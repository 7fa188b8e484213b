// Stamps the moment a program is started: appends "<monotonic ns> exec" to the
// file named by BENCH_CLOCK_LOG, then replaces itself with the program.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench-exec PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    if (const char* path = std::getenv("BENCH_CLOCK_LOG")) {
        if (std::FILE* log = std::fopen(path, "a")) {
            timespec now{};
            ::clock_gettime(CLOCK_MONOTONIC, &now);
            std::fprintf(log, "%lld exec\n",
                         static_cast<long long>(now.tv_sec) * 1'000'000'000LL + now.tv_nsec);
            std::fclose(log);
        }
    }
    ::execv(argv[1], argv + 1);
    std::perror(argv[1]);
    return 127;
}
