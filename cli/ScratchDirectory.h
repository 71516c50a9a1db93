#pragma once

#include "FormatCommand.h"

#include <QByteArray>

// Where a run's private scratch directory goes: the setup's base when given; else tmpfs (/dev/shm) when
// it is writable and has room for the copies twice over (indent may write longer files; containers
// often give /dev/shm only 64 MB); else the temporary directory. Empty when there is none.
QByteArray scratchBaseDirectory(const FormatSetup &setup, qint64 sourceBytes);

// The name of a run's scratch directory, before six random characters.
extern const QByteArray ScratchPrefix;
