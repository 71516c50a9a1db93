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
    void installTreesAreTheUsualOnesAndThePrefix();
    void installedWithoutHomeHasNoConfigPath();
    void configDirectoryIsMadeOnDemand();
    void userDirectoriesFollowXdg();
};

void TestAppLocations::programDirectoryDecides_data()
{
    QTest::addColumn<QString>("place");     // where the program directory is, relative to a scratch root
    QTest::addColumn<QString>("directory"); // writable, read-only, missing
    QTest::addColumn<QString>("config");    // none, file, read-only file, directory
    QTest::addColumn<bool>("portable");

    const auto row = [](const char *name, const char *place, const char *directory, const char *config,
                        bool portable) {
        QTest::newRow(name) << QString::fromLatin1(place) << QString::fromLatin1(directory)
                            << QString::fromLatin1(config) << portable;
    };
    row("writable, no config", "unpacked/bin", "writable", "none", true);
    row("writable, config", "unpacked/bin", "writable", "file", true);
    row("writable, read-only config", "unpacked/bin", "writable", "read-only file", true);
    row("read-only, no config", "unpacked/bin", "read-only", "none", false);
    row("read-only, config", "unpacked/bin", "read-only", "file", true);
    row("read-only, read-only config", "unpacked/bin", "read-only", "read-only file", true);
    row("read-only, a directory named Zabocfg.dat", "unpacked/bin", "read-only", "directory", false);
    row("missing: its parent is a file", "unpacked/bin", "missing", "none", false);
    // the trees programs are installed into count as installed however writable they are, so that
    // neither root in /usr nor a user in ~/.local leaves a Zabocfg.dat beside the program
    row("~/.local/bin, writable", "home/.local/bin", "writable", "none", false);
    row("~/.local/bin, an old Zabocfg.dat beside it", "home/.local/bin", "writable", "file", false);
    row("~/.local/bin reached through a link", "link-to-local-bin", "writable", "none", false);
    row("~/.local itself", "home/.local", "writable", "none", false);
    row("~/.localized/bin: only a name that begins alike", "home/.localized/bin", "writable", "none", true);
    row("~/bin", "home/bin", "writable", "none", true);
    row("/usr/bin, writable", "usr/bin", "writable", "none", false);
    row("/usr/local/bin, writable", "usr/local/bin", "writable", "none", false);
    row("/opt/zabo, with a config", "opt/zabo", "writable", "file", false);
    row("the configured prefix", "prefix/bin", "writable", "none", false);
}

void TestAppLocations::programDirectoryDecides()
{
    QFETCH(QString, place);
    QFETCH(QString, directory);
    QFETCH(QString, config);
    QFETCH(bool, portable);

    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString root = scratch.path();
    const QStringList trees{root + QStringLiteral("/home/.local"), root + QStringLiteral("/usr"),
                            root + QStringLiteral("/opt"), root + QStringLiteral("/prefix")};
    QString program = scratch.filePath(place);
    if (place == "link-to-local-bin") {
        QVERIFY(QDir().mkpath(root + QStringLiteral("/home/.local/bin")));
        QVERIFY(QFile::link(root + QStringLiteral("/home/.local/bin"), program));
    }
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

    const AppLocations locations = locateAppFiles(program + QLatin1Char('/'), user, trees);

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
    QVERIFY(!QFileInfo::exists(user.configDirectory));
    QVERIFY(!QFileInfo::exists(user.documentsDirectory));
}

void TestAppLocations::installTreesAreTheUsualOnesAndThePrefix()
{
    const QStringList trees = installTrees();
    QVERIFY(trees.contains(QDir::homePath() + QStringLiteral("/.local")));
    QVERIFY(trees.contains(QStringLiteral("/usr")));
    QVERIFY(trees.contains(QStringLiteral("/opt")));
    QVERIFY(trees.contains(QStringLiteral(ZABO_INSTALL_PREFIX)));
    // what the .deb installs is installed wherever this build was configured for
    const AppLocations packaged = locateAppFiles(
        QStringLiteral("/usr/bin/"), {QStringLiteral("/nonexistent/c"), QStringLiteral("/nonexistent/d")});
    QCOMPARE(packaged.mode, AppLocations::Mode::Installed);
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
