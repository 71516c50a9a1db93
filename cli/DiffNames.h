#pragma once

#include <QByteArray>

#include <optional>

// The path a diff names a file by, so that `patch -p1` run in workingDirectory (a path without links,
// as getcwd gives it) finds it: a relative path without ".." as given, less "." and empty parts; an
// absolute one or one with ".." resolved and made relative to workingDirectory. Unset when the file
// lies outside workingDirectory, where no patch applied there can reach it, or when workingDirectory is
// empty (unknown) and path would need it.
std::optional<QByteArray> patchPath(const QByteArray &path, const QByteArray &workingDirectory);

// A diff header's name for prefix ("a/", "b/") and path as `patch` reads it back: as it is; with a tab
// after it, as `diff -u` writes one, when it holds a blank; C-quoted in double quotes, as git writes
// it, when it holds a tab, a line feed, another control character, a quote or a backslash, or ends in
// a blank (GNU patch 2.7 and later read those).
QByteArray diffHeaderName(const QByteArray &prefix, const QByteArray &path);
