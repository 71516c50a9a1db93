#include "SourceFiles.h"

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
