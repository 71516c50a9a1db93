#include "HangLimit.h"
#include "ScriptedPrompts.h"
#include "StyleStore.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <algorithm>
#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

const QString WriteFailed = QString::fromUtf8("配置文件操作失败！");
const QString CreateFailed = QString::fromUtf8("配置文件创建失败，请确认程序所在目录可写！");
const QString BuiltInRefused = QString::fromUtf8("前四项为默认配置项，不可修改");
const QString OverwriteQuestion = QString::fromUtf8("与已有配置项重名，是否覆盖配置信息?");
const QString DeleteRefused = QString::fromUtf8("软件自带项，不可删除！");
const QString ListReloaded = QString::fromUtf8("另一个Zabo窗口修改了风格配置，风格列表已重新读取。");
const QString LockBusy = QString::fromUtf8("配置文件正被另一个Zabo窗口使用，请稍后再试：%1");
const QString StyleGone = QString::fromUtf8("风格“%1”已被另一个Zabo窗口修改或删除，未删除。");

QByteArray header(qint32 count, qint32 selected)
{
    QByteArray bytes(8, '\0');
    qToLittleEndian(count, bytes.data());
    qToLittleEndian(selected, bytes.data() + 4);
    return bytes;
}

// A record built byte by byte, independently of the store's own code.
QByteArray recordBytes(const QByteArray &name, const QList<int> &rows)
{
    QByteArray bytes(348, '\0');
    bytes.replace(0, name.size(), name);
    for (int row : rows)
        bytes[255 + row] = 1;
    return bytes;
}

StyleFlags flagsOf(const QList<int> &rows)
{
    StyleFlags flags{};
    for (int row : rows)
        flags[row] = 1;
    return flags;
}

const QList<int> RecommendedRows = {1,  2,  3,  6,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 23, 28, 33, 34,
                                    39, 43, 44, 49, 50, 51, 62, 69, 73, 78, 79, 80, 83, 84, 85, 86, 88, 90};

QByteArray builtInFileBytes()
{
    return header(4, 3) + recordBytes("GNU", {30}) + recordBytes("K&&R", {35}) + recordBytes("ORIG", {71}) +
           recordBytes(QByteArray::fromHex("5a61626fcdc6bcf6b7e7b8f1"), RecommendedRows);
}

// Lets another instance act while the person is still answering a question.
class PromptsWithInterlude : public ScriptedPrompts
{
public:
    std::function<void()> whileAsking;

    bool askWarningYesNo(const QString &question) override
    {
        if (whileAsking)
            std::exchange(whileAsking, nullptr)();
        return ScriptedPrompts::askWarningYesNo(question);
    }
};

// Notes, for every message and question, whether the style file's lock was held while it was open.
class LockWatchingPrompts : public ScriptedPrompts
{
public:
    explicit LockWatchingPrompts(const QString &configPath)
        : m_lockPath(configPath + QStringLiteral(".lock"))
    {}
    void ShowMessage(const QString &text) override
    {
        note();
        ScriptedPrompts::ShowMessage(text);
    }
    bool askWarningYesNo(const QString &question) override
    {
        note();
        return ScriptedPrompts::askWarningYesNo(question);
    }
    int asked = 0;
    int askedWhileLocked = 0;

private:
    void note()
    {
        ++asked;
        if (QFileInfo::exists(m_lockPath))
            ++askedWhileLocked;
    }
    QString m_lockPath;
};

// The user's styles as the file holds them, each as "name/row" with the rows it ticks.
QStringList userStylesInFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("(unreadable)")};
    const StyleFileContent content = readStyleFile(file);
    QStringList styles;
    for (qsizetype index = StyleStore::BuiltInCount; index < content.records.size(); ++index) {
        const StyleRecord &record = content.records.at(index);
        QString style = QString::fromLatin1(record.Name);
        for (int row = 0; row < OptionCount; ++row) {
            if (record.Flags[row])
                style += QLatin1Char('/') + QString::number(row);
        }
        styles.append(style);
    }
    return styles;
}

QChar outcomeLetter(StyleStore::SaveOutcome outcome)
{
    return QLatin1Char("rnaof"[int(outcome)]);
}

QChar outcomeLetter(StyleStore::DeleteOutcome outcome)
{
    return QLatin1Char("rndf"[int(outcome)]);
}

// Another running instance, as far as the configuration file can tell: it holds the lock until its
// standard input closes, or leaves it behind when killed.
class LockHolder
{
public:
    explicit LockHolder(const QString &lockPath)
    {
        m_process.start(QStringLiteral(LOCK_HOLDER_PATH), {lockPath});
        m_locked = m_process.waitForReadyRead(HangMilliseconds) && m_process.readLine() == "locked\n";
    }
    ~LockHolder()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    bool locked() const { return m_locked; }
    bool release()
    {
        m_process.closeWriteChannel();
        return m_process.waitForFinished(HangMilliseconds) && m_process.exitCode() == 0;
    }
    bool kill()
    {
        m_process.kill();
        return m_process.waitForFinished(HangMilliseconds);
    }

private:
    QProcess m_process;
    bool m_locked = false;
};

} // namespace

class TestStyleStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void firstStartWritesTheBuiltInFile();
    void fileIsReloadedAsWritten();
    void headerOfZeroStylesIsReplacedByBuiltIns();
    void unwritableDirectoryIsFatal();
    void damagedFiles_data();
    void damagedFiles();
    void selectedIndexOutOfRangeKeepsTheStyles_data();
    void selectedIndexOutOfRangeKeepsTheStyles();
    void nameWithoutNulIsCutNotOverrun();

    void saveNewName();
    void builtInNamesAreRefused_data();
    void builtInNamesAreRefused();
    void overwriteAfterYes();
    void answeringNoChangesNothing();
    void nameOutsideGbkIsStoredWithSubstitutes();
    void emptyNameIsAStyleLikeAnyOther();

    void deleteAsksAndSelectsThePreviousStyle();
    void deleteRefusesBuiltInsAndNoSelection_data();
    void deleteRefusesBuiltInsAndNoSelection();

    void vanishedFileIsReportedAndMemoryKeepsTheChange();
    void writeThatFailsHalfWayLeavesTheOldFile();
    void specialFilesAreRefusedWithoutWaiting_data();
    void specialFilesAreRefusedWithoutWaiting();
    void readOnlyDirectoryWithWritableFileStillSaves();
    void readOnlyDirectoryLocksTheFileItself();

    void twoInstancesTakeTurns_data();
    void twoInstancesTakeTurns();
    void changesWhileAQuestionIsOpenAreMerged_data();
    void changesWhileAQuestionIsOpenAreMerged();
    void unreadableFileAtSaveChangesNothing();
    void liveLockIsWaitedForThenReported();
    void staleLockOfAKilledInstanceIsTakenOver();
    void noMessageIsOpenWhileTheLockIsHeld_data();
    void noMessageIsOpenWhileTheLockIsHeld();

private:
    StyleStore &loadedStore();
    bool leaveOnlyTheFileWritable();

    QScopedPointer<QTemporaryDir> m_dir;
    QString m_configPath;
    ScriptedPrompts m_prompts;
    QScopedPointer<StyleStore> m_store;
};

void TestStyleStore::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_configPath = m_dir->filePath(QStringLiteral("Zabocfg.dat"));
    m_prompts = ScriptedPrompts();
    m_store.reset();
}

StyleStore &TestStyleStore::loadedStore()
{
    m_store.reset(new StyleStore(m_configPath, m_prompts));
    [this] { QVERIFY(m_store->LoadStyleFile()); }();
    return *m_store;
}

void TestStyleStore::firstStartWritesTheBuiltInFile()
{
    StyleStore &store = loadedStore();
    QCOMPARE(readAll(m_configPath), builtInFileBytes());
    QCOMPARE(store.styleNames(), QStringList({QStringLiteral("GNU"), QStringLiteral("K&&R"),
                                              QStringLiteral("ORIG"), QString::fromUtf8("Zabo推荐风格")}));
    QCOMPARE(store.SelectedIndex(), 3);
    QVERIFY(m_prompts.messages.isEmpty());
}

void TestStyleStore::fileIsReloadedAsWritten()
{
    loadedStore().SaveStyleAs(QStringLiteral("mine"), flagsOf({5, 92}));
    const QByteArray written = readAll(m_configPath);

    StyleStore &reloaded = loadedStore();
    QCOMPARE(reloaded.StyleCount(), 5);
    QCOMPARE(reloaded.SelectedIndex(), 4);
    QCOMPARE(reloaded.styleName(4), QStringLiteral("mine"));
    QCOMPARE(reloaded.styleFlags(4), flagsOf({5, 92}));
    QCOMPARE(readAll(m_configPath), written);
}

void TestStyleStore::headerOfZeroStylesIsReplacedByBuiltIns()
{
    QVERIFY(writeAll(m_configPath, header(0, 7) + QByteArray(500, 'x')));
    QCOMPARE(loadedStore().StyleCount(), 4);
    QCOMPARE(readAll(m_configPath), builtInFileBytes());
    QVERIFY(m_prompts.messages.isEmpty());
}

void TestStyleStore::unwritableDirectoryIsFatal()
{
    StyleStore store(unwritablePath(m_dir->path(), QStringLiteral("Zabocfg.dat")), m_prompts);
    QVERIFY(!store.LoadStyleFile());
    QCOMPARE(m_prompts.messages, QStringList{CreateFailed});

    // a directory of the configuration file's name is no file and cannot be replaced by one
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("Zabocfg.dat")));
    StyleStore blocked(m_configPath, m_prompts);
    QVERIFY(!blocked.LoadStyleFile());
    QVERIFY(QFileInfo(m_configPath).isDir());
}

void TestStyleStore::damagedFiles_data()
{
    QTest::addColumn<QByteArray>("contents");
    const QByteArray one = recordBytes("mine", {1});
    QTest::newRow("shorter than the header") << QByteArray("\x05\x00\x00", 3);
    QTest::newRow("fewer records than counted") << header(2, 0) + one;
    QTest::newRow("half a record") << header(1, 0) + one.left(100);
    QTest::newRow("negative count") << header(-1, 0) + one;
    QTest::newRow("absurd count") << header(0x7FFFFFFF, 0) + one;
}

void TestStyleStore::damagedFiles()
{
    QFETCH(QByteArray, contents);
    QVERIFY(writeAll(m_configPath, contents));

    StyleStore &store = loadedStore();
    QCOMPARE(store.StyleCount(), 4);
    QCOMPARE(readAll(m_configPath), builtInFileBytes());
    const QString copy = m_configPath + QStringLiteral(".damaged");
    QCOMPARE(readAll(copy), contents);
    QCOMPARE(m_prompts.messages.size(), 1);
    QVERIFY(m_prompts.messages.first().contains(copy));

    // a second damaged file never overwrites the first copy
    QVERIFY(writeAll(m_configPath, contents));
    loadedStore();
    QCOMPARE(readAll(copy), contents);
    QCOMPARE(readAll(copy + QLatin1Char('1')), contents);
}

void TestStyleStore::selectedIndexOutOfRangeKeepsTheStyles_data()
{
    QTest::addColumn<qint32>("selected");
    QTest::addColumn<int>("expected");
    QTest::newRow("past the end") << 99 << 4;
    QTest::newRow("negative") << -3 << 0;
}

void TestStyleStore::selectedIndexOutOfRangeKeepsTheStyles()
{
    QFETCH(qint32, selected);
    QFETCH(int, expected);
    const QByteArray contents = builtInFileBytes().mid(8) + recordBytes("mine", {7});
    QVERIFY(writeAll(m_configPath, header(5, selected) + contents));

    StyleStore &store = loadedStore();
    QCOMPARE(store.StyleCount(), 5);
    QCOMPARE(store.SelectedIndex(), expected);
    QCOMPARE(store.styleName(4), QStringLiteral("mine"));
    QCOMPARE(readAll(m_configPath), header(5, selected) + contents);
}

void TestStyleStore::nameWithoutNulIsCutNotOverrun()
{
    QByteArray record = recordBytes(QByteArray(255, 'a'), {0});
    QVERIFY(writeAll(m_configPath, header(5, 4) + builtInFileBytes().mid(8) + record));
    StyleStore &store = loadedStore();
    QCOMPARE(store.styleName(4), QString(254, QLatin1Char('a')));
    QCOMPARE(store.styleFlags(4), flagsOf({0}));
}

void TestStyleStore::saveNewName()
{
    StyleStore &store = loadedStore();
    QCOMPARE(store.SaveStyleAs(QStringLiteral("K&R"), flagsOf({35, 33})), StyleStore::SaveOutcome::Added);
    QCOMPARE(store.SaveStyleAs(QStringLiteral("gnu"), flagsOf({30})), StyleStore::SaveOutcome::Added);
    QVERIFY(m_prompts.questions.isEmpty());
    QCOMPARE(store.StyleCount(), 6);
    QCOMPARE(store.SelectedIndex(), 5);
    QCOMPARE(readAll(m_configPath), header(6, 5) + builtInFileBytes().mid(8) + recordBytes("K&R", {33, 35}) +
                                        recordBytes("gnu", {30}));
}

void TestStyleStore::builtInNamesAreRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("GNU") << QStringLiteral("GNU");
    QTest::newRow("K&&R") << QStringLiteral("K&&R");
    QTest::newRow("ORIG") << QStringLiteral("ORIG");
    QTest::newRow("recommended") << QString::fromUtf8("Zabo推荐风格");
}

void TestStyleStore::builtInNamesAreRefused()
{
    QFETCH(QString, name);
    StyleStore &store = loadedStore();
    store.SaveStyleAs(QStringLiteral("mine"), flagsOf({1}));
    const QByteArray before = readAll(m_configPath);

    QCOMPARE(store.SaveStyleAs(name, flagsOf({2})), StyleStore::SaveOutcome::Refused);
    QCOMPARE(m_prompts.messages, QStringList{BuiltInRefused});
    QVERIFY(m_prompts.questions.isEmpty());
    QCOMPARE(store.StyleCount(), 5);
    QCOMPARE(store.SelectedIndex(), 4);
    QCOMPARE(readAll(m_configPath), before);
}

void TestStyleStore::overwriteAfterYes()
{
    StyleStore &store = loadedStore();
    store.SaveStyleAs(QStringLiteral("first"), flagsOf({1}));
    store.SaveStyleAs(QStringLiteral("second"), flagsOf({2}));
    store.setSelectedIndex(5);

    m_prompts.queueAnswer(true);
    QCOMPARE(store.SaveStyleAs(QStringLiteral("first"), flagsOf({3})), StyleStore::SaveOutcome::Overwritten);
    QCOMPARE(m_prompts.questions, QStringList{OverwriteQuestion});
    QCOMPARE(store.StyleCount(), 6);
    QCOMPARE(store.SelectedIndex(), 4);
    QCOMPARE(readAll(m_configPath), header(6, 4) + builtInFileBytes().mid(8) + recordBytes("first", {3}) +
                                        recordBytes("second", {2}));
}

void TestStyleStore::answeringNoChangesNothing()
{
    StyleStore &store = loadedStore();
    store.SaveStyleAs(QStringLiteral("first"), flagsOf({1}));
    store.SaveStyleAs(QStringLiteral("second"), flagsOf({2}));
    const QByteArray before = readAll(m_configPath);

    m_prompts.queueAnswer(false);
    QCOMPARE(store.SaveStyleAs(QStringLiteral("first"), flagsOf({3})), StyleStore::SaveOutcome::Declined);
    m_prompts.queueAnswer(false);
    QCOMPARE(store.DeleteStyle(5), StyleStore::DeleteOutcome::Declined);

    QCOMPARE(store.SelectedIndex(), 5);
    QCOMPARE(store.styleFlags(4), flagsOf({1}));
    QCOMPARE(store.StyleCount(), 6);
    QCOMPARE(readAll(m_configPath), before);
}

void TestStyleStore::nameOutsideGbkIsStoredWithSubstitutes()
{
    StyleStore &store = loadedStore();
    store.SaveStyleAs(QString::fromUtf8("风格😀é"), flagsOf({}));
    QCOMPARE(store.styleName(4), QString::fromUtf8("风格?é"));
    QCOMPARE(readAll(m_configPath).mid(8 + 4 * 348, 8), QByteArray::fromHex("b7e7b8f13fa8a600"));
}

void TestStyleStore::emptyNameIsAStyleLikeAnyOther()
{
    StyleStore &store = loadedStore();
    QCOMPARE(store.SaveStyleAs(QString(), flagsOf({4})), StyleStore::SaveOutcome::Added);
    QCOMPARE(store.styleName(4), QString());
    m_prompts.queueAnswer(true);
    QCOMPARE(store.SaveStyleAs(QString(), flagsOf({5})), StyleStore::SaveOutcome::Overwritten);
}

void TestStyleStore::deleteAsksAndSelectsThePreviousStyle()
{
    StyleStore &store = loadedStore();
    store.SaveStyleAs(QStringLiteral("mine"), flagsOf({1}));
    QCOMPARE(QFileInfo(m_configPath).size(), 1748);

    QCOMPARE(store.DeleteStyle(4), StyleStore::DeleteOutcome::Deleted);
    QCOMPARE(m_prompts.questions, QStringList{QString::fromUtf8("确定要删除mine风格配置项吗？")});
    QCOMPARE(store.StyleCount(), 4);
    QCOMPARE(store.SelectedIndex(), 3);
    // the file holds exactly what is left: no stale record lingers after the last one
    QCOMPARE(readAll(m_configPath), builtInFileBytes());
}

void TestStyleStore::deleteRefusesBuiltInsAndNoSelection_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("no selection") << -1;
    QTest::newRow("GNU") << 0;
    QTest::newRow("recommended") << 3;
}

void TestStyleStore::deleteRefusesBuiltInsAndNoSelection()
{
    QFETCH(int, index);
    StyleStore &store = loadedStore();
    QCOMPARE(store.DeleteStyle(index), StyleStore::DeleteOutcome::Refused);
    QCOMPARE(m_prompts.messages, QStringList{DeleteRefused});
    QVERIFY(m_prompts.questions.isEmpty());
    QCOMPARE(store.StyleCount(), 4);
    QCOMPARE(readAll(m_configPath), builtInFileBytes());
}

void TestStyleStore::vanishedFileIsReportedAndMemoryKeepsTheChange()
{
    StyleStore &store = loadedStore();
    QVERIFY(QFile::remove(m_configPath));
    QCOMPARE(store.SaveStyleAs(QStringLiteral("mine"), flagsOf({1})), StyleStore::SaveOutcome::Added);
    QCOMPARE(m_prompts.messages, QStringList{WriteFailed});
    QCOMPARE(store.StyleCount(), 5);
    QVERIFY(!QFile::exists(m_configPath));
}

void TestStyleStore::writeThatFailsHalfWayLeavesTheOldFile()
{
    StyleStore &store = loadedStore();
    store.SaveStyleAs(QStringLiteral("mine"), flagsOf({1}));
    const QByteArray before = readAll(m_configPath);

    // the kernel refuses every byte past the limit, so the new file is cut off mid-record
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = 1000;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    store.SaveStyleAs(QStringLiteral("another"), flagsOf({2}));
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &saved), 0);

    QCOMPARE(m_prompts.messages, QStringList{WriteFailed});
    QCOMPARE(store.StyleCount(), 6);
    QCOMPARE(readAll(m_configPath), before);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{QStringLiteral("Zabocfg.dat")});
}

void TestStyleStore::specialFilesAreRefusedWithoutWaiting_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("pipe") << "pipe";
    QTest::newRow("link to a device") << "device";
}

void TestStyleStore::specialFilesAreRefusedWithoutWaiting()
{
    QFETCH(QString, kind);
    // a pipe without a writer would block the read for ever; a device is nothing to replace
    if (kind == QLatin1String("pipe"))
        QCOMPARE(::mkfifo(QFile::encodeName(m_configPath).constData(), 0600), 0);
    else
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), m_configPath));
    StyleStore store(m_configPath, m_prompts);
    QVERIFY(!store.LoadStyleFile());
    QCOMPARE(m_prompts.messages, QStringList{CreateFailed});
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("Zabocfg.dat")});
}

// The user may write the file but not its directory, so no new file can be made beside it.
bool TestStyleStore::leaveOnlyTheFileWritable()
{
    return makeReachable(m_dir->path()) &&
           (::chown(QFile::encodeName(m_configPath).constData(), 65534, 65534) == 0 || ::geteuid() != 0) &&
           QFile(m_dir->path())
               .setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther |
                               QFileDevice::ExeOther);
}

void TestStyleStore::readOnlyDirectoryWithWritableFileStillSaves()
{
    StyleStore &store = loadedStore();
    QVERIFY(leaveOnlyTheFileWritable());
    {
        const UnprivilegedScope user;
        QCOMPARE(store.SaveStyleAs(QStringLiteral("mine"), flagsOf({1})), StyleStore::SaveOutcome::Added);
    }
    QVERIFY(QFile(m_dir->path())
                .setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    QVERIFY(m_prompts.messages.isEmpty());
    QCOMPARE(readAll(m_configPath),
             builtInFileBytes().replace(0, 8, header(5, 4)) + recordBytes("mine", {1}));
}

void TestStyleStore::readOnlyDirectoryLocksTheFileItself()
{
    StyleStore &store = loadedStore();
    QVERIFY(leaveOnlyTheFileWritable());
    // another instance in the same place locks the file itself, as util-linux flock(1) does here
    QProcess other;
    other.start(QStringLiteral("flock"), {QStringLiteral("--exclusive"), m_configPath, QStringLiteral("-c"),
                                          QStringLiteral("echo locked; cat")});
    QVERIFY(other.waitForReadyRead(HangMilliseconds));
    QCOMPARE(other.readLine(), QByteArray("locked\n"));
    {
        const UnprivilegedScope user;
        QCOMPARE(store.SaveStyleAs(QStringLiteral("mine"), flagsOf({1})), StyleStore::SaveOutcome::Failed);
    }
    QCOMPARE(m_prompts.messages, QStringList{LockBusy.arg(m_configPath)});
    other.closeWriteChannel();
    QVERIFY(other.waitForFinished(HangMilliseconds));
    {
        const UnprivilegedScope user;
        QCOMPARE(store.SaveStyleAs(QStringLiteral("mine"), flagsOf({1})), StyleStore::SaveOutcome::Added);
    }
    QVERIFY(QFile(m_dir->path())
                .setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    QCOMPARE(userStylesInFile(m_configPath), QStringList{"mine/1"});
}

void TestStyleStore::twoInstancesTakeTurns_data()
{
    // "A+name" saves the name in instance A, ticking the row of the step's number (answering Yes when
    // asked to overwrite); "B-name" deletes the style of that name from B's list, answering Yes.
    QTest::addColumn<QStringList>("steps");
    // per step: a(dded), o(verwritten), d(eleted), f(ailed); upper case when that step found the list
    // changed by the other instance and took it over
    QTest::addColumn<QString>("outcomes");
    QTest::addColumn<QStringList>("styles"); // the user's styles in the file at the end

    QTest::newRow("A saves, then B") << QStringList{"A+StyleA", "B+StyleB"} << "aA"
                                     << QStringList{"StyleA/0", "StyleB/1"};
    QTest::newRow("turn after turn") << QStringList{"A+one", "B+two", "A+three"} << "aAA"
                                     << QStringList{"one/0", "two/1", "three/2"};
    QTest::newRow("nothing new from the other")
        << QStringList{"A+one", "A+two", "B+three"} << "aaA" << QStringList{"one/0", "two/1", "three/2"};
    QTest::newRow("a delete after the other's save")
        << QStringList{"A+one", "B+two", "A-one"} << "aAD" << QStringList{"two/1"};
    QTest::newRow("deleting what the other deleted")
        << QStringList{"A+one", "B+two", "A-one", "B-one"} << "aADF" << QStringList{"two/1"};
    QTest::newRow("the same new name in both")
        << QStringList{"A+mine", "B+mine"} << "aO" << QStringList{"mine/1"};
    QTest::newRow("overwriting after the other's save")
        << QStringList{"A+one", "B+two", "A+one"} << "aAO" << QStringList{"one/2", "two/1"};
}

void TestStyleStore::twoInstancesTakeTurns()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, outcomes);
    QFETCH(QStringList, styles);
    loadedStore();
    ScriptedPrompts promptsA;
    ScriptedPrompts promptsB;
    StyleStore a(m_configPath, promptsA);
    StyleStore b(m_configPath, promptsB);
    QVERIFY(a.LoadStyleFile() && b.LoadStyleFile());

    for (int step = 0; step < steps.size(); ++step) {
        const bool inA = steps.at(step).startsWith(QLatin1Char('A'));
        StyleStore &store = inA ? a : b;
        ScriptedPrompts &prompts = inA ? promptsA : promptsB;
        const QString name = steps.at(step).mid(2);
        prompts.messages.clear();
        const QChar outcome = steps.at(step).at(1) == QLatin1Char('+')
                                  ? outcomeLetter(store.SaveStyleAs(name, flagsOf({step})))
                                  : outcomeLetter(store.DeleteStyle(int(store.styleNames().indexOf(name))));
        const QChar expected = outcomes.at(step);
        QCOMPARE(outcome, expected.toLower());
        QCOMPARE(store.listReloaded(), expected.isUpper());
        QCOMPARE(prompts.messages.contains(ListReloaded), expected.isUpper());
        if (expected == QLatin1Char('F'))
            QVERIFY(prompts.messages.contains(StyleGone.arg(name)));
        // what this instance shows is what the file holds
        QCOMPARE(store.styleNames().mid(StyleStore::BuiltInCount),
                 userStylesInFile(m_configPath).replaceInStrings(QRegularExpression("/.*"), QString()));
    }
    QCOMPARE(userStylesInFile(m_configPath), styles);
}

void TestStyleStore::changesWhileAQuestionIsOpenAreMerged_data()
{
    QTest::addColumn<bool>("deleteInA");    // A deletes "mine"; otherwise A saves over it with row 9
    QTest::addColumn<QString>("otherStep"); // what B does while A's question is open
    QTest::addColumn<QChar>("outcome");
    QTest::addColumn<QStringList>("styles");

    QTest::newRow("B deletes what A overwrites: saved anew")
        << false << "-mine" << QChar('a') << QStringList{"mine/9"};
    QTest::newRow("B adds another style: both kept")
        << false << "+other" << QChar('o') << QStringList{"mine/9", "other/7"};
    QTest::newRow("B changes what A deletes: B's change stays")
        << true << "+mine" << QChar('f') << QStringList{"mine/7"};
    QTest::newRow("B adds another style while A deletes")
        << true << "+other" << QChar('d') << QStringList{"other/7"};
}

void TestStyleStore::changesWhileAQuestionIsOpenAreMerged()
{
    QFETCH(bool, deleteInA);
    QFETCH(QString, otherStep);
    QFETCH(QChar, outcome);
    QFETCH(QStringList, styles);
    loadedStore().SaveStyleAs(QStringLiteral("mine"), flagsOf({1}));
    PromptsWithInterlude promptsA;
    ScriptedPrompts promptsB;
    StyleStore a(m_configPath, promptsA);
    StyleStore b(m_configPath, promptsB);
    QVERIFY(a.LoadStyleFile() && b.LoadStyleFile());

    promptsA.whileAsking = [&] {
        const QString name = otherStep.mid(1);
        if (otherStep.startsWith(QLatin1Char('+')))
            b.SaveStyleAs(name, flagsOf({7}));
        else
            b.DeleteStyle(int(b.styleNames().indexOf(name)));
    };
    const QChar result = deleteInA ? outcomeLetter(a.DeleteStyle(4))
                                   : outcomeLetter(a.SaveStyleAs(QStringLiteral("mine"), flagsOf({9})));
    QCOMPARE(promptsA.questions.size(), 1);
    QCOMPARE(result, outcome);
    QVERIFY(a.listReloaded());
    QCOMPARE(promptsA.messages.first(), ListReloaded);
    QCOMPARE(userStylesInFile(m_configPath), styles);
}

void TestStyleStore::unreadableFileAtSaveChangesNothing()
{
    StyleStore &store = loadedStore();
    // another program left half a file where the styles were
    const QByteArray damaged = builtInFileBytes().left(600);
    QVERIFY(writeAll(m_configPath, damaged));
    QCOMPARE(store.SaveStyleAs(QStringLiteral("mine"), flagsOf({1})), StyleStore::SaveOutcome::Failed);
    QCOMPARE(m_prompts.messages.size(), 1);
    QVERIFY(m_prompts.messages.first().contains(m_configPath));
    QCOMPARE(store.StyleCount(), 4);
    QCOMPARE(readAll(m_configPath), damaged);
}

void TestStyleStore::liveLockIsWaitedForThenReported()
{
    StyleStore &store = loadedStore();
    const QByteArray before = readAll(m_configPath);
    const QString lockPath = m_configPath + QStringLiteral(".lock");
    LockHolder other(lockPath);
    QVERIFY(other.locked());

    QCOMPARE(store.SaveStyleAs(QStringLiteral("mine"), flagsOf({1})), StyleStore::SaveOutcome::Failed);
    QCOMPARE(m_prompts.messages, QStringList{LockBusy.arg(m_configPath)});
    QCOMPARE(store.StyleCount(), 4);
    QCOMPARE(readAll(m_configPath), before);
    // an instance starting meanwhile neither reads a file being rewritten nor recreates it
    ScriptedPrompts startingPrompts;
    StyleStore starting(m_configPath, startingPrompts);
    QVERIFY(!starting.LoadStyleFile());
    QCOMPARE(startingPrompts.messages, QStringList{LockBusy.arg(m_configPath)});

    QVERIFY(other.release());
    QCOMPARE(store.SaveStyleAs(QStringLiteral("mine"), flagsOf({1})), StyleStore::SaveOutcome::Added);
    QCOMPARE(userStylesInFile(m_configPath), QStringList{"mine/1"});
}

void TestStyleStore::staleLockOfAKilledInstanceIsTakenOver()
{
    StyleStore &store = loadedStore();
    const QString lockPath = m_configPath + QStringLiteral(".lock");
    LockHolder killed(lockPath);
    QVERIFY(killed.locked());
    QVERIFY(killed.kill());
    QVERIFY(QFileInfo::exists(lockPath));

    QCOMPARE(store.SaveStyleAs(QStringLiteral("mine"), flagsOf({1})), StyleStore::SaveOutcome::Added);
    QVERIFY(m_prompts.messages.isEmpty());
    QCOMPARE(userStylesInFile(m_configPath), QStringList{"mine/1"});
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Zabocfg.dat"});
}

void TestStyleStore::noMessageIsOpenWhileTheLockIsHeld_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("shown");
    QTest::newRow("a damaged file at start") << "damaged" << QString::fromUtf8("已损坏");
    QTest::newRow("another window saved before a save") << "reloaded" << ListReloaded;
    QTest::newRow("the overwrite question") << "overwrite" << OverwriteQuestion;
    QTest::newRow("the file vanished before a save") << "vanished" << WriteFailed;
    QTest::newRow("another window deleted the style first")
        << "gone" << StyleGone.arg(QStringLiteral("mine"));
}

// A message box open for minutes would hold the lock past its stale time, and another window would
// take it over while this one still writes.
void TestStyleStore::noMessageIsOpenWhileTheLockIsHeld()
{
    QFETCH(QString, situation);
    QFETCH(QString, shown);
    if (situation == QLatin1String("damaged"))
        QVERIFY(writeAll(m_configPath, builtInFileBytes().left(600)));
    else
        loadedStore().SaveStyleAs(QStringLiteral("mine"), flagsOf({1}));
    LockWatchingPrompts prompts(m_configPath);
    StyleStore store(m_configPath, prompts);
    QVERIFY(store.LoadStyleFile());
    ScriptedPrompts otherPrompts;
    StyleStore other(m_configPath, otherPrompts);
    QVERIFY(other.LoadStyleFile());

    if (situation == QLatin1String("reloaded")) {
        other.SaveStyleAs(QStringLiteral("theirs"), flagsOf({2}));
        QCOMPARE(store.SaveStyleAs(QStringLiteral("new"), flagsOf({3})), StyleStore::SaveOutcome::Added);
    } else if (situation == QLatin1String("overwrite")) {
        QCOMPARE(store.SaveStyleAs(QStringLiteral("mine"), flagsOf({3})),
                 StyleStore::SaveOutcome::Overwritten);
    } else if (situation == QLatin1String("vanished")) {
        QVERIFY(QFile::remove(m_configPath));
        QCOMPARE(store.SaveStyleAs(QStringLiteral("new"), flagsOf({3})), StyleStore::SaveOutcome::Added);
    } else if (situation == QLatin1String("gone")) {
        QCOMPARE(other.DeleteStyle(4), StyleStore::DeleteOutcome::Deleted);
        QCOMPARE(store.DeleteStyle(4), StyleStore::DeleteOutcome::Failed);
    }
    const QStringList seen = prompts.messages + prompts.questions;
    QVERIFY2(std::any_of(seen.begin(), seen.end(), [&](const QString &text) { return text.contains(shown); }),
             qPrintable(seen.join(QLatin1Char('|'))));
    QVERIFY(prompts.asked > 0);
    QCOMPARE(prompts.askedWhileLocked, 0);
}

QTEST_GUILESS_MAIN(TestStyleStore)
#include "tst_stylestore.moc"
