#include "ScriptedPrompts.h"
#include "StyleStore.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString WriteFailed = QString::fromUtf8("配置文件操作失败！");
const QString CreateFailed = QString::fromUtf8("配置文件创建失败，请确认程序所在目录可写！");
const QString BuiltInRefused = QString::fromUtf8("前四项为默认配置项，不可修改");
const QString OverwriteQuestion = QString::fromUtf8("与已有配置项重名，是否覆盖配置信息?");
const QString DeleteRefused = QString::fromUtf8("软件自带项，不可删除！");

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

private:
    StyleStore &loadedStore();

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

void TestStyleStore::readOnlyDirectoryWithWritableFileStillSaves()
{
    StyleStore &store = loadedStore();
    // the user may write the file but not its directory, so no new file can be made beside it
    QVERIFY(makeReachable(m_dir->path()));
    QCOMPARE(::chown(QFile::encodeName(m_configPath).constData(), 65534, 65534) == 0 || ::geteuid() != 0,
             true);
    QVERIFY(QFile(m_dir->path())
                .setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                QFileDevice::ExeOther));
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

QTEST_GUILESS_MAIN(TestStyleStore)
#include "tst_stylestore.moc"
