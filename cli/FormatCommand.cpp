#include "FormatCommand.h"

#include "AppLocations.h"
#include "FormatReporter.h"
#include "FormatRun.h"
#include "Startup.h"

#include <QIODevice>

QString defaultStyleFilePath()
{
    return locateAppFiles(ProgramDirectory(), standardUserDirectories()).configPath;
}

int runFormatCommand(const FormatOptions &options, const FormatSetup &setup, FormatStreams &streams)
{
    if (options.mode == FormatOptions::Mode::Help || options.mode == FormatOptions::Mode::Version) {
        Reporter reporter(streams);
        const quint32 version = programVersionValue();
        reporter.out(options.mode == FormatOptions::Mode::Help
                         ? formatUsage().toUtf8()
                         : ProgramName + ' ' + QByteArray::number(version >> 16) + '.' +
                               QByteArray::number(version & 0xFFFFu) + '\n');
        return reporter.outputComplete() ? FormatExit::Success : FormatExit::Error;
    }
    return FormatRun(options, setup, streams).run();
}

int formatCommandMain(const QList<QByteArray> &arguments, const FormatSetup &setup, FormatStreams &streams)
{
    const ParsedFormatArguments parsed = parseFormatArguments(arguments);
    if (!parsed.options) {
        streams.err.write(ProgramName + ": " + terminalSafe(parsed.error.toUtf8()) +
                          "\nTry 'zabo-format --help' for more.\n");
        return FormatExit::Error;
    }
    return runFormatCommand(*parsed.options, setup, streams);
}
