// Preloaded (LD_PRELOAD) into a Qt program by startup_bench. It writes to the descriptor named by
// ZABO_PROBE_FD when the QApplication is being constructed and when the first top-level window has been
// exposed and painted, each as CLOCK_MONOTONIC nanoseconds with the peak resident memory so far, and
// then ends the process: the program itself is measured as it is, with nothing of the benchmark in it.
#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <unistd.h>

namespace {

long peakResidentKilobytes()
{
    std::FILE *status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    char line[256];
    long kilobytes = -1;
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "VmHWM:", 6) == 0)
            kilobytes = std::atol(line + 6);
    }
    std::fclose(status);
    return kilobytes;
}

void report(const char *milestone)
{
    const char *descriptor = std::getenv("ZABO_PROBE_FD");
    if (!descriptor)
        return;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    char line[128];
    const int length = std::snprintf(line, sizeof line, "%s %lld %ld\n", milestone,
                                     now.tv_sec * 1000000000LL + now.tv_nsec, peakResidentKilobytes());
    if (length > 0 && ::write(std::atoi(descriptor), line, size_t(length)) != length)
        std::_Exit(3);
}

class FirstWindowWatcher : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_seen && event->type() == QEvent::Expose && watched->isWindowType()) {
            auto *window = static_cast<QWindow *>(watched);
            if (!window->parent() && window->isExposed()) {
                m_seen = true;
                // after this expose has been painted: widgets paint while they handle it
                QTimer::singleShot(0, [] {
                    report("shown");
                    std::_Exit(0);
                });
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_seen = false;
};

void watchForTheFirstWindow()
{
    report("application");
    QCoreApplication::instance()->installEventFilter(new FirstWindowWatcher(QCoreApplication::instance()));
}

struct Registration
{
    Registration() { qAddPreRoutine(watchForTheFirstWindow); }
} registration;

} // namespace
