#include "Watchdog.h"

#include <QtGlobal>

#include <chrono>
#include <string>

Watchdog::Watchdog(const char *what, int seconds)
{
    m_thread = std::thread([this, name = std::string(what), seconds] {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_done.wait_for(lock, std::chrono::seconds(seconds), [this] { return m_finished; }))
            qFatal("%s did not finish within %d s: it hangs", name.c_str(), seconds);
    });
}

Watchdog::~Watchdog()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_finished = true;
    }
    m_done.notify_one();
    m_thread.join();
}
