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

namespace {

// The length of the valid UTF-8 sequence that starts at text[at], or 0.
int utf8SequenceLength(const QByteArray &text, qsizetype at)
{
    const auto byte = [&](qsizetype index) { return quint8(text.at(index)); };
    const quint8 lead = byte(at);
    const int length = lead >= 0xC2 && lead <= 0xDF   ? 2
                       : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                      : 0;
    if (length == 0 || at + length > text.size())
        return 0;
    for (int next = 1; next < length; ++next) {
        if ((byte(at + next) & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

QByteArray hex(quint8 byte)
{
    return QByteArray::number(byte, 16).rightJustified(2, '0');
}

} // namespace

QByteArray terminalSafe(const QByteArray &text)
{
    QByteArray safe;
    safe.reserve(text.size());
    for (qsizetype at = 0; at < text.size();) {
        const quint8 byte = quint8(text.at(at));
        if (byte < 0x20 || byte == 0x7F) {
            safe += byte == '\n'   ? QByteArray("\\n")
                    : byte == '\t' ? QByteArray("\\t")
                    : byte == '\r' ? QByteArray("\\r")
                                   : "\\x" + hex(byte);
            ++at;
            continue;
        }
        if (byte < 0x80) {
            safe += char(byte);
            ++at;
            continue;
        }
        const int length = utf8SequenceLength(text, at);
        if (length == 2 && byte == 0xC2 && quint8(text.at(at + 1)) < 0xA0) {
            safe += "\\u00" + hex(quint8(text.at(at + 1)));
        } else if (length > 0) {
            safe += text.mid(at, length);
        } else {
            safe += byte < 0xA0 ? "\\x" + hex(byte) : QByteArray(1, char(byte));
            ++at;
            continue;
        }
        at += length;
    }
    return safe;
}

QByteArray errnoText(int error)
{
    return QByteArray(std::strerror(error));
}

bool showsColours(FormatOptions::Colour choice, bool outIsTerminal, const QByteArray &noColour)
{
    switch (choice) {
    case FormatOptions::Colour::Always:
        return true;
    case FormatOptions::Colour::Never:
        return false;
    case FormatOptions::Colour::Auto:
        break;
    }
    return outIsTerminal && noColour.isEmpty();
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
