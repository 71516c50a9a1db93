#pragma once

#include "FormatCommand.h"

#include <QByteArray>

// Where a run's private scratch directory goes: the setup's base when given, else scratchBase() with
// room for the copies twice over (indent may write longer files) and a margin. Empty when there is none.
QByteArray scratchBaseDirectory(const FormatSetup &setup, qint64 sourceBytes);
