#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal from the event loop, so that the program can end
// as when its window closes: destructors run and temporary directories are removed. One at a time;
// the default handling comes back when it is destroyed.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    // False when the handlers could not be installed; the signals then end the process as before.
    bool isActive() const { return m_notifier != nullptr; }

signals:
    void received(int signalNumber);

private:
    void readSignals();

    QSocketNotifier *m_notifier = nullptr;
};
