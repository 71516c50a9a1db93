#pragma once

#include "Descriptor.h"

#include <QByteArray>

#include <sys/stat.h>

class Reporter;

// The same file, unchanged: device, inode, size and modification time.
bool sameFileState(const struct stat &a, const struct stat &b);

// Replaces path's file by a new one beside it holding bytes, with the old one's mode; path's link, if
// it is one, keeps pointing at the new file. Refuses when the file changed since `expected` was taken.
bool replaceAtomically(const QByteArray &path, const QByteArray &bytes, const struct stat &expected,
                       QByteArray *problem);

// A new file at relative below directoryFd, its directories made as needed.
bool writeNewFileAt(int directoryFd, const QByteArray &relative, const QByteArray &bytes, mode_t mode,
                    QByteArray *problem);

// A new directory, or an existing empty one, for --output; made with its parents when missing.
Descriptor prepareOutputDirectory(const QByteArray &directory, Reporter &reporter);
