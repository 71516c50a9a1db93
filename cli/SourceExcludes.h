#pragma once

#include "FormatSources.h"

#include <QByteArray>
#include <QList>

#include <vector>

// Whether a glob of --exclude matches the path, or one of its leading directories ("vendor" and
// "vendor/*" both leave out "vendor/zlib/inflate.c"). '*' matches '/' too, so "*.pb.c" leaves out
// such files at any depth; a leading "./" of the path is ignored.
bool isExcluded(const QList<QByteArray> &globs, const QByteArray &relativePath);

// Drops the sources that a glob of --exclude matches, by their relativePath.
void dropExcluded(const QList<QByteArray> &globs, std::vector<Source> *sources);
