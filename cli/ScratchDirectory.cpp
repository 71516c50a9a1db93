#include "ScratchDirectory.h"

#include "PrivateDirectory.h"

#include <QFile>

QByteArray scratchBaseDirectory(const FormatSetup &setup, qint64 sourceBytes)
{
    if (!setup.scratchBase.isEmpty())
        return QFile::encodeName(setup.scratchBase);
    return scratchBase(2 * sourceBytes + 16 * 1024 * 1024);
}
