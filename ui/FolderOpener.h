#pragma once

#include <QObject>
#include <QSet>
#include <QString>

class QProcess;

#include <functional>

// Shows a folder in the desktop's file manager by running xdg-open, and watches it: xdg-open may hand
// the folder on and end at once, or run the file manager and wait for it; either way its exit status
// says whether anything could show the folder. Owns every xdg-open it started.
class FolderOpener : public QObject
{
    Q_OBJECT

public:
    using Failure = std::function<void(const QString &reason)>;

    explicit FolderOpener(QObject *parent = nullptr);
    ~FolderOpener() override;

    // Starts xdg-open for path and returns. onFailure is called at most once, on this thread, with why
    // the folder was not shown (for the person, in Chinese): at once when there is no xdg-open, else
    // once xdg-open has ended.
    void open(const QString &path, Failure onFailure);

    // How long a running xdg-open counts as busy: past that it is taken to wait for the file manager
    // it has shown.
    static constexpr int BusyLimitMilliseconds = 10000;
    // Another limit, for tests.
    void setBusyLimit(int milliseconds) { m_busyLimit = milliseconds; }

signals:
    // True once an xdg-open starts, false when none is left that has neither ended nor run past the
    // limit; without a file manager xdg-open tries browser after browser for seconds before it fails.
    void busyChanged(bool busy);

private:
    void settle(QProcess *process);

    QSet<QProcess *> m_busy;
    int m_busyLimit = BusyLimitMilliseconds;
};
