#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

// Ends the test process with a fatal message when it is not destroyed within the time given: a call
// that would block for ever (opening a FIFO, reading /dev/zero) fails the run instead of holding it up.
class Watchdog
{
public:
    Watchdog(const char *what, int seconds);
    ~Watchdog();
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

private:
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread;
};
