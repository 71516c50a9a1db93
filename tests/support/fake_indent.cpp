// Stands in for GNU indent where a test needs it to misbehave. FAKE_INDENT_MODE picks the behaviour:
// unset or "ok" exits 0 touching nothing, "exit:N" reports on the first file and exits N, "crash"
// aborts, "hang" waits until killed, "stderr" writes a message and exits 0, "cut-and-crash" cuts every
// file it is given to half its length and then aborts, as indent killed mid-write would leave them.
// "fill-then-run" plays another program that fills the file system while indent runs: it writes zeros
// to FAKE_INDENT_FILL (unless that file is there already) until the file system is full, runs the real
// indent at FAKE_INDENT_REAL with its own arguments and standard streams, deletes the filler again when
// FAKE_INDENT_FREE is set, and exits as indent did.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/wait.h>
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

void fillFileSystem(const char *path)
{
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return; // another run filled it already
    static const char zeros[4096] = {};
    while (::write(fd, zeros, sizeof zeros) > 0) {
    }
    while (::write(fd, zeros, 1) > 0) {
    }
    ::close(fd);
}

int fillThenRun(char **argv)
{
    const char *filler = std::getenv("FAKE_INDENT_FILL");
    const char *real = std::getenv("FAKE_INDENT_REAL");
    if (!filler || !real)
        return 97;
    fillFileSystem(filler);
    const pid_t child = ::fork();
    if (child == 0) {
        argv[0] = const_cast<char *>(real);
        ::execv(real, argv);
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (std::getenv("FAKE_INDENT_FREE"))
        ::unlink(filler);
    if (!WIFEXITED(status))
        std::abort();
    return WEXITSTATUS(status);
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
    if (mode == "fill-then-run")
        return fillThenRun(argv);
    if (mode == "stderr") {
        std::fprintf(stderr, "fake indent: a warning on standard error\n");
        return 0;
    }
    std::fprintf(stderr, "fake indent: unknown FAKE_INDENT_MODE \"%s\"\n", mode.c_str());
    return 99;
}
