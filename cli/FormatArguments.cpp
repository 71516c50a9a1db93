#include "FormatArguments.h"

#include <QSet>

#include <algorithm>

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
    return option == "-o" || option == "--output" || option == "--style" || option == "--config" ||
           option == "--exclude" || option == "--lines" || option == "--since" || option == "--stdin-name" ||
           option == "--time-limit";
}

// "A:B" with 1 <= A <= B.
std::optional<LineRange> lineRangeOf(const QByteArray &text)
{
    const QList<QByteArray> parts = text.split(':');
    if (parts.size() != 2)
        return std::nullopt;
    bool firstOk = false;
    bool lastOk = false;
    const LineRange range{parts.at(0).toInt(&firstOk), parts.at(1).toInt(&lastOk)};
    if (!firstOk || !lastOk || range.first < 1 || range.last < range.first)
        return std::nullopt;
    return range;
}

bool isAsciiNumber(const QByteArray &text)
{
    return !text.isEmpty() &&
           std::all_of(text.cbegin(), text.cend(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<FormatOptions::Colour> colourOf(const QByteArray &choice)
{
    if (choice == "auto")
        return FormatOptions::Colour::Auto;
    if (choice == "always")
        return FormatOptions::Colour::Always;
    if (choice == "never")
        return FormatOptions::Colour::Never;
    return std::nullopt;
}

bool isKnownOption(const QByteArray &option)
{
    static const QList<QByteArray> known = {"-h",
                                            "--help",
                                            "--version",
                                            "--list-styles",
                                            "--print-profile",
                                            "--check",
                                            "--diff",
                                            "--annotate",
                                            "-i",
                                            "--in-place",
                                            "-r",
                                            "--recursive",
                                            "-o",
                                            "--output",
                                            "--style",
                                            "--config",
                                            "--force-read-only",
                                            "--infer",
                                            "--all-options",
                                            "--single-pass",
                                            "--exclude",
                                            "--stdin-name",
                                            "--lines",
                                            "--since",
                                            "--color",
                                            "--time-limit"};
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

// What standard input, --lines and --since allow; empty when the combination is sound.
QString selectionProblem(const FormatOptions &options)
{
    using Mode = FormatOptions::Mode;
    const bool formats = options.mode == Mode::StandardOutput || options.mode == Mode::Check ||
                         options.mode == Mode::InPlace || options.mode == Mode::Output;
    if (options.paths.contains("-")) {
        if (options.mode == Mode::Infer)
            return QStringLiteral("--infer learns from files and directories, not standard input (-)");
        if (options.paths.size() > 1)
            return QStringLiteral("standard input (-) is formatted alone; name no other file");
        if (options.mode != Mode::StandardOutput && options.mode != Mode::Check)
            return QStringLiteral("standard input (-) goes to standard output or is checked; "
                                  "--in-place and --output need files");
        if (options.recursive)
            return QStringLiteral("-r means nothing for standard input (-)");
    } else if (options.standardInputName) {
        return QStringLiteral("--stdin-name names standard input; give \"-\" as the file");
    }
    if (!options.lines.isEmpty()) {
        if (!options.since.isEmpty())
            return QStringLiteral("--lines and --since cannot be combined");
        if (!formats || options.paths.size() != 1 || options.recursive)
            return QStringLiteral("--lines needs exactly one file (or - for standard input)");
    }
    if (!options.since.isEmpty() && !formats)
        return QStringLiteral("--since goes with formatting, --check, --diff or --in-place");
    if (!options.since.isEmpty() && options.paths.contains("-") && !options.standardInputName)
        return QStringLiteral("--since needs --stdin-name to know which file standard input is");
    if (options.repositoryProfile && options.mode == Mode::PrintProfile)
        return QStringLiteral("--print-profile prints a saved style; the profile file already is one");
    return QString();
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
        if (argument == "--color") {
            const QByteArray choice = attachedValues.contains(index + 1) ? arguments.at(++index) : "always";
            const std::optional<FormatOptions::Colour> colour = colourOf(choice);
            if (!colour)
                return argumentError(QStringLiteral("--color takes auto, always or never"));
            options.colour = *colour;
            continue;
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
        } else if (argument == "--infer") {
            setMode(FormatOptions::Mode::Infer, QStringLiteral("--infer"));
        } else if (argument == "--check") {
            setMode(FormatOptions::Mode::Check, QStringLiteral("--check"));
        } else if (argument == "--diff") {
            options.diff = true;
            setMode(FormatOptions::Mode::Check, QStringLiteral("--check"));
        } else if (argument == "--annotate") {
            options.annotate = true;
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
            options.repositoryProfile = *value == "file";
            options.style = decoded(*value);
        } else if (argument == "--config") {
            if (!value || value->isEmpty())
                return argumentError(QStringLiteral("--config needs a file"));
            options.configPath = *value;
        } else if (argument == "--force-read-only") {
            options.forceReadOnly = true;
        } else if (argument == "--single-pass") {
            options.singlePass = true;
        } else if (argument == "--all-options") {
            options.allOptions = true;
        } else if (argument == "--exclude") {
            if (!value || value->isEmpty())
                return argumentError(QStringLiteral("--exclude needs a pattern"));
            options.excludes.append(*value);
        } else if (argument == "--stdin-name") {
            if (!value || value->isEmpty())
                return argumentError(QStringLiteral("--stdin-name needs a path"));
            options.standardInputName = *value;
        } else if (argument == "--lines") {
            const std::optional<LineRange> range = value ? lineRangeOf(*value) : std::nullopt;
            if (!range)
                return argumentError(QStringLiteral("--lines needs FIRST:LAST, such as 10:20"));
            options.lines.append(*range);
        } else if (argument == "--since") {
            if (!value || value->isEmpty())
                return argumentError(QStringLiteral("--since needs a git revision"));
            options.since = *value;
        } else if (argument == "--time-limit") {
            bool ok = false;
            const int seconds = value ? value->toInt(&ok) : 0;
            if (!ok || seconds < 1 || !isAsciiNumber(*value))
                return argumentError(QStringLiteral("--time-limit needs a number of seconds, 1 or more"));
            options.timeLimitSeconds = seconds;
        }
    }

    // --infer prints its proposal as a profile with --print-profile
    if (modes.contains(FormatOptions::Mode::Infer) && modes.removeOne(FormatOptions::Mode::PrintProfile)) {
        modeNames.removeOne(QStringLiteral("--print-profile"));
        options.printProfile = true;
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

    if (options.allOptions && options.mode != FormatOptions::Mode::Infer &&
        options.mode != FormatOptions::Mode::Help && options.mode != FormatOptions::Mode::Version)
        return argumentError(QStringLiteral("--all-options goes with --infer"));
    if (options.forceReadOnly && options.mode != FormatOptions::Mode::InPlace &&
        options.mode != FormatOptions::Mode::Help && options.mode != FormatOptions::Mode::Version)
        return argumentError(QStringLiteral("--force-read-only goes with --in-place"));

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
    case FormatOptions::Mode::Infer:
        if (options.paths.isEmpty())
            return argumentError(QStringLiteral("no file or directory given"));
        if (options.style || !options.configPath.isEmpty())
            return argumentError(
                QStringLiteral("--infer learns a style from the files; it takes no --style or "
                               "--config"));
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

    const QString problem = selectionProblem(options);
    if (!problem.isEmpty())
        return argumentError(problem);

    ParsedFormatArguments parsed;
    parsed.options = options;
    return parsed;
}

bool filtersStandardInput(const QList<QByteArray> &given)
{
    static const QList<QByteArray> otherModes = {"-h",       "--help",  "--version",     "--check",
                                                 "--diff",   "-i",      "--in-place",    "-o",
                                                 "--output", "--infer", "--list-styles", "--print-profile"};
    QSet<qsizetype> attachedValues;
    const QList<QByteArray> arguments = normalizedArguments(given, &attachedValues);
    bool standardInput = false;
    for (qsizetype index = 0; index < arguments.size(); ++index) {
        const QByteArray &argument = arguments.at(index);
        if (argument == "--")
            return standardInput || arguments.mid(index + 1).contains("-");
        if (otherModes.contains(argument))
            return false;
        if (attachedValues.contains(index + 1) || takesValue(argument)) {
            ++index; // a value, never a file
            continue;
        }
        standardInput = standardInput || argument == "-";
    }
    return standardInput;
}

QString formatUsage()
{
    return QStringLiteral("Usage: zabo-format [OPTION]... FILE|-\n"
                          "  or:  zabo-format --check [--diff] [--annotate] [OPTION]... [-r] PATH...\n"
                          "  or:  zabo-format --in-place [OPTION]... [-r] PATH...\n"
                          "  or:  zabo-format --output DIR [OPTION]... [-r] PATH...\n"
                          "  or:  zabo-format --list-styles [--config FILE]\n"
                          "  or:  zabo-format --print-profile [--style NAME] [--config FILE]\n"
                          "  or:  zabo-format --infer [--all-options] [--print-profile] [-r] PATH...\n"
                          "Format C and C++ sources with GNU indent in a style kept by Zabo.\n"
                          "\n"
                          "Options:\n"
                          "  (none)              format one FILE, or standard input (-), to standard output\n"
                          "  -o, --output DIR    format copies into DIR (new or empty), never touching the\n"
                          "                      sources; prints DIR and a summary\n"
                          "      --check         change nothing; name the files that are not in the style\n"
                          "      --diff          like --check, and print a unified diff that `patch -p1`\n"
                          "                      applies in the directory zabo-format ran in (see below)\n"
                          "      --annotate      like --check, and name each file that would change as\n"
                          "                      PATH:LINE: at its first changed line on standard error,\n"
                          "                      the form compilers use, for CI logs and editors\n"
                          "  -i, --in-place      rewrite the files that change, each atomically (see\n"
                          "                      below); unchanged files are not touched\n"
                          "      --list-styles   print every style with its options; '*' marks the selected\n"
                          "      --print-profile print the style as a .indent.pro for indent itself\n"
                          "      --infer         learn the style that changes the files least: print its\n"
                          "                      options and the lines it still changes (with\n"
                          "                      --print-profile: the style as a .indent.pro, the changed\n"
                          "                      lines on standard error); the files are only read; a\n"
                          "                      large tree is learnt from an even spread of its files\n"
                          "      --all-options   with --infer: learn a whole profile, any of indent's\n"
                          "                      layout options and numbers, for --style file rather\n"
                          "                      than a style of catalogue rows kept by Zabo\n"
                          "\n"
                          "Style options:\n"
                          "      --style NAME    a style as --list-styles shows it (default: the selected)\n"
                          "      --style file    the nearest .indent.pro from each file's directory upward;\n"
                          "                      all of indent's options may stand in it\n"
                          "      --config FILE   read the styles from FILE instead of the program's\n"
                          "                      Zabocfg.dat; the file is only read, never rewritten\n"
                          "      --single-pass   indent's one-pass output, as the window's jobs write it\n"
                          "A named style reads neither ~/.indent.pro nor ./.indent.pro, so every machine\n"
                          "formats alike. Each file gets its settled form: indent does not always reach\n"
                          "a stable text in one pass, so it runs again on each file that changed until\n"
                          "the text stands still or comes back to an earlier one (the first text of\n"
                          "that cycle is kept), at most 10 passes. A file still changing then is named,\n"
                          "left as it is and counts as \"would change\": fence the region with\n"
                          "/* *INDENT-OFF* */ and /* *INDENT-ON* */, or --exclude the file.\n"
                          "\n"
                          "File options:\n"
                          "  -r, --recursive     descend into subdirectories (hidden ones and links to\n"
                          "                      directories are skipped); --output mirrors the tree\n"
                          "      --exclude GLOB  leave out the files GLOB matches as a line of a .gitignore\n"
                          "                      would: a name without '/' at any depth, one with '/'\n"
                          "                      below the argument (or as the file is named); '**',\n"
                          "                      '!' and a trailing '/' as git reads them; repeatable.\n"
                          "                      A .zaboignore in a file's directory or above leaves\n"
                          "                      files out the same way, each below its own directory\n"
                          "      --stdin-name PATH  the name standard input stands for: in messages, in the\n"
                          "                      search for .indent.pro, for --exclude and --since\n"
                          "      --lines A:B     keep only the changes that touch lines A to B of the one\n"
                          "                      file; repeatable\n"
                          "      --since REV     keep only the changes that touch lines changed since the\n"
                          "                      git revision REV (new files: every line)\n"
                          "      --force-read-only  with --in-place: rewrite read-only files too; they stay\n"
                          "                      read-only\n"
                          "      --              every argument after it is a file, even one that begins\n"
                          "                      with '-'\n"
                          "A directory stands for its files ending exactly in .c, .h, .cpp or .hpp.\n"
                          "\n"
                          "--in-place writes a new file beside the old one and renames it over it, so a\n"
                          "file is never half written. The new file keeps the old one's mode, and its\n"
                          "owner and group where the user may keep them (a warning names any it could\n"
                          "not). It refuses, naming the file (status 2):\n"
                          "  a file with several hard links (the other names would keep the old text);\n"
                          "  a read-only file, one whose permission bits do not let the user write it\n"
                          "  (for root: no owner write bit, as 0444), unless --force-read-only;\n"
                          "  a file that changed, or whose directory was swapped for a link or another\n"
                          "  directory, while it was being formatted: nothing is ever written outside\n"
                          "  the trees given.\n"
                          "A link named on the command line is followed and its file rewritten. A link\n"
                          "found in a directory is only read: --in-place leaves it and its file as they\n"
                          "are, and names it unless that file is formatted under a name of its own in\n"
                          "the same run. When the style ticks -pmt, --in-place and --output keep each\n"
                          "file's modification time.\n"
                          "\n"
                          "--diff names each file relative to the working directory, absolute and ../\n"
                          "paths included, so that `patch -p1` run there applies it. A file outside the\n"
                          "working directory cannot be carried in such a patch: it gets no diff, and a\n"
                          "warning names it. A name with a blank gets a tab after it, as diff -u writes\n"
                          "it; a name with a tab, a line feed, a quote, a backslash or another control\n"
                          "character is written in C quotes, as git writes it (GNU patch 2.7 or later\n"
                          "reads them).\n"
                          "\n"
                          "Other options:\n"
                          "      --color[=WHEN]  colour the diff: auto (the default: only on a terminal,\n"
                          "                      and never when NO_COLOR is set and not empty), always\n"
                          "                      (also --color alone) or never\n"
                          "      --time-limit S  stop each indent process that runs longer than S seconds\n"
                          "                      (default 60, far beyond what the largest real source\n"
                          "                      takes) and name the file it was formatting\n"
                          "  -h, --help          show this help and exit\n"
                          "      --version       show the version and exit\n"
                          "\n"
                          "A file that indent could not parse cleanly is formatted all the same and\n"
                          "named in a warning. Standard input left out by --exclude or a .zaboignore\n"
                          "comes back unchanged.\n"
                          "\n"
                          "Exit status:\n"
                          "    0  success; with --check: every file is already in the style\n"
                          "    1  --check: some files would change; --in-place: some never settled and\n"
                          "       were left as they were\n"
                          "    2  an error: bad arguments, a missing file, a damaged style file, an\n"
                          "       unknown style or profile, or a formatter failure (indent's message\n"
                          "       is shown)\n"
                          "  130  interrupted; each file it rewrote is whole, the others are untouched\n");
}
