#include "ChildProcesses.h"

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
