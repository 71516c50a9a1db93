#include "SourceFiles.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace {

QStringList allEntryNames(const QString &directory)
{
    return QDir(directory).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                     QDir::Unsorted);
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

QStringList scanSourceDirectory(const QString &directory)
{
    const QStringList names = allEntryNames(directory);
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

void RemoveNonSourceFiles(const QString &directory)
{
    for (const QString &name : allEntryNames(directory)) {
        if (!hasSourceExtension(name))
            QFile::remove(entryPath(directory, name));
    }
}
