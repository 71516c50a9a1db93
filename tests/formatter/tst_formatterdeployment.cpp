#include "FormatterDeployment.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t NobodyUid = 65534;

struct stat linkStatus(const QString &path)
{
    struct stat status = {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        status.st_mode = 0;
    return status;
}

bool makeForeign(const QString &path)
{
    return ::lchown(QFile::encodeName(path).constData(), NobodyUid, NobodyUid) == 0;
}

// An executable that leaves a marker beside itself when anything runs it.
void writeTrap(const QString &path, const QString &marker)
{
    QVERIFY(writeAll(path, QStringLiteral("#!/bin/sh\ntouch '%1'\n").arg(marker).toUtf8()));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

QByteArray runVersion(const QString &formatterPath)
{
    QProcess process;
    process.start(formatterPath, {QStringLiteral("--version")});
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return {};
    return process.readAllStandardOutput();
}

} // namespace

class TestFormatterDeployment : public QObject
{
    Q_OBJECT

private slots:
    void deploysTheImageByteForByte();
    void replacesAndRepairs_data();
    void replacesAndRepairs();
    void plantedLinkAtTheFileIsReplacedNotFollowed();
    void plantedLinkAtTheDirectoryIsRefused();
    void foreignDirectoryIsRefused();
    void foreignFileIsReplaced();
    void uncreatableDirectoryFails();
    void shortWriteFailsAndKeepsThePreviousFile();
};

void TestFormatterDeployment::deploysTheImageByteForByte()
{
    const QByteArray image = FormatterImage();
    QVERIFY(!image.isEmpty());
    QCOMPARE(image, readAll(QStringLiteral(INDENT_EXECUTABLE)));

    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const FormatterDeployment deployment = DeployFormatter(temp.path());
    QVERIFY2(deployment.ok, qPrintable(deployment.error));
    QCOMPARE(deployment.formatterPath, formatterDirectory(temp.path()) + QStringLiteral("/indent"));
    QCOMPARE(QFileInfo(deployment.formatterPath).dir().dirName(), QStringLiteral("zabo-%1").arg(::geteuid()));
    QCOMPARE(readAll(deployment.formatterPath), image);

    const struct stat file = linkStatus(deployment.formatterPath);
    QVERIFY(S_ISREG(file.st_mode));
    QCOMPARE(file.st_mode & 07777, mode_t(0700));
    const struct stat directory = linkStatus(formatterDirectory(temp.path()));
    QVERIFY(S_ISDIR(directory.st_mode));
    QCOMPARE(directory.st_mode & 07777, mode_t(0700));
    QCOMPARE(directory.st_uid, ::geteuid());

    QVERIFY(runVersion(deployment.formatterPath).startsWith("GNU indent"));
    // Only the formatter itself: no temporary file left behind.
    QCOMPARE(QDir(formatterDirectory(temp.path()))
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("indent")});
}

void TestFormatterDeployment::replacesAndRepairs_data()
{
    QTest::addColumn<QByteArray>("previousFile"); // empty: none
    QTest::addColumn<int>("directoryMode");

    QTest::newRow("a different file") << QByteArray("#!/bin/sh\necho not indent\n") << 0700;
    QTest::newRow("an earlier deployment") << FormatterImage() << 0700;
    QTest::newRow("an empty file") << QByteArray("") << 0700;
    QTest::newRow("a directory others may enter") << QByteArray() << 0755;
    QTest::newRow("a directory others may write") << QByteArray("old") << 0777;
}

void TestFormatterDeployment::replacesAndRepairs()
{
    QFETCH(QByteArray, previousFile);
    QFETCH(int, directoryMode);

    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QString directory = formatterDirectory(temp.path());
    QVERIFY(QDir().mkpath(directory));
    QCOMPARE(::chmod(QFile::encodeName(directory).constData(), mode_t(directoryMode)), 0);
    if (!previousFile.isNull())
        QVERIFY(writeAll(directory + QStringLiteral("/indent"), previousFile));

    const FormatterDeployment deployment = DeployFormatter(temp.path());
    QVERIFY2(deployment.ok, qPrintable(deployment.error));
    QCOMPARE(readAll(deployment.formatterPath), FormatterImage());
    QCOMPARE(linkStatus(deployment.formatterPath).st_mode & 07777, mode_t(0700));
    QCOMPARE(linkStatus(directory).st_mode & 07777, mode_t(0700));
}

void TestFormatterDeployment::plantedLinkAtTheFileIsReplacedNotFollowed()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QString directory = formatterDirectory(temp.path());
    QVERIFY(QDir().mkpath(directory));
    QCOMPARE(::chmod(QFile::encodeName(directory).constData(), 0700), 0);
    const QString victim = temp.filePath(QStringLiteral("victim"));
    const QString marker = temp.filePath(QStringLiteral("victim-ran"));
    writeTrap(victim, marker);
    const QByteArray victimBytes = readAll(victim);
    const QString path = directory + QStringLiteral("/indent");
    QVERIFY(QFile::link(victim, path));

    const FormatterDeployment deployment = DeployFormatter(temp.path());
    QVERIFY2(deployment.ok, qPrintable(deployment.error));
    QCOMPARE(deployment.formatterPath, path);
    QVERIFY(S_ISREG(linkStatus(path).st_mode));
    QCOMPARE(readAll(path), FormatterImage());
    QCOMPARE(readAll(victim), victimBytes);

    QVERIFY(runVersion(path).startsWith("GNU indent"));
    QVERIFY(!QFileInfo::exists(marker));
}

void TestFormatterDeployment::plantedLinkAtTheDirectoryIsRefused()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QString elsewhere = temp.filePath(QStringLiteral("elsewhere"));
    QVERIFY(QDir().mkpath(elsewhere));
    QCOMPARE(::chmod(QFile::encodeName(elsewhere).constData(), 0700), 0);
    const QString marker = temp.filePath(QStringLiteral("trap-ran"));
    writeTrap(elsewhere + QStringLiteral("/indent"), marker);
    const QByteArray trapBytes = readAll(elsewhere + QStringLiteral("/indent"));
    QVERIFY(QFile::link(elsewhere, formatterDirectory(temp.path())));

    const FormatterDeployment deployment = DeployFormatter(temp.path());
    QVERIFY(!deployment.ok);
    QVERIFY(deployment.formatterPath.isEmpty());
    QVERIFY(!deployment.error.isEmpty());
    QCOMPARE(readAll(elsewhere + QStringLiteral("/indent")), trapBytes);
    QCOMPARE(QDir(elsewhere).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("indent")});
    QVERIFY(!QFileInfo::exists(marker));
}

void TestFormatterDeployment::foreignDirectoryIsRefused()
{
    if (::geteuid() != 0)
        QSKIP("giving a directory to another user needs root");
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QString directory = formatterDirectory(temp.path());
    QVERIFY(QDir().mkpath(directory));
    QCOMPARE(::chmod(QFile::encodeName(directory).constData(), 0777), 0);
    const QString marker = temp.filePath(QStringLiteral("trap-ran"));
    writeTrap(directory + QStringLiteral("/indent"), marker);
    const QByteArray trapBytes = readAll(directory + QStringLiteral("/indent"));
    QVERIFY(makeForeign(directory));

    const FormatterDeployment deployment = DeployFormatter(temp.path());
    QVERIFY(!deployment.ok);
    QVERIFY(!deployment.error.isEmpty());
    QCOMPARE(readAll(directory + QStringLiteral("/indent")), trapBytes);
    QCOMPARE(linkStatus(directory).st_uid, NobodyUid);
    QCOMPARE(linkStatus(directory).st_mode & 07777, mode_t(0777));
    QVERIFY(!QFileInfo::exists(marker));
}

void TestFormatterDeployment::foreignFileIsReplaced()
{
    if (::geteuid() != 0)
        QSKIP("giving a file to another user needs root");
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    QVERIFY(DeployFormatter(temp.path()).ok);
    const QString path = formatterDirectory(temp.path()) + QStringLiteral("/indent");
    const QString marker = temp.filePath(QStringLiteral("trap-ran"));
    QVERIFY(QFile::remove(path));
    writeTrap(path, marker);
    QVERIFY(makeForeign(path));

    const FormatterDeployment deployment = DeployFormatter(temp.path());
    QVERIFY2(deployment.ok, qPrintable(deployment.error));
    QCOMPARE(linkStatus(path).st_uid, ::geteuid());
    QCOMPARE(readAll(path), FormatterImage());
    QVERIFY(runVersion(path).startsWith("GNU indent"));
    QVERIFY(!QFileInfo::exists(marker));
}

void TestFormatterDeployment::uncreatableDirectoryFails()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const FormatterDeployment belowAFile =
        DeployFormatter(unwritablePath(temp.path(), QStringLiteral("tmp")));
    QVERIFY(!belowAFile.ok);
    QVERIFY(belowAFile.formatterPath.isEmpty());
    QVERIFY(!belowAFile.error.isEmpty());

    // A plain file where the private directory belongs.
    QVERIFY(writeAll(formatterDirectory(temp.path()), "squatter"));
    const FormatterDeployment squatted = DeployFormatter(temp.path());
    QVERIFY(!squatted.ok);
    QCOMPARE(readAll(formatterDirectory(temp.path())), QByteArray("squatter"));
}

void TestFormatterDeployment::shortWriteFailsAndKeepsThePreviousFile()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QString directory = formatterDirectory(temp.path());
    QVERIFY(QDir().mkpath(directory));
    QVERIFY(writeAll(directory + QStringLiteral("/indent"), "previous"));

    // The file size limit cuts the write short; the signal it raises would end the test otherwise.
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit previousLimit = {};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previousLimit), 0);
    struct rlimit smallLimit = previousLimit;
    smallLimit.rlim_cur = 4096;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &smallLimit), 0);
    const FormatterDeployment deployment = DeployFormatter(temp.path());
    ::setrlimit(RLIMIT_FSIZE, &previousLimit);
    std::signal(SIGXFSZ, previousHandler);

    QVERIFY(!deployment.ok);
    QVERIFY(!deployment.error.isEmpty());
    QCOMPARE(readAll(directory + QStringLiteral("/indent")), QByteArray("previous"));
    QCOMPARE(QDir(directory).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("indent")});
}

QTEST_GUILESS_MAIN(TestFormatterDeployment)
#include "tst_formatterdeployment.moc"
