#include "AtomicFile.h"

#include <QSaveFile>

bool writeFileAtomically(const QString &path, const QByteArray &bytes, InPlaceFallback fallback)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(fallback == InPlaceFallback::WhenDirectoryIsReadOnly);
    // unbuffered: a buffered QSaveFile has been seen to commit a file cut short by the size limit
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
