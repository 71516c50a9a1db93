#include "FormatArguments.h"

#include <QSet>

namespace {

QString decoded(const QByteArray &argument)
{
    return QString::fromLocal8Bit(argument);
}

ParsedFormatArguments argumentError(const QString &error)
{
    ParsedFormatArguments parsed;
    parsed.error = error;
    return parsed;
}

bool takesValue(const QByteArray &option)
{
    return option == "-o" || option == "--output" || option == "--style" || option == "--config";
}

bool isKnownOption(const QByteArray &option)
{
    static const QList<QByteArray> known = {
        "-h",          "--help", "--version", "--list-styles", "--print-profile",
        "--check",     "--diff", "-i",        "--in-place",    "-r",
        "--recursive", "-o",     "--output",  "--style",       "--config"};
    return known.contains(option);
}

// "-ri", "-oDIR", "-rodir": short switches, the last of which may be -o with its value glued on.
bool isShortGroup(const QByteArray &argument)
{
    for (qsizetype at = 1; at < argument.size(); ++at) {
        const char letter = argument.at(at);
        if (letter == 'o')
            return true;
        if (letter != 'r' && letter != 'i' && letter != 'h')
            return false;
    }
    return true;
}

// Splits grouped short switches ("-ri" into "-r" "-i", "-oDIR" into "-o" "DIR") and "--name=value" into
// "--name" "value", up to "--"; values are never split.
QList<QByteArray> normalizedArguments(const QList<QByteArray> &arguments, QSet<qsizetype> *attachedValues)
{
    QList<QByteArray> normal;
    for (qsizetype index = 0; index < arguments.size(); ++index) {
        const QByteArray &argument = arguments.at(index);
        if (argument == "--") {
            normal += arguments.mid(index);
            break;
        }
        if (argument.startsWith("--")) {
            const qsizetype equals = argument.indexOf('=');
            // "--=x" names no option: it stays whole and is reported, rather than read as "--"
            if (equals < 0 || equals == 2) {
                normal.append(argument);
                if (takesValue(argument) && index + 1 < arguments.size())
                    normal.append(arguments.at(++index));
                continue;
            }
            normal.append(argument.left(equals));
            attachedValues->insert(normal.size());
            normal.append(argument.mid(equals + 1));
            continue;
        }
        if (!argument.startsWith('-') || argument.size() <= 2 || !isShortGroup(argument)) {
            normal.append(argument);
            if (takesValue(argument) && index + 1 < arguments.size())
                normal.append(arguments.at(++index));
            continue;
        }
        for (qsizetype at = 1; at < argument.size(); ++at) {
            const QByteArray option = QByteArray("-") + argument.at(at);
            normal.append(option);
            if (takesValue(option)) {
                if (at + 1 < argument.size())
                    normal.append(argument.mid(at + 1));
                else if (index + 1 < arguments.size())
                    normal.append(arguments.at(++index));
                break;
            }
        }
    }
    return normal;
}

} // namespace

ParsedFormatArguments parseFormatArguments(const QList<QByteArray> &given)
{
    QSet<qsizetype> attachedValues;
    const QList<QByteArray> arguments = normalizedArguments(given, &attachedValues);
    FormatOptions options;
    QList<FormatOptions::Mode> modes;
    QStringList modeNames;
    const auto setMode = [&](FormatOptions::Mode mode, const QString &name) {
        if (!modes.contains(mode)) {
            modes.append(mode);
            modeNames.append(name);
        }
    };

    for (qsizetype index = 0; index < arguments.size(); ++index) {
        const QByteArray &argument = arguments.at(index);
        if (argument == "--") {
            options.paths += arguments.mid(index + 1);
            break;
        }
        if (!argument.startsWith('-') || argument == "-") {
            options.paths.append(argument);
            continue;
        }
        if (!isKnownOption(argument)) {
            const QByteArray typed =
                attachedValues.contains(index + 1) ? argument + '=' + arguments.at(index + 1) : argument;
            return argumentError(QStringLiteral("unknown option \"%1\"; a file whose name begins with \"-\" "
                                                "goes after \"--\"")
                                     .arg(decoded(typed)));
        }
        if (attachedValues.contains(index + 1) && !takesValue(argument))
            return argumentError(QStringLiteral("%1 takes no value").arg(decoded(argument)));
        std::optional<QByteArray> value;
        if (takesValue(argument) && index + 1 < arguments.size())
            value = arguments.at(++index);

        if (argument == "-h" || argument == "--help") {
            setMode(FormatOptions::Mode::Help, QStringLiteral("--help"));
        } else if (argument == "--version") {
            setMode(FormatOptions::Mode::Version, QStringLiteral("--version"));
        } else if (argument == "--list-styles") {
            setMode(FormatOptions::Mode::ListStyles, QStringLiteral("--list-styles"));
        } else if (argument == "--print-profile") {
            setMode(FormatOptions::Mode::PrintProfile, QStringLiteral("--print-profile"));
        } else if (argument == "--check") {
            setMode(FormatOptions::Mode::Check, QStringLiteral("--check"));
        } else if (argument == "--diff") {
            options.diff = true;
            setMode(FormatOptions::Mode::Check, QStringLiteral("--check"));
        } else if (argument == "-i" || argument == "--in-place") {
            setMode(FormatOptions::Mode::InPlace, QStringLiteral("--in-place"));
        } else if (argument == "-r" || argument == "--recursive") {
            options.recursive = true;
        } else if (argument == "-o" || argument == "--output") {
            if (!value || value->isEmpty())
                return argumentError(QStringLiteral("%1 needs a directory").arg(decoded(argument)));
            options.outputDirectory = *value;
            setMode(FormatOptions::Mode::Output, QStringLiteral("--output"));
        } else if (argument == "--style") {
            if (!value)
                return argumentError(QStringLiteral("--style needs a style name (see --list-styles)"));
            options.style = decoded(*value);
        } else if (argument == "--config") {
            if (!value || value->isEmpty())
                return argumentError(QStringLiteral("--config needs a file"));
            options.configPath = *value;
        }
    }

    if (modes.contains(FormatOptions::Mode::Help)) {
        options.mode = FormatOptions::Mode::Help;
    } else if (modes.contains(FormatOptions::Mode::Version)) {
        options.mode = FormatOptions::Mode::Version;
    } else if (modes.size() > 1) {
        return argumentError(
            QStringLiteral("%1 cannot be combined").arg(modeNames.join(QStringLiteral(" and "))));
    } else if (!modes.isEmpty()) {
        options.mode = modes.first();
    }

    switch (options.mode) {
    case FormatOptions::Mode::Help:
    case FormatOptions::Mode::Version:
        break;
    case FormatOptions::Mode::ListStyles:
        if (!options.paths.isEmpty())
            return argumentError(QStringLiteral("--list-styles takes no file"));
        break;
    case FormatOptions::Mode::PrintProfile:
        if (!options.paths.isEmpty() || options.recursive)
            return argumentError(QStringLiteral("--print-profile takes no file"));
        break;
    case FormatOptions::Mode::StandardOutput:
        if (options.paths.isEmpty())
            return argumentError(QStringLiteral("no file given"));
        if (options.paths.size() > 1 || options.recursive)
            return argumentError(QStringLiteral("without a mode exactly one file is formatted to standard "
                                                "output; use --check, --in-place or --output for more"));
        break;
    default:
        if (options.paths.isEmpty())
            return argumentError(QStringLiteral("no file or directory given"));
        break;
    }

    ParsedFormatArguments parsed;
    parsed.options = options;
    return parsed;
}

QString formatUsage()
{
    return QStringLiteral(
        "Usage: zabo-format [OPTION]... FILE\n"
        "  or:  zabo-format --check [--diff] [OPTION]... [-r] PATH...\n"
        "  or:  zabo-format --in-place [OPTION]... [-r] PATH...\n"
        "  or:  zabo-format --output DIR [OPTION]... [-r] PATH...\n"
        "  or:  zabo-format --list-styles [--config FILE]\n"
        "  or:  zabo-format --print-profile [--style NAME] [--config FILE]\n"
        "Format C and C++ sources with GNU indent in a style kept by Zabo.\n"
        "\n"
        "Modes:\n"
        "  (none)              format one FILE and write the result to standard output\n"
        "  -o, --output DIR    copy the sources into DIR (new or empty) and format the copies there;\n"
        "                      the sources are never touched; prints DIR and a summary\n"
        "      --check         change nothing; name the files that are not in the style\n"
        "      --diff          like --check, and write a unified diff for `patch -p1` to standard output\n"
        "  -i, --in-place      rewrite the files that change, each atomically, keeping its mode;\n"
        "                      unchanged files are not touched\n"
        "      --list-styles   print every style with its options; '*' marks the selected one\n"
        "      --print-profile print the style as a .indent.pro for indent itself to read\n"
        "\n"
        "Options:\n"
        "      --style NAME    use the style NAME as --list-styles shows it (default: the selected one)\n"
        "      --config FILE   read the styles from FILE instead of the program's Zabocfg.dat;\n"
        "                      the file is only read, never repaired or rewritten\n"
        "  -r, --recursive     descend into subdirectories (hidden ones and links to directories are\n"
        "                      skipped); --output mirrors the tree\n"
        "  -h, --help          show this help and exit\n"
        "      --version       show the version and exit\n"
        "      --              every argument after it is a file, even one that begins with '-'\n"
        "\n"
        "A directory stands for its files ending exactly in .c, .h, .cpp or .hpp.\n"
        "\n"
        "Exit status:\n"
        "  0  success; with --check: every file is already in the style\n"
        "  1  --check: some files would change\n"
        "  2  an error: bad arguments, a missing file, a damaged style file, an unknown style,\n"
        "     or a formatter failure (indent's message is shown)\n"
        "  130  interrupted; each file it rewrote is whole, the others are untouched\n"
        "A file that indent could not parse cleanly is formatted all the same and named in a warning.\n");
}
