#include "SourceFiles.h"

#include <QFile>

#include <algorithm>
#include <cstring>

#include <dirent.h>

namespace {

// Every entry's name straight from the directory, decoded as UTF-8. QDir leaves out names that are not
// valid UTF-8; here they come through (with U+FFFD), so a job can name them instead of skipping them
// silently.
QStringList allEntryNames(const QString &directory, bool *readable = nullptr)
{
    QStringList names;
    DIR *dir = ::opendir(QFile::encodeName(directory).constData());
    if (readable)
        *readable = dir != nullptr;
    if (!dir)
        return names;
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
            names.append(QString::fromUtf8(name));
    }
    ::closedir(dir);
    return names;
}

QString entryPath(const QString &directory, const QString &name)
{
    return directory.endsWith(QLatin1Char('/')) ? directory + name : directory + QLatin1Char('/') + name;
}

} // namespace

const QStringList &sourceExtensions()
{
    static const QStringList extensions = {QStringLiteral(".c"), QStringLiteral(".h"), QStringLiteral(".cpp"),
                                           QStringLiteral(".hpp")};
    return extensions;
}

QString extensionOf(const QString &fileName)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : fileName.mid(dot);
}

bool hasSourceExtension(const QString &fileName)
{
    return sourceExtensions().contains(extensionOf(fileName));
}

QStringList scanSourceDirectory(const QString &directory, bool *readable)
{
    const QStringList names = allEntryNames(directory, readable);
    QStringList paths;
    for (const QString &extension : sourceExtensions()) {
        QStringList pass;
        for (const QString &name : names) {
            if (extensionOf(name) == extension)
                pass.append(name);
        }
        // Plain code-unit order, so a job's order does not depend on the locale.
        std::sort(pass.begin(), pass.end());
        for (const QString &name : pass)
            paths.append(entryPath(directory, name));
    }
    return paths;
}
