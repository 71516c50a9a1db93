#include "FormatStyles.h"

#include "AnsiText.h"
#include "CellTable.h"
#include "Descriptor.h"
#include "FormatReporter.h"
#include "FormatSources.h"
#include "OptionCatalogue.h"
#include "OptionEffects.h"

#include <QFile>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

QString nameOf(const StyleRecord &record)
{
    return fromAnsi(QByteArray(record.Name, int(qstrnlen(record.Name, StyleRecord::NameSize))));
}

// A stored name doubles '&' ("K&&R"), which a menu would take for a shortcut mark; on the command
// line the name as people write it ("K&R") is the same style.
bool isNamed(const StyleRecord &record, const QString &name)
{
    const QString stored = nameOf(record);
    return stored == name || QString(stored).replace(QLatin1String("&&"), QLatin1String("&")) == name;
}

} // namespace

std::optional<StyleFileContent> loadStyles(const FormatOptions &options, const FormatSetup &setup,
                                           Reporter &reporter)
{
    const bool explicitFile = !options.configPath.isEmpty();
    const QByteArray path = explicitFile ? options.configPath : QFile::encodeName(setup.defaultConfigPath);
    StyleFileContent content;
    // non-blocking, so that a pipe or a device at that name is refused instead of waited on
    Descriptor fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat status;
    if (fd.get() < 0) {
        if (explicitFile || errno != ENOENT) {
            reporter.message(path + ": cannot read the style file: " + errnoText(errno));
            return std::nullopt;
        }
    } else if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        reporter.message(path + ": the style file is not a regular file");
        return std::nullopt;
    } else {
        // read through the descriptor: no more than the header promises, whatever the file's length
        QFile file;
        if (!file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
            reporter.message(path + ": cannot read the style file: " + file.errorString().toUtf8());
            return std::nullopt;
        }
        content = readStyleFile(file);
        if (content.state == StyleFileContent::State::Damaged) {
            reporter.message(path + ": the style file is damaged; it was left as it is "
                                    "(open it in Zabo, which keeps a copy and starts afresh)");
            return std::nullopt;
        }
    }
    if (content.state == StyleFileContent::State::Empty) {
        content.records = builtInStyles();
        content.selectedIndex = 3;
    }
    return content;
}

void listStyles(const StyleFileContent &styles, Reporter &reporter)
{
    for (int index = 0; index < styles.records.size(); ++index) {
        const StyleRecord &record = styles.records.at(index);
        reporter.out((index == styles.selectedIndex ? "* " : "  ") + terminalSafe(nameOf(record).toUtf8()) +
                     '\t' + ParameterTextOf(record).trimmed().toUtf8() + '\n');
    }
}

std::optional<ChosenStyle> chooseStyle(const StyleFileContent &styles, const std::optional<QString> &name,
                                       Reporter &reporter)
{
    int chosen = styles.selectedIndex;
    if (name) {
        chosen = -1;
        for (int index = 0; index < styles.records.size() && chosen < 0; ++index) {
            if (nameOf(styles.records.at(index)) == *name)
                chosen = index;
        }
        for (int index = 0; index < styles.records.size() && chosen < 0; ++index) {
            if (isNamed(styles.records.at(index), *name))
                chosen = index;
        }
        if (chosen < 0) {
            QByteArray known;
            for (const StyleRecord &record : styles.records)
                known += "  " + terminalSafe(nameOf(record).toUtf8()) + '\n';
            reporter.err(ProgramName + ": no style is named \"" + terminalSafe(name->toUtf8()) +
                         "\"; the styles are:\n" + known);
            return std::nullopt;
        }
    }
    const StyleRecord &record = styles.records.at(chosen);
    const QString parameterText = ParameterTextOf(record);
    return ChosenStyle{nameOf(record), parameterText, {}, keepsModificationTime(parameterText)};
}

bool keepsModificationTime(const QString &parameterText)
{
    const RowNote keepTime =
        optionNotes(checkStatesFor(parameterText)).at(std::size_t(catalogueRowOf("-pmt")));
    return keepTime.effect == RowNote::Effect::TakesEffect;
}

QByteArray stylesShown(const std::vector<ChosenStyle> &styles, const std::vector<Source> &sources)
{
    if (styles.size() == 1 && styles.front().profilePath.isEmpty())
        return " (style \"" + styles.front().name.toUtf8() + "\")";
    QList<int> used;
    for (const Source &source : sources) {
        if (source.state == Source::State::Copied && !used.contains(source.style))
            used.append(source.style);
    }
    std::sort(used.begin(), used.end());
    QByteArrayList paths;
    for (const int style : used)
        paths.append(styles[std::size_t(style)].profilePath);
    if (paths.isEmpty())
        return {};
    return (paths.size() == 1 ? " (profile " : " (profiles ") + paths.join(", ") + ")";
}
