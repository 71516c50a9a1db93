#include "CommandLine.h"

#include "AppLocations.h"
#include "Startup.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

namespace {

// ASCII only, like the manual page made from it in whatever locale the build runs in; lines of at
// most 80 columns, as a terminal shows them
const char *const Description =
    "Zabo reformats C and C++ sources with GNU indent in named styles, each a choice\n"
    "of rows from a grid of 93 indent options. Without arguments it opens its\n"
    "window, whose interface is in Chinese.\n"
    "\n"
    "A copy installed under ~/.local, /usr, /opt or the prefix it was built for\n"
    "keeps its styles in ~/.config/zabo/Zabocfg.dat and writes each job's output\n"
    "folder into ~/Documents/Zabo; a portable copy keeps both beside its executable.\n"
    "zabo-format applies the same styles on the command line.";

const char *const VersionNotice =
    "Copyright (C) 2026 The Zabo developers.\n"
    "License GPLv3+: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
    "This is free software: you are free to change and redistribute it.\n"
    "There is NO WARRANTY, to the extent permitted by law.\n"
    "GNU indent, which it carries built in, is free software under the same licence.\n";

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

QString programVersion()
{
    const quint32 value = programVersionValue();
    return QStringLiteral("%1.%2").arg(value >> 16).arg(value & 0xFFFF);
}

} // namespace

std::optional<int> answerInformationRequest(int argc, char *argv[])
{
    if (argc < 2)
        return std::nullopt;
    QCoreApplication application(argc, argv);
    setApplicationNames();

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description));
    // not addHelpOption(): its --help-all would need the display that --help must do without
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays help on commandline options."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    // anything else may be Qt's own, which only the QApplication knows
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(help)) {
        // the name, not the path it was started by, so that the manual page reads well
        const QString path = QCoreApplication::arguments().constFirst();
        QString text = parser.helpText();
        text.replace(text.indexOf(path), path.size(), QFileInfo(path).fileName());
        print(stdout, text);
        return 0;
    }
    if (parser.isSet(version)) {
        print(stdout, QStringLiteral("zabo %1\n").arg(programVersion()) + QString::fromLatin1(VersionNotice));
        return 0;
    }
    return std::nullopt;
}

std::optional<int> refuseUnknownArguments()
{
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2)
        return std::nullopt;
    print(stderr, QStringLiteral("zabo: unknown argument '%1'\nTry 'zabo --help' for more information.\n")
                      .arg(arguments.at(1)));
    return 2;
}
