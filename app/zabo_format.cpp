// zabo-format: Zabo's styles on the command line. Everything but the wiring lives in jobs/FormatCommand.
#include "FormatCommand.h"

#include <QCoreApplication>
#include <QFile>

#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);

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
    return formatCommandMain(arguments, setup, streams);
}
