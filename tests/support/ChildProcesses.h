#pragma once

#include <QByteArray>

class QProcess;

// What a child process said and how it ended; exitCode is -1 for a crash or a hang.
struct ChildRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Waits for a started process; one still running after limitMilliseconds is killed and reaped.
ChildRun finishedRun(QProcess &process, int limitMilliseconds);

// Live (not yet reaped or zombie) processes whose parent is this test: a formatter left running shows
// here.
int childProcessCount();
