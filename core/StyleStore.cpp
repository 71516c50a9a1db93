#include "StyleStore.h"

#include "AnsiText.h"
#include "AtomicFile.h"
#include "Descriptor.h"
#include "StyleFileLock.h"
#include "UserPrompts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
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
const char *const ListReloadedMessage = "另一个Zabo窗口修改了风格配置，风格列表已重新读取。";
const char *const LockBusyMessage = "配置文件正被另一个Zabo窗口使用，请稍后再试：%1";
const char *const LockFailedMessage = "配置文件操作失败！无法创建锁文件：%1\n%2";
const char *const UnreadableMessage = "配置文件操作失败！无法读取配置文件的当前内容，未做任何修改：%1";
const char *const StyleGoneMessage = "风格“%1”已被另一个Zabo窗口修改或删除，未删除。";

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

QString shownPath(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// Two records hold the same style when their names and their selected rows agree; bytes after a
// name's NUL and the value of a non-zero flag carry no meaning.
bool sameStyle(const StyleRecord &a, const StyleRecord &b)
{
    if (std::strncmp(a.Name, b.Name, StyleRecord::NameSize) != 0)
        return false;
    for (int row = 0; row < OptionCount; ++row) {
        if ((a.Flags[row] != 0) != (b.Flags[row] != 0))
            return false;
    }
    return true;
}

bool sameStyles(const QVector<StyleRecord> &a, const QVector<StyleRecord> &b)
{
    return std::equal(a.cbegin(), a.cend(), b.cbegin(), b.cend(), sameStyle);
}

// The configuration file as it is now. Opened without blocking and read only when it is a regular file,
// so a pipe or a device put in its place is refused at once instead of stalling the window.
struct CurrentFile
{
    enum class State { Missing, Unreadable, Read };
    State state = State::Unreadable;
    StyleFileContent content;
};

CurrentFile readCurrentFile(const QString &path)
{
    CurrentFile current;
    Descriptor fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT)
            current.state = CurrentFile::State::Missing;
        return current;
    }
    struct stat status;
    if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return current;
    QFile file;
    if (!file.open(fd.release(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return current;
    current.content = readStyleFile(file);
    current.state = CurrentFile::State::Read;
    return current;
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

// Holds the style file's lock for one read-modify-write; what was told meanwhile is shown once released.
class StyleStore::LockedStep
{
public:
    explicit LockedStep(StyleStore &store)
        : m_store(store)
        , m_lock(store.m_configPath)
    {
        ++m_store.m_lockingSteps;
    }
    ~LockedStep()
    {
        m_lock.unlock();
        if (--m_store.m_lockingSteps > 0)
            return;
        const QStringList told = std::exchange(m_store.m_toldWhileLocked, {});
        for (const QString &text : told)
            m_store.m_prompts.ShowMessage(text);
    }
    LockedStep(const LockedStep &) = delete;
    LockedStep &operator=(const LockedStep &) = delete;

    StyleFileLock &lock() { return m_lock; }

private:
    StyleStore &m_store;
    StyleFileLock m_lock;
};

void StyleStore::tell(const QString &text)
{
    if (m_lockingSteps > 0)
        m_toldWhileLocked.append(text);
    else
        m_prompts.ShowMessage(text);
}

StyleStore::StyleStore(const QString &configPath, UserPrompts &prompts)
    : m_configPath(configPath)
    , m_prompts(prompts)
    , m_createFailedMessage(fromUtf8(CreateFailedMessage))
{}

bool StyleStore::LoadStyleFile()
{
    m_records.clear();
    m_onDisk.clear();
    m_selectedIndex = 0;

    LockedStep step(*this);
    // without a lock file (no directory yet, a full disk) the steps below fail or succeed as they would
    if (step.lock().lock() == StyleFileLock::Result::Busy) {
        tell(fromUtf8(LockBusyMessage).arg(shownPath(m_configPath)));
        return false;
    }
    return loadLocked();
}

bool StyleStore::loadLocked()
{
    QString preservedCopy;
    const CurrentFile current = readCurrentFile(m_configPath);
    if (current.state == CurrentFile::State::Unreadable) {
        // never replace what we could not read: it may hold the user's styles, or be no file at all
        tell(m_createFailedMessage);
        return false;
    }
    if (current.state == CurrentFile::State::Read) {
        switch (current.content.state) {
        case StyleFileContent::State::Sound:
            m_records = current.content.records;
            m_onDisk = m_records;
            m_selectedIndex = current.content.selectedIndex;
            return true;
        case StyleFileContent::State::Damaged:
            preservedCopy = preserveDamagedFile();
            if (preservedCopy.isEmpty()) {
                tell(m_createFailedMessage);
                return false;
            }
            break;
        case StyleFileContent::State::Empty:
            break;
        }
    }

    if (!createBuiltInFile()) {
        m_records.clear();
        tell(m_createFailedMessage);
        return false;
    }
    if (!preservedCopy.isEmpty())
        tell(fromUtf8(DamagedMessage).arg(preservedCopy));
    return true;
}

bool StyleStore::createBuiltInFile()
{
    m_records = builtInStyles();
    m_selectedIndex = 3;
    if (!writeFileAtomically(m_configPath, serializeStyleFile(m_records, m_selectedIndex)))
        return false;
    m_onDisk = m_records;
    return true;
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
    m_listReloaded = false;
    if (!syncWithFile())
        return SaveOutcome::Failed;
    bool overwriteConfirmed = false;
    for (int index = 0; index < StyleCount(); ++index) {
        if (styleName(index) != name)
            continue;
        if (index < BuiltInCount) {
            tell(fromUtf8(BuiltInRefusedMessage));
            return SaveOutcome::Refused;
        }
        if (!m_prompts.askWarningYesNo(fromUtf8(OverwriteQuestion)))
            return SaveOutcome::Declined;
        overwriteConfirmed = true;
    }

    LockedStep step(*this);
    if (!lockAndSync(step.lock()))
        return SaveOutcome::Failed;
    // Looked up again: the list may have changed while the question was open. A name that another
    // instance has just taken is saved beside that style rather than over it, unasked.
    const int target = overwriteConfirmed ? lastUserStyleNamed(name) : -1;
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
    m_listReloaded = false;
    if (listIndex < BuiltInCount || listIndex >= StyleCount()) {
        tell(fromUtf8(DeleteRefusedMessage));
        return DeleteOutcome::Refused;
    }
    const StyleRecord chosen = m_records.at(listIndex);
    const QString name = styleName(listIndex);
    if (!syncWithFile())
        return DeleteOutcome::Failed;
    if (indexOfStyle(chosen, listIndex) >= 0 &&
        !m_prompts.askWarningYesNo(fromUtf8(DeleteQuestion).arg(name)))
        return DeleteOutcome::Declined;

    LockedStep step(*this);
    if (!lockAndSync(step.lock()))
        return DeleteOutcome::Failed;
    // what the person chose, wherever it is now; a style changed or deleted elsewhere stays as it is
    const int index = indexOfStyle(chosen, listIndex);
    if (index < 0) {
        tell(fromUtf8(StyleGoneMessage).arg(name));
        return DeleteOutcome::Failed;
    }
    m_records.remove(index);
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
    if (written)
        m_onDisk = m_records;
    else
        tell(fromUtf8(WriteFailedMessage));
    return written;
}

bool StyleStore::syncWithFile()
{
    LockedStep step(*this);
    return lockAndSync(step.lock());
}

bool StyleStore::lockAndSync(StyleFileLock &lock)
{
    switch (lock.lock()) {
    case StyleFileLock::Result::Locked:
        break;
    case StyleFileLock::Result::Busy:
        tell(fromUtf8(LockBusyMessage).arg(shownPath(m_configPath)));
        return false;
    case StyleFileLock::Result::Failed:
        tell(fromUtf8(LockFailedMessage).arg(shownPath(lock.lockFilePath()), lock.errorText()));
        return false;
    }
    const CurrentFile current = readCurrentFile(m_configPath);
    // a vanished file is left to the write, which reports it
    if (current.state == CurrentFile::State::Missing)
        return true;
    if (current.state == CurrentFile::State::Unreadable ||
        current.content.state != StyleFileContent::State::Sound) {
        tell(fromUtf8(UnreadableMessage).arg(shownPath(m_configPath)));
        return false;
    }
    if (!sameStyles(current.content.records, m_onDisk))
        takeOver(current.content);
    return true;
}

// The selection follows the style it was on, wherever that is now.
void StyleStore::takeOver(const StyleFileContent &content)
{
    const bool hadSelection = m_selectedIndex >= 0 && m_selectedIndex < StyleCount();
    const StyleRecord selected = hadSelection ? m_records.at(m_selectedIndex) : StyleRecord{};
    const int previousIndex = m_selectedIndex;
    m_records = content.records;
    m_onDisk = content.records;
    const int found = hadSelection ? indexOfStyle(selected, previousIndex) : -1;
    m_selectedIndex = found >= 0 ? found : content.selectedIndex;
    if (!m_listReloaded) {
        m_listReloaded = true;
        tell(fromUtf8(ListReloadedMessage));
    }
}

int StyleStore::indexOfStyle(const StyleRecord &style, int preferredIndex) const
{
    if (preferredIndex >= 0 && preferredIndex < StyleCount() &&
        sameStyle(m_records.at(preferredIndex), style))
        return preferredIndex;
    for (int index = BuiltInCount; index < StyleCount(); ++index) {
        if (sameStyle(m_records.at(index), style))
            return index;
    }
    return -1;
}

int StyleStore::lastUserStyleNamed(const QString &name) const
{
    for (int index = StyleCount() - 1; index >= BuiltInCount; --index) {
        if (styleName(index) == name)
            return index;
    }
    return -1;
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
