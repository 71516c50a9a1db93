// Holds a lock file as another running Zabo holds the configuration file's lock while it saves: takes
// the QLockFile named by its argument, prints "locked" and keeps it until standard input closes. Killed
// with SIGKILL, it leaves the lock file behind with the PID of a process that no longer runs.
#include <QCoreApplication>
#include <QLockFile>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    QLockFile lock(QString::fromLocal8Bit(argv[1]));
    if (!lock.tryLock(0))
        return 1;
    std::puts("locked");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}
