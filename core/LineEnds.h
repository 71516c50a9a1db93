#pragma once

#include <QByteArray>

// How the lines of a text end. indent keeps a carriage return as part of a line's text, so it would
// move the "\r" of a CRLF line to the start of the next one; a text whose lines all end in CRLF is
// formatted as its LF twin instead and given back its CRLF afterwards.
enum class LineEnds {
    None,  // no line feed at all
    Lf,    // every line feed alone
    CrLf,  // every line feed preceded by a carriage return
    Mixed, // some of each: formatted as it is, and named in a warning
};

LineEnds lineEndsOf(const QByteArray &text);

// Every "\r\n" as "\n"; any other carriage return is kept.
QByteArray withLineFeeds(const QByteArray &text);

// Every "\n" as "\r\n". For a text lineEndsOf calls CrLf, withCrLf(withLineFeeds(text)) == text.
QByteArray withCrLf(const QByteArray &text);
