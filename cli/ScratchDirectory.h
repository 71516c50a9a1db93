#pragma once

#include "Descriptor.h"
#include "FormatCommand.h"

#include <QByteArray>

// tmpfs when it is writable and has room for the copies twice over (indent may write longer files);
// containers often give /dev/shm only 64 MB.
QByteArray scratchBaseDirectory(const FormatSetup &setup, qint64 sourceBytes);

// A directory only this run uses, removed with everything in it when the run ends.
class ScratchDirectory
{
public:
    ScratchDirectory() = default;
    ScratchDirectory(const ScratchDirectory &) = delete;
    ScratchDirectory &operator=(const ScratchDirectory &) = delete;
    ~ScratchDirectory();

    bool create(const QByteArray &base, int *error);
    int fd() const { return m_fd.get(); }
    QByteArray path() const { return m_path; }

private:
    QByteArray m_path;
    Descriptor m_fd;
};
