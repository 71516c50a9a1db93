#pragma once

#include <QObject>
#include <QString>

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
};
