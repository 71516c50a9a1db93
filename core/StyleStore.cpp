#include "StyleStore.h"

#include "AnsiText.h"
#include "AtomicFile.h"
#include "UserPrompts.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cstring>

#include <sys/stat.h>

namespace {

const char *const CreateFailedMessage = "配置文件创建失败，请确认程序所在目录可写！";
const char *const BuiltInRefusedMessage = "前四项为默认配置项，不可修改";
const char *const OverwriteQuestion = "与已有配置项重名，是否覆盖配置信息?";
const char *const DeleteRefusedMessage = "软件自带项，不可删除！";
const char *const DeleteQuestion = "确定要删除%1风格配置项吗？";
const char *const WriteFailedMessage = "配置文件操作失败！";
const char *const DamagedMessage =
    "配置文件已损坏，无法读取。\n原文件已另存为：%1\n已重新创建默认风格配置项。";

constexpr int HeaderSize = 8;
constexpr int RecordSize = sizeof(StyleRecord);

struct BuiltInStyle
{
    const char *name;
    std::initializer_list<const char *> options;
};

const BuiltInStyle BuiltInStyleTable[] = {
    {"GNU", {"-gnu"}},
    {"K&&R", {"-kr"}},
    {"ORIG", {"-orig"}},
    {"Zabo推荐风格", {"-bap",  "-bbb",   "-bbo", "-bli0", "-br",    "-brs",  "-bs",   "-c41", "-cbi4",
                      "-cd41", "-cdb",   "-cdw", "-ce",   "-ci0",   "-cs",   "-fc1",  "-i4",  "-ip4",
                      "-l120", "-lc120", "-lp",  "-nbc",  "-nbfda", "-ncdb", "-npsl", "-nut", "-pcs",
                      "-saf",  "-sai",   "-saw", "-sbi4", "-sc",    "-sob",  "-ss",   "-T",   "-ts4"}},
};

QString fromUtf8(const char *text)
{
    return QString::fromUtf8(text);
}

} // namespace

QByteArray serializeStyleFile(const QVector<StyleRecord> &records, qint32 selectedIndex)
{
    QByteArray bytes(HeaderSize, '\0');
    qToLittleEndian<qint32>(static_cast<qint32>(records.size()), bytes.data());
    qToLittleEndian<qint32>(selectedIndex, bytes.data() + 4);
    bytes.reserve(HeaderSize + RecordSize * records.size());
    for (const StyleRecord &record : records)
        bytes.append(reinterpret_cast<const char *>(&record), RecordSize);
    return bytes;
}

StyleFileContent readStyleFile(QIODevice &device)
{
    StyleFileContent content;
    const QByteArray header = device.read(HeaderSize);
    if (header.isEmpty())
        return content;
    content.state = StyleFileContent::State::Damaged;
    if (header.size() < HeaderSize)
        return content;

    const qint32 count = qFromLittleEndian<qint32>(header.constData());
    const qint32 selected = qFromLittleEndian<qint32>(header.constData() + 4);
    if (count == 0) {
        content.state = StyleFileContent::State::Empty;
        return content;
    }
    if (count < 0 || count > StyleStore::MaxStyleCount)
        return content;

    const QByteArray body = device.read(qint64(RecordSize) * count);
    if (body.size() != qint64(RecordSize) * count)
        return content;

    content.records.resize(count);
    std::memcpy(content.records.data(), body.constData(), body.size());
    for (StyleRecord &record : content.records) {
        if (!std::memchr(record.Name, '\0', StyleRecord::NameSize))
            record.Name[StyleRecord::MaxNameBytes] = '\0';
    }
    content.selectedIndex = std::clamp<qint32>(selected, 0, count - 1);
    content.state = StyleFileContent::State::Sound;
    return content;
}

StyleRecord makeStyleRecord(const QString &name, const StyleFlags &flags)
{
    StyleRecord record;
    std::memset(&record, 0, sizeof record);
    const QByteArray ansiName = truncateAnsi(toAnsi(name), StyleRecord::MaxNameBytes);
    std::memcpy(record.Name, ansiName.constData(), ansiName.size());
    for (int row = 0; row < OptionCount; ++row)
        record.Flags[row] = flags[row] ? 1 : 0;
    return record;
}

QVector<StyleRecord> builtInStyles()
{
    QVector<StyleRecord> records;
    for (const BuiltInStyle &style : BuiltInStyleTable) {
        StyleFlags flags{};
        for (const char *option : style.options)
            flags[catalogueRowOf(option)] = 1;
        records.append(makeStyleRecord(fromUtf8(style.name), flags));
    }
    return records;
}

StyleStore::StyleStore(const QString &configPath, UserPrompts &prompts)
    : m_configPath(configPath)
    , m_prompts(prompts)
{}

bool StyleStore::LoadStyleFile()
{
    m_records.clear();
    m_selectedIndex = 0;

    QString preservedCopy;
    // a pipe or a device would block the read or feed it garbage; it is nothing we may replace either
    if (isSpecialFile(m_configPath)) {
        m_prompts.ShowMessage(fromUtf8(CreateFailedMessage));
        return false;
    }
    const QFileInfo info(m_configPath);
    if (info.exists() && !info.isDir()) {
        QFile file(m_configPath);
        if (!file.open(QIODevice::ReadOnly)) {
            // never replace a file we could not even read: it may hold the user's styles
            m_prompts.ShowMessage(fromUtf8(CreateFailedMessage));
            return false;
        }
        StyleFileContent content = readStyleFile(file);
        file.close();
        switch (content.state) {
        case StyleFileContent::State::Sound:
            m_records = std::move(content.records);
            m_selectedIndex = content.selectedIndex;
            return true;
        case StyleFileContent::State::Damaged:
            preservedCopy = preserveDamagedFile();
            if (preservedCopy.isEmpty()) {
                m_prompts.ShowMessage(fromUtf8(CreateFailedMessage));
                return false;
            }
            break;
        case StyleFileContent::State::Empty:
            break;
        }
    }

    if (!createBuiltInFile()) {
        m_records.clear();
        m_prompts.ShowMessage(fromUtf8(CreateFailedMessage));
        return false;
    }
    if (!preservedCopy.isEmpty())
        m_prompts.ShowMessage(fromUtf8(DamagedMessage).arg(preservedCopy));
    return true;
}

bool StyleStore::createBuiltInFile()
{
    m_records = builtInStyles();
    m_selectedIndex = 3;
    return writeFileAtomically(m_configPath, serializeStyleFile(m_records, m_selectedIndex));
}

bool StyleStore::isSpecialFile(const QString &path)
{
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && !S_ISREG(status.st_mode) &&
           !S_ISDIR(status.st_mode);
}

QString StyleStore::preserveDamagedFile()
{
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const QString copyPath =
            m_configPath + QStringLiteral(".damaged") + (attempt ? QString::number(attempt) : QString());
        if (QFileInfo::exists(copyPath))
            continue;
        return QFile::copy(m_configPath, copyPath) ? copyPath : QString();
    }
    return {};
}

StyleStore::SaveOutcome StyleStore::SaveStyleAs(const QString &name, const StyleFlags &flags)
{
    int target = -1;
    for (int index = 0; index < StyleCount(); ++index) {
        if (styleName(index) != name)
            continue;
        if (index < BuiltInCount) {
            m_prompts.ShowMessage(fromUtf8(BuiltInRefusedMessage));
            return SaveOutcome::Refused;
        }
        if (!m_prompts.askWarningYesNo(fromUtf8(OverwriteQuestion)))
            return SaveOutcome::Declined;
        target = index;
    }

    const StyleRecord record = makeStyleRecord(name, flags);
    SaveOutcome outcome;
    if (target < 0) {
        m_selectedIndex = StyleCount();
        m_records.append(record);
        outcome = SaveOutcome::Added;
    } else {
        m_selectedIndex = target;
        m_records[target] = record;
        outcome = SaveOutcome::Overwritten;
    }
    WriteStyleFile();
    return outcome;
}

StyleStore::DeleteOutcome StyleStore::DeleteStyle(int listIndex)
{
    if (listIndex < BuiltInCount || listIndex >= StyleCount()) {
        m_prompts.ShowMessage(fromUtf8(DeleteRefusedMessage));
        return DeleteOutcome::Refused;
    }
    if (!m_prompts.askWarningYesNo(fromUtf8(DeleteQuestion).arg(styleName(listIndex))))
        return DeleteOutcome::Declined;

    m_records.remove(listIndex);
    m_selectedIndex = std::clamp<qint32>(m_selectedIndex - 1, 0, StyleCount() - 1);
    WriteStyleFile();
    return DeleteOutcome::Deleted;
}

bool StyleStore::WriteStyleFile()
{
    // a file that vanished while we ran is reported, not silently recreated
    const bool written = QFileInfo(m_configPath).isFile() &&
                         writeFileAtomically(m_configPath, serializeStyleFile(m_records, m_selectedIndex),
                                             InPlaceFallback::WhenDirectoryIsReadOnly);
    if (!written)
        m_prompts.ShowMessage(fromUtf8(WriteFailedMessage));
    return written;
}

void StyleStore::setSelectedIndex(int index)
{
    if (index >= 0 && index < StyleCount())
        m_selectedIndex = index;
}

QString StyleStore::styleName(int index) const
{
    const StyleRecord &stored = m_records.at(index);
    return fromAnsi(QByteArray(stored.Name, int(qstrnlen(stored.Name, StyleRecord::NameSize))));
}

StyleFlags StyleStore::styleFlags(int index) const
{
    StyleFlags flags;
    std::copy(std::begin(m_records.at(index).Flags), std::end(m_records.at(index).Flags), flags.begin());
    return flags;
}

QStringList StyleStore::styleNames() const
{
    QStringList names;
    for (int index = 0; index < StyleCount(); ++index)
        names.append(styleName(index));
    return names;
}
