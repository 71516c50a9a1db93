#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QSet>
#include <QString>

// A job's output directory, worked through one open handle from the moment it is made: whatever is
// put in place of its path afterwards (a link to another folder, say) is never written, formatted or
// cleaned. Names below it are relative, in the file system's bytes.
class OutputDirectory
{
public:
    OutputDirectory() = default;
    ~OutputDirectory();
    OutputDirectory(const OutputDirectory &) = delete;
    OutputDirectory &operator=(const OutputDirectory &) = delete;

    // Makes path, which must not exist yet, and opens it without following links. An empty result means
    // success, otherwise it says why not (for the person, in Chinese).
    QString make(const QString &path);
    bool isOpen() const { return m_fd >= 0; }
    int descriptor() const { return m_fd; }

    // Makes a subdirectory; its parent must exist below this directory.
    QString makeSubdirectory(const QByteArray &relativePath);

    // Copies the regular file open at sourceFd (read from its start) to relativeName, which must not
    // exist yet, and makes the copy writable for its owner. Every byte is checked: a short or failed
    // write removes the copy and says why.
    QString copyIn(int sourceFd, const QByteArray &relativeName);
    // Puts an intact copy of the source back at relativeName, replacing whatever a formatter left there.
    QString restore(int sourceFd, const QByteArray &relativeName);

    // Deletes every entry directly inside relativeDirectory ("" for this one) that is not one of keep
    // and has no source extension: what the formatter left beside the copies, never a copy. Failures
    // (a subdirectory) are ignored.
    void RemoveNonSourceFiles(const QString &relativeDirectory, const QSet<QByteArray> &keep) const;

    // Bytes the file system still grants an unprivileged writer; -1 when it cannot tell.
    qint64 freeBytes() const;

private:
    int m_fd = -1;
};

// Bytes free for an unprivileged writer on the file system that holds path; -1 when it cannot tell.
qint64 freeBytesAt(const QString &path);
