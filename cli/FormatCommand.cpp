#include "FormatCommand.h"

#include "AppLocations.h"
#include "FormatReporter.h"
#include "FormatRun.h"
#include "InferCommand.h"
#include "StandardInput.h"
#include "Startup.h"

#include <QIODevice>

#include <unistd.h>

namespace {

// Standard output as the run sees it, counting what went through: a failure after the first byte
// cannot give the buffer back any more.
class CountingDevice : public QIODevice
{
public:
    explicit CountingDevice(QIODevice &target)
        : m_target(target)
    {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    qint64 written() const { return m_written; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        const qint64 done = m_target.write(data, size);
        if (done > 0)
            m_written += done;
        else if (done < 0)
            setErrorString(m_target.errorString());
        return done;
    }

private:
    QIODevice &m_target;
    qint64 m_written = 0;
};

int reportArgumentError(const QString &error, QIODevice &err)
{
    err.write(ProgramName + ": " + terminalSafe(error.toUtf8()) + "\nTry 'zabo-format --help' for more.\n");
    return FormatExit::Error;
}

} // namespace

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
    if (options.mode == FormatOptions::Mode::Infer)
        return runInferCommand(options, setup, streams);
    return FormatRun(options, setup, streams).run();
}

int formatCommandMain(const QList<QByteArray> &arguments, const FormatSetup &setup, FormatStreams &streams)
{
    const ParsedFormatArguments parsed = parseFormatArguments(arguments);
    // a person at a terminal has no buffer to lose, and would only wait for the end of input
    if (!filtersStandardInput(arguments) || ::isatty(setup.standardInput) == 1) {
        if (!parsed.options)
            return reportArgumentError(parsed.error, streams.err);
        return runFormatCommand(*parsed.options, setup, streams);
    }

    CountingDevice out(streams.out);
    FormatStreams counted{out, streams.err, streams.outIsTerminal, streams.errIsTerminal};
    QByteArray taken;
    FormatSetup keeping = setup;
    keeping.standardInputTaken = &taken;
    const int status = parsed.options ? runFormatCommand(*parsed.options, keeping, counted)
                                      : reportArgumentError(parsed.error, streams.err);
    if (status != FormatExit::Error || out.written() > 0)
        return status;
    const auto stopped = [&setup] { return setup.stopRequested && setup.stopRequested(); };
    if (!giveBackStandardInput(setup.standardInput, taken, streams.out, stopped))
        streams.err.write(ProgramName + ": could not give standard input back unchanged\n");
    return FormatExit::Error;
}
