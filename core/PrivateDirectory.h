#pragma once

#include "Descriptor.h"

#include <QByteArray>
#include <QString>

// Where a process keeps files that no other user may read, replace or take first.

// The temporary directory: candidate (the value of TMPDIR) when it names an existing directory by an
// absolute path, else /tmp; empty when that is no directory either. Never a relative or empty path,
// so a TMPDIR naming a missing folder cannot lead to writing at the file system root.
QByteArray temporaryDirectory(const QByteArray &candidate);
QByteArray temporaryDirectory(); // from TMPDIR

// The base for this user's private directories: runtimeDirectory (the value of XDG_RUNTIME_DIR) when it
// is a directory of this user's that nobody else may enter (not a link, mode 0700 or narrower), else
// temporaryDirectory(temporaryCandidate).
QByteArray privateTemporaryRoot(const QByteArray &runtimeDirectory, const QByteArray &temporaryCandidate);
QByteArray privateTemporaryRoot(); // from XDG_RUNTIME_DIR and TMPDIR

// A fresh directory below base that only this user can enter, named prefix and six random characters
// (mkdtemp), so no other user can have made it first. This process holds it (a lock on its descriptor)
// while the object lives, and it is removed with everything in it when the object goes. Making one
// first removes the directories of the same prefix that this user left below base and that no process
// holds any more: what a process killed with kill -9 left behind. Links and other users' entries are
// never followed, entered or removed.
class PrivateDirectory
{
public:
    PrivateDirectory(const QByteArray &base, const QByteArray &prefix);
    ~PrivateDirectory();
    PrivateDirectory(const PrivateDirectory &) = delete;
    PrivateDirectory &operator=(const PrivateDirectory &) = delete;

    bool isValid() const { return m_fd.get() >= 0; }
    QString errorString() const { return m_error; } // why it could not be made
    int fd() const { return m_fd.get(); }
    QByteArray nativePath() const { return m_path; }
    QString path() const;
    QString filePath(const QString &name) const;

private:
    QByteArray m_path;
    Descriptor m_fd;
    QString m_error;
};

// The names of every private directory the programs make, before the six random characters. One list,
// so that any start of any of them removes what a killed one of another kind left behind.
namespace ScratchPrefix {
inline const QByteArray Formatter = "zabo-indent-"; // the deployed indent, for a process's life
inline const QByteArray Preview = "zabo-preview-";
inline const QByteArray Format = "zabo-format-";   // zabo-format's copies
inline const QByteArray Infer = "zabo-infer-";     // the style search's copies
inline const QByteArray Runtime = "zabo-runtime-"; // Qt's runtime directory when the session gives none
} // namespace ScratchPrefix

// Where scratch copies of about bytes go: tmpfs (/dev/shm) when it is writable and has room for them
// (containers often give it only 64 MB), else temporaryDirectory(). Empty when there is neither.
QByteArray scratchBase(qint64 bytes);

// Removes, below every place a private directory may go (/dev/shm, privateTemporaryRoot() and
// temporaryDirectory()), the directories of every kind above that no process holds any more; done once
// per process by the first PrivateDirectory made. Returns how many went.
int removeLeftoverScratch();

// Makes sure Qt finds a runtime directory of this user's that nobody else may enter: when
// XDG_RUNTIME_DIR names none, a private directory (ScratchPrefix::Runtime) is made below
// temporaryDirectory(), kept for the life of the process, and XDG_RUNTIME_DIR set to it; otherwise Qt
// would make one of its own below a temporary path that may be empty, as /runtime-root. Call before the
// application object is built. False when none could be made; the reason in *error.
bool ensurePrivateRuntimeDirectory(QString *error = nullptr);
