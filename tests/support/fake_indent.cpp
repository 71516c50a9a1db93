// Stands in for GNU indent where a test needs it to misbehave. FAKE_INDENT_MODE picks the behaviour:
// unset or "ok" exits 0 touching nothing, "exit:N" reports on the first file and exits N, "crash"
// aborts, "hang" waits until killed, "stderr" writes a message and exits 0, "cut-and-crash" cuts every
// file it is given to half its length and then aborts, as indent killed mid-write would leave them.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

namespace {

const char *firstFileArgument(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-')
            return argv[i];
    }
    return "(none)";
}

} // namespace

int main(int argc, char **argv)
{
    const char *modeVariable = std::getenv("FAKE_INDENT_MODE");
    const std::string mode = modeVariable ? modeVariable : "ok";

    if (mode == "ok")
        return 0;
    if (mode.rfind("exit:", 0) == 0) {
        std::fprintf(stderr, "fake indent: failed on %s\n", firstFileArgument(argc, argv));
        return std::atoi(mode.c_str() + 5);
    }
    if (mode == "crash")
        std::abort();
    if (mode == "cut-and-crash") {
        for (int i = 1; i < argc; ++i) {
            if (argv[i][0] == '-')
                continue;
            if (FILE *file = std::fopen(argv[i], "r")) {
                std::fseek(file, 0, SEEK_END);
                const long size = std::ftell(file);
                std::fclose(file);
                if (truncate(argv[i], size / 2) != 0)
                    return 98;
            }
        }
        std::abort();
    }
    if (mode == "hang") {
        for (;;)
            pause();
    }
    if (mode == "stderr") {
        std::fprintf(stderr, "fake indent: a warning on standard error\n");
        return 0;
    }
    std::fprintf(stderr, "fake indent: unknown FAKE_INDENT_MODE \"%s\"\n", mode.c_str());
    return 99;
}
