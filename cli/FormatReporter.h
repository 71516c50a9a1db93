#pragma once

#include "FormatCommand.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

extern const QByteArray ProgramName; // "zabo-format", the prefix of every message

// Text with every control character escaped, so that a name cannot move the cursor, recolour or clear a
// terminal, or pass for a line of its own: "\n", "\t", "\r", "\x1b" for other C0 controls and DEL,
// "\u009b" for a C1 control in UTF-8 and "\x9b" for a lone byte of that range. Every other byte,
// text in any encoding included, stays as it is.
QByteArray terminalSafe(const QByteArray &text);

bool showsColours(FormatOptions::Colour choice, bool outIsTerminal, const QByteArray &noColour);

// Everything a run says: output on one stream, messages and the progress line on the other.
class Reporter
{
public:
    explicit Reporter(FormatStreams &streams);

    void out(const QByteArray &bytes);
    // A reader that went away (`| head`) or a full disk: nothing more is worth formatting for it.
    bool outputBroken() const { return m_outputBroken; }
    // Why standard output failed, for a message.
    QByteArray outputError() const { return m_outputError; }
    // After the last output: false, having said why, when standard output did not take all of it.
    bool outputComplete();
    void err(const QByteArray &bytes);
    // "zabo-format: " and one line, its control characters escaped
    void message(const QByteArray &line) { err(ProgramName + ": " + terminalSafe(line) + '\n'); }
    void message(const QString &line) { message(line.toUtf8()); }
    void message(const char *line) { message(QByteArray(line)); }

    void progress(const QByteArray &what, int done, int total);
    void clearProgress();
    // Whether the diff is coloured: as --color says, and with auto only on a terminal and while
    // NO_COLOR is unset or empty.
    bool colours(FormatOptions::Colour choice) const
    {
        return showsColours(choice, m_streams.outIsTerminal, qgetenv("NO_COLOR"));
    }

private:
    FormatStreams &m_streams;
    QElapsedTimer m_sinceStart;
    QElapsedTimer m_sinceShown;
    bool m_progressShown = false;
    bool m_outputBroken = false;
    QByteArray m_outputError;
};

QByteArray errnoText(int error);

// The diff with ANSI colours for a terminal.
QByteArray coloured(const QByteArray &diff);

// "1 file", "3 files"
QByteArray filesWord(qsizetype count);
