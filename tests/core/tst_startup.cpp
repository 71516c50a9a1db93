#include "Startup.h"
#include "TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Gives the home to the user the checks run as (nobody, when the tests run as root).
bool handOver(const QString &home)
{
    if (::geteuid() != 0)
        return true;
    bool ok = ::lchown(QFile::encodeName(home).constData(), 65534, 65534) == 0;
    QDirIterator entries(home, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
    while (entries.hasNext())
        ok = ::lchown(QFile::encodeName(entries.next()).constData(), 65534, 65534) == 0 && ok;
    return ok;
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void versionSuffix_data();
    void versionSuffix();
    void paths();
    void configDirectory_data();
    void configDirectory();
};

void TestStartup::versionSuffix_data()
{
    QTest::addColumn<quint32>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no version compiled in") << 0xFFFFFFFFu << QStringLiteral(" V65535.65535");
    QTest::newRow("1.1") << 0x00010001u << QStringLiteral(" V1.1");
    QTest::newRow("2.10") << ((2u << 16) | 10u) << QStringLiteral(" V2.10");
}

void TestStartup::versionSuffix()
{
    QFETCH(quint32, value);
    QFETCH(QString, expected);
    QCOMPARE(::versionSuffix(value), expected);
}

void TestStartup::paths()
{
    QCOMPARE(programDirectoryOf(QStringLiteral("/opt/zabo/zabo")), QStringLiteral("/opt/zabo/"));
    QCOMPARE(configPathIn(QStringLiteral("/opt/zabo/")), QStringLiteral("/opt/zabo/Zabocfg.dat"));
    QVERIFY(ProgramDirectory().endsWith(QLatin1Char('/')));
    QCOMPARE(programVersionValue(), 0x00010001u);
}

void TestStartup::configDirectory_data()
{
    QTest::addColumn<QString>("home");   // what the home holds at the start
    QTest::addColumn<QString>("failed"); // what the message names, below the scratch directory
    QTest::addColumn<QString>("reason"); // how the reason starts; empty when the start goes on
    QTest::addColumn<QString>(
        "usedPath"); // where the file is then loaded or made, below the scratch directory

    const auto row = [](const char *name, const char *home, const char *failed, const char *reason,
                        const char *used) {
        QTest::newRow(name) << QString::fromLatin1(home) << QString::fromLatin1(failed)
                            << QString::fromUtf8(reason) << QString::fromLatin1(used);
    };
    row("first start", "empty", "", "", "home/.config/zabo/Zabocfg.dat");
    row("configuration directory there", "config directory", "", "", "home/.config/zabo/Zabocfg.dat");
    row("XDG_CONFIG_HOME names a file", "XDG_CONFIG_HOME file", "home/xdg", "这不是一个目录", "");
    row("home not writable", "read-only home", "home/.config", "无法创建此目录", "");
    row("configuration directory not writable", "read-only config directory", "home/.config/zabo",
        "无法在此目录中创建配置文件", "");
    row("not writable, but the file is there", "read-only config directory with file", "", "",
        "home/.config/zabo/Zabocfg.dat");
    row("a link to another user's directory", "link to others", "home/.config/zabo",
        "这是指向其他用户目录的链接", "");
    row("a link to one's own directory", "link to own", "", "", "home/elsewhere/Zabocfg.dat");
}

void TestStartup::configDirectory()
{
    QFETCH(QString, home);
    QFETCH(QString, failed);
    QFETCH(QString, reason);
    QFETCH(QString, usedPath);

    QTemporaryDir scratch;
    QVERIFY(scratch.isValid() && makeReachable(scratch.path()));
    const QString homePath = scratch.filePath(QStringLiteral("home"));
    QString configDirectory = homePath + QStringLiteral("/.config/zabo");
    QVERIFY(QDir().mkpath(homePath));
    if (home == "config directory" || home.startsWith("read-only config directory"))
        QVERIFY(QDir().mkpath(configDirectory));
    if (home.endsWith("with file"))
        QVERIFY(writeAll(configDirectory + QStringLiteral("/Zabocfg.dat"), QByteArray(1400, '\0')));
    if (home == "XDG_CONFIG_HOME file") {
        QVERIFY(writeAll(homePath + QStringLiteral("/xdg"), "a file"));
        configDirectory = homePath + QStringLiteral("/xdg/zabo");
    }
    if (home.startsWith("link to")) {
        QVERIFY(QDir().mkpath(homePath + QStringLiteral("/.config")));
        QVERIFY(QDir().mkpath(homePath + QStringLiteral("/elsewhere")));
        // root's own directories belong to another user as far as nobody is concerned
        const QString target = home == "link to own" ? homePath + QStringLiteral("/elsewhere")
                               : ::geteuid() == 0    ? scratch.path()
                                                     : QStringLiteral("/");
        QVERIFY(QFile::link(target, configDirectory));
    }
    QVERIFY(handOver(homePath));
    if (home == "read-only home")
        QVERIFY(QFile::setPermissions(homePath, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    if (home.startsWith("read-only config directory"))
        QVERIFY(QFile::setPermissions(configDirectory, QFileDevice::ReadOwner | QFileDevice::ExeOwner));

    ConfigDirectoryCheck check;
    {
        const UnprivilegedScope user;
        check = prepareConfigDirectory(configDirectory + QStringLiteral("/Zabocfg.dat"));
    }
    QFile::setPermissions(homePath, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QCOMPARE(check.ok, reason.isEmpty());
    if (reason.isEmpty()) {
        QCOMPARE(check.configPath, scratch.filePath(usedPath));
        QVERIFY(QFileInfo(check.configPath).absoluteDir().exists());
        struct stat made;
        if (home == "empty") { // made as XDG asks, for the user alone
            QCOMPARE(::stat(QFile::encodeName(configDirectory).constData(), &made), 0);
            QCOMPARE(made.st_mode & 07777, mode_t(0700));
        }
    } else {
        QCOMPARE(check.failedPath, scratch.filePath(failed));
        QVERIFY2(check.reason.startsWith(reason), qPrintable(check.reason));
        const QString message = StartupMessages::configCreateFailedAt(check.failedPath, check.reason);
        QVERIFY(message.contains(check.failedPath));
        QVERIFY(message != StartupMessages::configCreateFailed());
    }
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
