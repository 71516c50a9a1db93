// zabo's start to its first shown main window against two baselines: a bare Qt Widgets program that
// shows an empty QMainWindow (bare_window), and the same window with a Chinese menu bar and label
// (chinese_window), which pays for fonts what any Chinese text does. All are built in this tree and
// started alike: offscreen on a 1920x1080 screen, from a scratch home, temporary and runtime directory, with
// first_window_probe preloaded to report when the first window has been painted. Rounds rotate which
// program goes first; it prints each round, then the medians, the ratios and the peak memory of each. The
// split into "application" (up to the QApplication's construction: loading and linking the libraries) and the
// rest shows where the time goes. The bench and every program it starts run on one processor: on a
// virtual machine the processors can differ in speed by a third, and a program that lands on the slower
// one at random makes the medians of two programs incomparable.
// Usage: startup_bench [rounds, default 25] [another zabo executable to time instead of this tree's]
#include <QDir>
#include <QFile>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

constexpr int ProbeDescriptor = 3;
constexpr int TimeoutMilliseconds = 60000;

struct Start
{
    double applicationMs = 0; // from spawn to the QApplication's construction
    double shownMs = 0;       // from spawn to the first window painted
    double cpuMs = 0;         // processor time, user and system, until then: what a busy machine
                              // cannot stretch the way it stretches the wall-clock time
    long peakKilobytes = 0;
};

long long monotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

std::vector<std::string> environmentFor(const QTemporaryDir &scratch, const QString &runtime)
{
    std::vector<std::string> variables;
    const char *const replaced[] = {"QT_QPA_PLATFORM=", "HOME=",       "TMPDIR=",       "XDG_RUNTIME_DIR=",
                                    "XDG_CONFIG_HOME=", "LD_PRELOAD=", "ZABO_PROBE_FD="};
    for (char **variable = environ; *variable; ++variable) {
        const std::string entry(*variable);
        if (std::none_of(std::begin(replaced), std::end(replaced),
                         [&entry](const char *name) { return entry.rfind(name, 0) == 0; }))
            variables.push_back(entry);
    }
    const auto path = [&scratch](const char *name) {
        return scratch.filePath(QLatin1String(name)).toStdString();
    };
    variables.push_back("QT_QPA_PLATFORM=offscreen:configfile=" + path("screen.json"));
    variables.push_back("HOME=" + path("home"));
    variables.push_back("TMPDIR=" + path("tmp"));
    variables.push_back("XDG_RUNTIME_DIR=" + runtime.toStdString());
    variables.push_back(std::string("LD_PRELOAD=") + ZABO_PROBE_PATH);
    variables.push_back("ZABO_PROBE_FD=" + std::to_string(ProbeDescriptor));
    return variables;
}

std::optional<Start> startOnce(const std::string &program, const std::vector<std::string> &environment)
{
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0)
        return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, channel[1], ProbeDescriptor);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char *> envp;
    for (const std::string &variable : environment)
        envp.push_back(const_cast<char *>(variable.c_str()));
    envp.push_back(nullptr);
    char *argv[] = {const_cast<char *>(program.c_str()), nullptr};

    pid_t child = -1;
    const long long spawned = monotonicNanoseconds();
    const int status = posix_spawn(&child, program.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(channel[1]);
    if (status != 0) {
        ::close(channel[0]);
        std::fprintf(stderr, "cannot start %s: %s\n", program.c_str(), std::strerror(status));
        return std::nullopt;
    }

    std::string text;
    pollfd readable{channel[0], POLLIN, 0};
    while (::poll(&readable, 1, TimeoutMilliseconds) > 0) {
        char buffer[256];
        const ssize_t got = ::read(channel[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        text.append(buffer, size_t(got));
    }
    ::close(channel[0]);
    ::kill(child, SIGKILL); // a no-op after the probe ended it; a program that never showed a window
    rusage usage{};
    ::wait4(child, nullptr, 0, &usage);

    Start start;
    start.cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                  (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    bool shown = false;
    char milestone[32];
    long long at = 0;
    long kilobytes = 0;
    for (const char *line = text.c_str();
         std::sscanf(line, "%31s %lld %ld", milestone, &at, &kilobytes) == 3;) {
        const double ms = double(at - spawned) / 1e6;
        if (std::strcmp(milestone, "application") == 0) {
            start.applicationMs = ms;
        } else if (std::strcmp(milestone, "shown") == 0) {
            start.shownMs = ms;
            start.peakKilobytes = kilobytes;
            shown = true;
        }
        line = std::strchr(line, '\n');
        if (!line)
            break;
        ++line;
    }
    if (!shown)
        std::fprintf(stderr, "%s showed no window\n", program.c_str());
    return shown ? std::optional<Start>(start) : std::nullopt;
}

// Keeps this process, and so every program it starts, on the processor it runs on now; -1 when it
// cannot.
int stayOnThisProcessor()
{
    const int processor = ::sched_getcpu();
    if (processor < 0)
        return -1;
    cpu_set_t only;
    CPU_ZERO(&only);
    CPU_SET(processor, &only);
    return ::sched_setaffinity(0, sizeof only, &only) == 0 ? processor : -1;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace

int main(int argc, char *argv[])
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 25;
    QTemporaryDir scratch;
    for (const char *name : {"program", "home", "tmp"})
        QDir().mkpath(scratch.filePath(QLatin1String(name)));
    // a session's runtime directory is a tmpfs (/run/user/UID): in memory where this machine has one
    const bool sharedMemory = QStorageInfo(QStringLiteral("/dev/shm")).fileSystemType() == "tmpfs";
    QTemporaryDir runtime(sharedMemory ? QStringLiteral("/dev/shm/startup_bench-XXXXXX")
                                       : scratch.filePath(QStringLiteral("runtime-XXXXXX")));
    if (!runtime.isValid()) {
        std::fprintf(stderr, "cannot make a runtime directory: %s\n", qPrintable(runtime.errorString()));
        return 1;
    }
    // a portable copy in a scratch directory, so that the build tree gains no Zabocfg.dat
    const QString zabo = scratch.filePath(QStringLiteral("program/zabo"));
    const QString original = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral(ZABO_PATH);
    if (!QFile::copy(original, zabo)) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(original));
        return 1;
    }
    // a screen that holds the main window at its designed size, as a desktop does
    QFile screen(scratch.filePath(QStringLiteral("screen.json")));
    if (!screen.open(QIODevice::WriteOnly) ||
        screen.write(R"({"screens": [{"name": "s", "x": 0, "y": 0, "width": 1920, "height": 1080, )"
                     R"("logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})") < 0)
        return 1;
    screen.close();
    const std::vector<std::string> environment = environmentFor(scratch, runtime.path());
    const int processor = stayOnThisProcessor();
    if (processor >= 0)
        std::printf("all programs run on processor %d\n", processor);
    constexpr int Programs = 3;
    const std::string programs[Programs] = {BARE_WINDOW_PATH, CHINESE_WINDOW_PATH, zabo.toStdString()};
    const char *const names[Programs] = {"bare", "chinese", "zabo"};

    // the first start of each creates the styles and fills the page cache; it is not counted
    for (const std::string &program : programs) {
        if (!startOnce(program, environment))
            return 1;
    }
    std::vector<Start> starts[Programs];
    std::printf("round  %-8s application shown   cpu (ms) for each\n", "");
    for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < Programs; ++turn) {
            const int which = (round + turn) % Programs;
            const std::optional<Start> start = startOnce(programs[which], environment);
            if (!start)
                return 1;
            starts[which].push_back(*start);
        }
        std::printf("%5d", round + 1);
        for (int which = 0; which < Programs; ++which) {
            const Start &last = starts[which].back();
            std::printf("  %s %6.1f %6.1f %5.1f", names[which], last.applicationMs, last.shownMs, last.cpuMs);
        }
        std::printf("\n");
    }

    double medians[Programs][4];
    for (int which = 0; which < Programs; ++which) {
        std::vector<double> application, shown, cpu, peak;
        for (const Start &start : starts[which]) {
            application.push_back(start.applicationMs);
            shown.push_back(start.shownMs);
            cpu.push_back(start.cpuMs);
            peak.push_back(double(start.peakKilobytes) / 1024);
        }
        medians[which][0] = median(application);
        medians[which][1] = median(shown);
        medians[which][2] = median(cpu);
        medians[which][3] = median(peak);
        std::printf(
            "medians of %d, %s: %.1f ms to the window (application %.1f ms), processor %.1f ms, %.1f MB\n",
            rounds, names[which], medians[which][1], medians[which][0], medians[which][2], medians[which][3]);
    }
    for (int baseline = 0; baseline < 2; ++baseline) {
        std::printf("zabo / %s: %.2f to the first window, %.2f in processor time\n", names[baseline],
                    medians[2][1] / medians[baseline][1], medians[2][2] / medians[baseline][2]);
    }
    return 0;
}
