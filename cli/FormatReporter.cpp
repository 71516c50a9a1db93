#include "FormatReporter.h"

#include "LineDiff.h"

#include <QIODevice>

#include <cstring>

const QByteArray ProgramName = "zabo-format";

Reporter::Reporter(FormatStreams &streams)
    : m_streams(streams)
{
    m_sinceStart.start();
}

void Reporter::out(const QByteArray &bytes)
{
    clearProgress(); // the two may share one terminal
    if (!m_outputBroken && m_streams.out.write(bytes) != bytes.size()) {
        m_outputBroken = true;
        m_outputError = m_streams.out.errorString().toUtf8();
    }
}

bool Reporter::outputComplete()
{
    if (m_outputBroken)
        message("cannot write to standard output: " + m_outputError);
    return !m_outputBroken;
}

void Reporter::err(const QByteArray &bytes)
{
    clearProgress();
    m_streams.err.write(bytes);
}

void Reporter::progress(const QByteArray &what, int done, int total)
{
    // a quick run stays quiet, and a line every tenth of a second is enough to read
    if (!m_streams.errIsTerminal || m_sinceStart.elapsed() < 1000 ||
        (m_sinceShown.isValid() && m_sinceShown.elapsed() < 100))
        return;
    m_sinceShown.start();
    const QByteArray line =
        ProgramName + ": " + what + ' ' + QByteArray::number(done) + '/' + QByteArray::number(total);
    m_streams.err.write("\r\033[K" + line);
    m_progressShown = true;
}

void Reporter::clearProgress()
{
    if (m_progressShown)
        m_streams.err.write("\r\033[K");
    m_progressShown = false;
}

QByteArray errnoText(int error)
{
    return QByteArray(std::strerror(error));
}

QByteArray coloured(const QByteArray &diff)
{
    QByteArray shown;
    for (const QByteArray &line : splitLines(diff)) {
        const char *colour = nullptr;
        if (line.startsWith("---") || line.startsWith("+++"))
            colour = "\033[1m";
        else if (line.startsWith("@@"))
            colour = "\033[36m";
        else if (line.startsWith('-'))
            colour = "\033[31m";
        else if (line.startsWith('+'))
            colour = "\033[32m";
        if (!colour) {
            shown += line;
            continue;
        }
        const bool feed = line.endsWith('\n');
        shown += colour + (feed ? line.chopped(1) : line) + "\033[0m" + (feed ? "\n" : "");
    }
    return shown;
}

QByteArray filesWord(qsizetype count)
{
    return QByteArray::number(count) + (count == 1 ? " file" : " files");
}
