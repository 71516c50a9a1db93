#include "AppLocations.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestAppLocations : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void programDirectoryDecides_data();
    void programDirectoryDecides();
    void packageDirectoryIsAnInstallDirectory();
    void installedWithoutHomeHasNoConfigPath();
    void configDirectoryIsMadeOnDemand();
    void userDirectoriesFollowXdg();
};

void TestAppLocations::programDirectoryDecides_data()
{
    QTest::addColumn<QString>("directory"); // writable, read-only, missing, install directory
    QTest::addColumn<QString>("config");    // none, file, read-only file, directory
    QTest::addColumn<bool>("portable");

    const auto row = [](const char *name, const char *directory, const char *config, bool portable) {
        QTest::newRow(name) << QString::fromLatin1(directory) << QString::fromLatin1(config) << portable;
    };
    row("writable, no config", "writable", "none", true);
    row("writable, config", "writable", "file", true);
    row("writable, read-only config", "writable", "read-only file", true);
    row("read-only, no config", "read-only", "none", false);
    row("read-only, config", "read-only", "file", true);
    row("read-only, read-only config", "read-only", "read-only file", true);
    row("read-only, a directory named Zabocfg.dat", "read-only", "directory", false);
    row("missing: its parent is a file", "missing", "none", false);
    // root can write there, yet a start must not make every later user share its files
    row("install directory, writable", "install directory", "none", false);
    row("install directory, with a config", "install directory", "file", false);
}

void TestAppLocations::programDirectoryDecides()
{
    QFETCH(QString, directory);
    QFETCH(QString, config);
    QFETCH(bool, portable);

    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    QString program = scratch.filePath(QStringLiteral("bin"));
    if (directory == "missing") {
        program = unwritablePath(scratch.path(), QStringLiteral("bin"));
    } else {
        QVERIFY(QDir().mkpath(program));
        const QString configPath = program + QStringLiteral("/Zabocfg.dat");
        if (config == "directory") {
            QVERIFY(QDir().mkpath(configPath));
        } else if (config != "none") {
            QVERIFY(writeAll(configPath, QByteArray(1400, '\0')));
            if (config == "read-only file")
                QVERIFY(QFile::setPermissions(configPath, QFileDevice::ReadOwner | QFileDevice::ReadGroup |
                                                              QFileDevice::ReadOther));
        }
    }
    std::unique_ptr<ReadOnlyDirectory> readOnly;
    if (directory == "read-only") {
        readOnly = std::make_unique<ReadOnlyDirectory>(program);
        if (!readOnly->isReadOnly())
            QSKIP("this process cannot make a directory read-only for itself (root without chattr +i)");
    }
    const QStringList before =
        QDir(program).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    const UserDirectories user{scratch.filePath(QStringLiteral("home/.config/zabo")),
                               scratch.filePath(QStringLiteral("home/Documents"))};

    const QStringList installedIn = directory == "install directory" ? QStringList{program} : QStringList();

    const AppLocations locations = locateAppFiles(program + QLatin1Char('/'), user, installedIn);

    if (portable) {
        QCOMPARE(locations.mode, AppLocations::Mode::Portable);
        QCOMPARE(locations.configPath, program + QStringLiteral("/Zabocfg.dat"));
        QCOMPARE(locations.outputDirectory, program + QLatin1Char('/'));
    } else {
        QCOMPARE(locations.mode, AppLocations::Mode::Installed);
        QCOMPARE(locations.configPath, user.configDirectory + QStringLiteral("/Zabocfg.dat"));
        QCOMPARE(locations.outputDirectory, user.documentsDirectory + QStringLiteral("/Zabo/"));
    }
    // deciding leaves nothing behind, and makes no user directory
    QCOMPARE(QDir(program).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    QVERIFY(!QFileInfo::exists(scratch.filePath(QStringLiteral("home"))));
}

void TestAppLocations::packageDirectoryIsAnInstallDirectory()
{
    QVERIFY(installDirectories().contains(QStringLiteral("/usr/bin")));
}

void TestAppLocations::installedWithoutHomeHasNoConfigPath()
{
    QTemporaryDir scratch;
    const AppLocations locations = locateAppFiles(unwritablePath(scratch.path(), QStringLiteral("bin")), {});
    QCOMPARE(locations.mode, AppLocations::Mode::Installed);
    QVERIFY(locations.configPath.isEmpty());
    QVERIFY(!makeConfigDirectory(locations));
}

void TestAppLocations::configDirectoryIsMadeOnDemand()
{
    QTemporaryDir scratch;
    const QString program = unwritablePath(scratch.path(), QStringLiteral("bin"));

    const AppLocations fresh = locateAppFiles(program, {scratch.filePath(QStringLiteral("home/.config/zabo")),
                                                        scratch.filePath(QStringLiteral("docs"))});
    QVERIFY(makeConfigDirectory(fresh));
    QVERIFY(QFileInfo(scratch.filePath(QStringLiteral("home/.config/zabo"))).isDir());
    QVERIFY(!QFileInfo::exists(scratch.filePath(QStringLiteral("docs"))));

    const AppLocations blocked =
        locateAppFiles(program, {unwritablePath(scratch.path(), QStringLiteral("zabo")), QString()});
    QVERIFY(!makeConfigDirectory(blocked));
}

void TestAppLocations::userDirectoriesFollowXdg()
{
    QTemporaryDir scratch;
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(scratch.filePath(QStringLiteral("config"))));
    setApplicationNames();
    const UserDirectories user = standardUserDirectories();
    if (oldConfig.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", oldConfig);

    QCOMPARE(user.configDirectory, scratch.filePath(QStringLiteral("config/zabo")));
    QVERIFY(!user.documentsDirectory.isEmpty());
}

QTEST_GUILESS_MAIN(TestAppLocations)
#include "tst_applocations.moc"
