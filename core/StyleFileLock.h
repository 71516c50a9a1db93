#pragma once

#include "Descriptor.h"

#include <QLockFile>
#include <QString>

// Keeps other instances out of the configuration file while this one reads, merges and rewrites it:
// a QLockFile beside the file ("Zabocfg.dat.lock"). A lock whose owner has died, or that is older than
// any save can take, is stale: QLockFile detects it and takes it over, while a lock held by a live
// instance is waited for and then reported, never broken. Where the directory takes no new file (a
// portable copy in a read-only folder, whose file is rewritten in place) the lock is an flock on the
// file itself.
class StyleFileLock
{
public:
    enum class Result {
        Locked, // held; also when there is no file yet to guard and nowhere to put a lock file
        Busy,   // another instance held it all the time we waited
        Failed, // no lock file could be made (a full disk, a missing directory): see errorText
    };

    static constexpr int WaitMilliseconds = 3000;
    static constexpr int StaleAfterMilliseconds = 30000;

    explicit StyleFileLock(const QString &configPath);
    ~StyleFileLock();
    StyleFileLock(const StyleFileLock &) = delete;
    StyleFileLock &operator=(const StyleFileLock &) = delete;

    Result lock(int waitMilliseconds = WaitMilliseconds);
    void unlock(); // also when the object goes
    QString lockFilePath() const { return m_lockFilePath; }
    QString errorText() const { return m_errorText; }

private:
    Result lockFileItself(int waitMilliseconds);

    QString m_configPath;
    QString m_lockFilePath;
    QLockFile m_lockFile;
    Descriptor m_lockedFile;
    QString m_errorText;
};
