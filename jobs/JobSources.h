#pragma once

#include "Descriptor.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <utility>

#include <sys/types.h>

// A job's sources, opened for reading each time the job needs one, and each time as the same file.
// Below the chosen directory a source is reached through that directory's open descriptor, one folder
// at a time by name and never through a link: a folder swapped for a link after the scan cannot lead
// out of the tree. A later opening that finds another file than the first one found (a file or a
// folder replaced) is refused.
class JobSources
{
public:
    // Sources whose path starts with rootPrefix (which ends in '/') are reached through rootFd, which
    // must stay open meanwhile; the rest, and all of them with rootFd -1, by their full path.
    explicit JobSources(const QString &rootPrefix = QString(), int rootFd = -1);

    struct Opened
    {
        Descriptor fd; // open for reading when failure is empty
        qint64 size = 0;
        QString failure;       // for the person, in Chinese
        bool replaced = false; // the source, or a folder on its way, is no longer what the job found
    };
    // A regular file, opened without blocking (a FIFO never holds the job up); links to files are
    // followed, as the scans take them.
    Opened open(const QString &source);
    // Sources come folder by folder, so the last folder reached stays open for the next; after this
    // the next opening walks down from the root again and sees what the tree holds by then.
    void closeFolder();

private:
    int openAtRoot(const QByteArray &relative, Opened *opened);
    int folderOf(const QByteArray &relativeFolder, Opened *opened);

    QString m_rootPrefix;
    int m_rootFd = -1;
    QByteArray m_folder;
    Descriptor m_folderFd;
    QHash<QString, std::pair<dev_t, ino_t>> m_identities; // as first opened
};
