#pragma once

#include <QByteArray>

#include <functional>

class Reporter;

// Reads everything on fd, an editor's buffer rather than a stream without end: more than 64 MiB is
// refused. stopped is asked when a signal interrupts the wait (Ctrl-C on a terminal). False, reported
// under name, on a failure.
bool readStandardInput(int fd, const QByteArray &name, QByteArray *bytes,
                       const std::function<bool()> &stopped, Reporter &reporter);
