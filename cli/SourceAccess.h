#pragma once

#include "Descriptor.h"
#include "FormatSources.h"

#include <QByteArray>

#include <vector>

#include <sys/stat.h>

// Opens the directories that hold a run's sources again: a tree's through the descriptors its scan
// held (ScannedDirectories: no link followed, every directory the one the scan entered), a named
// file's by the path the command line gave. The last directory of each kind stays open for the next
// source in it. One instance per pass over the sources, so that each pass looks afresh.
class SourceDirectories
{
public:
    explicit SourceDirectories(const std::vector<SourceTree> &trees);

    // The open directory that holds source and the source's name in it; -1 with what went wrong.
    int directoryOf(const Source &source, QByteArray *name, QByteArray *problem);

private:
    std::vector<ScannedDirectories> m_trees;
    QByteArray m_namedPath;
    Descriptor m_named;
};

// Opens name below directoryFd for reading without waiting on a pipe or a device: only a regular file
// is kept. followLink false refuses a link (ELOOP in error). status is the opened file's.
Descriptor openSourceAt(int directoryFd, const QByteArray &name, bool followLink, struct stat *status,
                        QByteArray *problem, int *error);
