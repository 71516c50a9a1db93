#pragma once

#include <QByteArray>

#include <functional>

class QIODevice;
class Reporter;

// Reads everything on fd, an editor's buffer rather than a stream without end: more than 64 MiB is
// refused. stopped is asked when a signal interrupts the wait (Ctrl-C on a terminal). False, reported
// under name, on a failure.
bool readStandardInput(int fd, const QByteArray &name, QByteArray *bytes,
                       const std::function<bool()> &stopped, Reporter &reporter);

// What a failed run owes an editor: taken (what was read before the failure) and then the rest of
// fd, as it comes, on out, so that a buffer of any size comes back whole. False when out or fd
// failed, or stopped said so.
bool giveBackStandardInput(int fd, const QByteArray &taken, QIODevice &out,
                           const std::function<bool()> &stopped);
