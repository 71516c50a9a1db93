// zabo-format: Zabo's styles on the command line. Everything but the wiring lives in cli/FormatCommand.
#include "AppLocations.h"
#include "FormatCommand.h"

#include <QCoreApplication>
#include <QFile>

#include <csignal>

#include <unistd.h>

namespace {

volatile std::sig_atomic_t stopSignal = 0;
volatile std::sig_atomic_t signalsSeen = 0;

extern "C" void requestStop(int signal)
{
    stopSignal = signal;
    // `timeout` and process-group kills deliver one signal twice; a third one insists
    if (++signalsSeen >= 3) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
}

// The run stops between steps and removes its scratch copies.
void stopOnSignals()
{
    struct sigaction action = {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    // a closed pipe shows as a failed write, which ends the run the same way
    std::signal(SIGPIPE, SIG_IGN);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    setApplicationNames();
    stopOnSignals();

    // argv as the system gave it: names that are no valid text in the locale stay intact
    QList<QByteArray> arguments;
    for (int index = 1; index < argc; ++index)
        arguments.append(QByteArray(argv[index]));

    QFile out;
    QFile err;
    if (!out.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered) ||
        !err.open(STDERR_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered))
        return FormatExit::Error;
    FormatStreams streams{out, err, ::isatty(STDOUT_FILENO) == 1, ::isatty(STDERR_FILENO) == 1};
    FormatSetup setup;
    setup.defaultConfigPath = defaultStyleFilePath();
    setup.stopRequested = [] { return stopSignal != 0; };
    return formatCommandMain(arguments, setup, streams);
}
