#pragma once

#include "Descriptor.h"

#include <QByteArray>
#include <QList>

#include <sys/stat.h>

class Reporter;

// The same file, unchanged: device, inode, size and modification time.
bool sameFileState(const struct stat &a, const struct stat &b);

// What a rewrite in place may do.
struct ReplaceRules
{
    bool forceReadOnly = false;        // rewrite a file without write permission too (it stays so)
    bool keepModificationTime = false; // the style ticks "-pmt"
};

// Whether the permission bits let this user write the file; root counts as its owner, so a file
// without the owner's write bit (0444) is read-only for root too.
bool mayWrite(const struct stat &status);

// Replaces the file name below directoryFd by a new one beside it holding bytes, with the old one's
// mode, owner and group where this user may keep them (losses names those it could not), and renames
// it over the old one only when every byte is on disk. Refuses, leaving the file as it is, when it
// changed since `expected` was taken (a link or another file at the name included), when it has
// several hard links (the others would keep the old text) and when it is read-only, unless forced.
bool replaceFileAt(int directoryFd, const QByteArray &name, const QByteArray &bytes,
                   const struct stat &expected, const ReplaceRules &rules, QByteArray *problem,
                   QList<QByteArray> *losses);

// The process that made entry, when entry has exactly the form of replaceFileAt's file beside a
// source (".NAME.zabo-PID-RANDOM"); -1 for any other name.
qint64 leftoverOwner(const QByteArray &entry);

// Removes what a run killed while writing left below directoryFd: this user's regular files of that
// form whose process no longer runs. Returns how many.
int removeLeftoversAt(int directoryFd);

// A new file at relative below directoryFd, its directories made as needed, with the permission bits
// of source and, with keepModificationTime, its access and modification times.
bool writeNewFileAt(int directoryFd, const QByteArray &relative, const QByteArray &bytes,
                    const struct stat &source, bool keepModificationTime, QByteArray *problem);

// A new directory, or an existing empty one, for --output; made with its parents when missing.
Descriptor prepareOutputDirectory(const QByteArray &directory, Reporter &reporter);
