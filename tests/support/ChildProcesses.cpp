#include "ChildProcesses.h"

#include <QProcess>

#include <QDir>
#include <QFile>
#include <QStringList>

#include <unistd.h>

int childProcessCount()
{
    int count = 0;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        // "pid (comm) state ppid ...": comm may hold blanks, so read after its closing parenthesis
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(1).toLongLong() == ::getpid() && fields.at(0) != "Z")
            ++count;
    }
    return count;
}

ChildRun finishedRun(QProcess &process, int limitMilliseconds)
{
    ChildRun run;
    if (!process.waitForFinished(limitMilliseconds)) {
        process.kill();
        process.waitForFinished(-1);
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}
