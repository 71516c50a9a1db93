#include "HangLimit.h"
#include "StyleStore.h"
#include "TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

const QString AppId = QStringLiteral(ZABO_APP_ID);

struct Run
{
    bool finished = false;
    int exitCode = -1;
    QString output; // standard output and error
};

Run run(const QString &program, const QStringList &arguments,
        const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    Run result;
    result.finished =
        process.waitForFinished(HangMilliseconds) && process.exitStatus() == QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.output = QString::fromLocal8Bit(process.readAll());
    return result;
}

QStringList installedPrograms()
{
    return QStringLiteral(ZABO_INSTALLED_PROGRAMS).split(QLatin1Char(','));
}

// The binary packages, each named after the program it carries.
QStringList packageNames()
{
    return {QStringLiteral("zabo-format"), QStringLiteral("zabo")};
}

// Every entry under root with its size and modification time, to see that nothing changed.
QStringList snapshot(const QString &root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        entries.append(QStringLiteral("%1 %2 %3")
                           .arg(QDir(root).relativeFilePath(info.filePath()))
                           .arg(info.isDir() ? -1 : info.size())
                           .arg(info.lastModified().toMSecsSinceEpoch()));
    }
    entries.sort();
    return entries;
}

// A fresh home for an installed program, as a new user has it: nothing under it yet.
class ScratchHome
{
public:
    ScratchHome()
    {
        m_valid = m_scratch.isValid();
        for (const char *name : {"home", "runtime", "tmp"})
            m_valid = QDir().mkpath(m_scratch.filePath(QString::fromLatin1(name))) && m_valid;
        m_valid =
            QFile::setPermissions(m_scratch.filePath(QStringLiteral("runtime")),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner) &&
            m_valid;
    }
    bool isValid() const { return m_valid; }
    QString path() const { return m_scratch.filePath(QStringLiteral("home")); }
    QString configPath() const { return path() + QStringLiteral("/.config/zabo/Zabocfg.dat"); }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_DIRS"})
            environment.remove(QString::fromLatin1(name));
        environment.insert(QStringLiteral("HOME"), path());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_scratch.filePath(QStringLiteral("runtime")));
        environment.insert(QStringLiteral("TMPDIR"), m_scratch.filePath(QStringLiteral("tmp")));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return environment;
    }

private:
    QTemporaryDir m_scratch;
    bool m_valid = false;
};

// Every directory of a tree read-only while it lives: the prefix as an ordinary user finds /usr.
class ReadOnlyTree
{
public:
    explicit ReadOnlyTree(const QString &root)
    {
        QStringList directories = {root};
        QDirIterator it(root, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext())
            directories.append(it.next());
        for (const QString &directory : directories) {
            m_directories.push_back(std::make_unique<ReadOnlyDirectory>(directory));
            m_readOnly = m_readOnly && m_directories.back()->isReadOnly();
        }
    }
    bool isReadOnly() const { return m_readOnly; }

private:
    std::vector<std::unique_ptr<ReadOnlyDirectory>> m_directories;
    bool m_readOnly = true;
};

// What the window program's first start from a fresh home did. It has no way to be told to quit: it is
// up once its first start has written the styles, and is then ended.
struct FirstStart
{
    bool started = false;
    bool stylesWritten = false;
    bool stillRunning = false; // after its styles were written, rather than ended on its own
};

FirstStart firstStart(const QString &program, const ScratchHome &home)
{
    FirstStart result;
    QProcess zabo;
    zabo.setProcessEnvironment(home.environment());
    zabo.setWorkingDirectory(home.path());
    zabo.setProcessChannelMode(QProcess::ForwardedChannels);
    zabo.start(program, QStringList());
    result.started = zabo.waitForStarted();
    if (!result.started)
        return result;
    const QString config = home.configPath();
    result.stylesWritten =
        QTest::qWaitFor([&] { return QFileInfo(config).size() == 1400; }, HangMilliseconds);
    // a running window ends on SIGTERM with status 0; a failed start would have ended with another
    zabo.terminate();
    result.stillRunning = zabo.waitForFinished(HangMilliseconds) &&
                          zabo.exitStatus() == QProcess::NormalExit && zabo.exitCode() == 0;
    if (zabo.state() != QProcess::NotRunning) {
        zabo.kill();
        zabo.waitForFinished();
    }
    return result;
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void installsProgramsAndDesktopFiles_data();
    void installsProgramsAndDesktopFiles();
    void desktopFilesValidate_data();
    void desktopFilesValidate();
    void menuEntryNamesTheInstalledProgramAndIcon();
    void installedProgramKeepsItsFilesInHome();
    void installedZaboFormatReadsTheUserStyles();
    void userInstallUnderLocalKeepsItsFilesInHome();
    void copyrightCoversZaboAndTheBuiltInIndent();
    void manualPagesComeFromTheProgramsHelp_data();
    void manualPagesComeFromTheProgramsHelp();
    void debianPackages_data();
    void debianPackages();
    void lintianFindsNothingToWarnAbout_data();
    void lintianFindsNothingToWarnAbout();
    void packagesInstallAndPurgeCleanly();

private:
    // A package's .deb; cpack builds both once from this tree.
    QString debianPackageFile(const QString &package);

    QTemporaryDir m_destination;
    QTemporaryDir m_packages;
    QHash<QString, QString> m_debs;
    QString prefix() const { return m_destination.filePath(QStringLiteral("usr")); }
};

void TestInstall::initTestCase()
{
    QVERIFY(m_destination.isValid());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DESTDIR"), m_destination.path());
    const Run install = run(QStringLiteral(ZABO_CMAKE_COMMAND),
                            {QStringLiteral("--install"), QStringLiteral(ZABO_BUILD_DIR),
                             QStringLiteral("--prefix"), QStringLiteral("/usr")},
                            environment);
    QVERIFY2(install.finished && install.exitCode == 0, qPrintable(install.output));
}

void TestInstall::installsProgramsAndDesktopFiles_data()
{
    QTest::addColumn<QString>("path");
    for (const QString &program : installedPrograms())
        QTest::newRow(qPrintable(program)) << QStringLiteral("bin/") + program;
    // where zabo looks for its preview window, relative to its bin directory
    QTest::newRow("preview module") << QStringLiteral(ZABO_MODULE_DIR "/zabo-preview.so");
    QTest::newRow("menu entry") << QStringLiteral("share/applications/%1.desktop").arg(AppId);
    QTest::newRow("metainfo") << QStringLiteral("share/metainfo/%1.metainfo.xml").arg(AppId);
    QTest::newRow("scalable icon") << QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(AppId);
    for (const QString &program : installedPrograms())
        QTest::newRow(qPrintable(program + QStringLiteral(" manual page")))
            << QStringLiteral("share/man/man1/%1.1.gz").arg(program);
    for (const QString &package : packageNames())
        for (const char *file : {"copyright", "changelog.Debian.gz", "changelog.gz"})
            QTest::newRow(qPrintable(package + QLatin1Char(' ') + QLatin1String(file)))
                << QStringLiteral("share/doc/%1/%2").arg(package, QLatin1String(file));
    for (const int size : {16, 32, 48, 64, 128, 256})
        QTest::newRow(qPrintable(QStringLiteral("%1 px icon").arg(size)))
            << QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(AppId);
}

void TestInstall::installsProgramsAndDesktopFiles()
{
    QFETCH(QString, path);
    const QFileInfo info(prefix() + QLatin1Char('/') + path);
    QVERIFY2(info.isFile(), qPrintable(info.filePath()));
    if (path.startsWith(QStringLiteral("bin/")))
        QVERIFY(info.isExecutable());
    if (path.endsWith(QStringLiteral(".gz"))) {
        // gzip -9n as Debian wants it: no file name and no time stamp, so that builds agree
        const QByteArray gz = readAll(info.filePath());
        QVERIFY(gz.startsWith("\x1f\x8b\x08"));
        QCOMPARE(gz.at(3) & 0x08, 0);                                 // FNAME
        QCOMPARE(qFromLittleEndian<quint32>(gz.constData() + 4), 0u); // MTIME
        QCOMPARE(quint8(gz.at(8)), quint8(2));                        // XFL: maximum compression
    }
    if (path.endsWith(QStringLiteral(".png"))) {
        const int size = path.section(QLatin1Char('/'), 3, 3).section(QLatin1Char('x'), 0, 0).toInt();
        const QByteArray png = readAll(info.filePath());
        QVERIFY(png.startsWith("\x89PNG"));
        // width and height of the IHDR chunk
        QCOMPARE(qFromBigEndian<quint32>(png.constData() + 16), quint32(size));
        QCOMPARE(qFromBigEndian<quint32>(png.constData() + 20), quint32(size));
    }
}

void TestInstall::desktopFilesValidate_data()
{
    QTest::addColumn<QString>("validator");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("menu entry") << QStringLiteral("desktop-file-validate")
                                << QStringList{prefix() +
                                               QStringLiteral("/share/applications/%1.desktop").arg(AppId)};
    QTest::newRow("metainfo") << QStringLiteral("appstreamcli")
                              << QStringList{
                                     QStringLiteral("validate"), QStringLiteral("--no-net"),
                                     prefix() + QStringLiteral("/share/metainfo/%1.metainfo.xml").arg(AppId)};
}

void TestInstall::desktopFilesValidate()
{
    QFETCH(QString, validator);
    QFETCH(QStringList, arguments);
    const QString path = QStandardPaths::findExecutable(validator);
    QVERIFY2(!path.isEmpty(),
             qPrintable(validator + QStringLiteral(" is missing: run tools/install-deps.sh")));
    const Run validation = run(path, arguments);
    QVERIFY2(validation.finished && validation.exitCode == 0, qPrintable(validation.output));
}

void TestInstall::menuEntryNamesTheInstalledProgramAndIcon()
{
    const QStringList lines =
        QString::fromUtf8(readAll(prefix() + QStringLiteral("/share/applications/%1.desktop").arg(AppId)))
            .split(QLatin1Char('\n'));
    QVERIFY(lines.contains(QString::fromUtf8("Name=Zabo 代码风格格式化工具")));
    QVERIFY(lines.contains(QStringLiteral("Name[en]=Zabo Code Style Formatter")));
    QVERIFY(lines.contains(QStringLiteral("Exec=zabo")));
    QVERIFY(QFileInfo(prefix() + QStringLiteral("/bin/zabo")).isExecutable());
    QVERIFY(lines.contains(QStringLiteral("Icon=") + AppId));
    QVERIFY(lines.contains(QStringLiteral("Categories=Development;Qt;")));

    const QString metainfo =
        QString::fromUtf8(readAll(prefix() + QStringLiteral("/share/metainfo/%1.metainfo.xml").arg(AppId)));
    QVERIFY(metainfo.contains(
        QStringLiteral("<launchable type=\"desktop-id\">%1.desktop</launchable>").arg(AppId)));
    QVERIFY(metainfo.contains(QStringLiteral("<release version=\"" ZABO_VERSION "\"")));
}

void TestInstall::installedProgramKeepsItsFilesInHome()
{
    ScratchHome home;
    QVERIFY(home.isValid());
    const ReadOnlyTree readOnly(m_destination.path());
    if (!readOnly.isReadOnly())
        QSKIP("this process cannot make the prefix read-only for itself (root without chattr +i)");
    const QStringList before = snapshot(m_destination.path());

    const FirstStart start = firstStart(prefix() + QStringLiteral("/bin/zabo"), home);
    QVERIFY(start.started);
    QVERIFY(start.stylesWritten);
    QVERIFY2(start.stillRunning, "the installed program ended on its own instead of showing its window");
    const QString config = home.configPath();

    QCOMPARE(snapshot(m_destination.path()), before);
    const QByteArray styles = readAll(config);
    QCOMPARE(styles.left(8), QByteArray("\x04\0\0\0\x03\0\0\0", 8)); // four built-ins, the fourth selected
    // the output folder is made by the first job, not at start
    QVERIFY(!QFileInfo::exists(home.path() + QStringLiteral("/Documents/Zabo")));
}

void TestInstall::installedZaboFormatReadsTheUserStyles()
{
    if (!installedPrograms().contains(QStringLiteral("zabo-format")))
        QSKIP("zabo-format is not built");
    ScratchHome home;
    QVERIFY(home.isValid());
    QVERIFY(QDir().mkpath(QFileInfo(home.configPath()).absolutePath()));
    StyleFlags flags{};
    flags[30] = 1; // -gnu
    QVector<StyleRecord> records = builtInStyles();
    records.append(makeStyleRecord(QStringLiteral("mine"), flags));
    QVERIFY(writeAll(home.configPath(), serializeStyleFile(records, 4)));
    const ReadOnlyTree readOnly(m_destination.path());
    if (!readOnly.isReadOnly())
        QSKIP("this process cannot make the prefix read-only for itself (root without chattr +i)");

    const Run list = run(prefix() + QStringLiteral("/bin/zabo-format"), {QStringLiteral("--list-styles")},
                         home.environment());
    QVERIFY2(list.finished && list.exitCode == 0, qPrintable(list.output));
    QVERIFY2(list.output.contains(QStringLiteral("mine")), qPrintable(list.output));
}

void TestInstall::userInstallUnderLocalKeepsItsFilesInHome()
{
    ScratchHome home;
    QVERIFY(home.isValid());
    const QString local = home.path() + QStringLiteral("/.local");
    const Run install =
        run(QStringLiteral(ZABO_CMAKE_COMMAND),
            {QStringLiteral("--install"), QStringLiteral(ZABO_BUILD_DIR), QStringLiteral("--prefix"), local});
    QVERIFY2(install.finished && install.exitCode == 0, qPrintable(install.output));
    const QString bin = local + QStringLiteral("/bin");
    // ~/.local/bin is the user's own and writable, yet the copy there is an installed one
    QVERIFY(canCreateFileIn(bin));

    const FirstStart start = firstStart(bin + QStringLiteral("/zabo"), home);
    QVERIFY(start.started);
    QVERIFY(start.stylesWritten);
    QVERIFY2(start.stillRunning, "the program ended on its own instead of showing its window");
    QVERIFY(!QFileInfo::exists(bin + QStringLiteral("/Zabocfg.dat")));

    if (installedPrograms().contains(QStringLiteral("zabo-format"))) {
        StyleFlags flags{};
        flags[30] = 1; // -gnu
        QVector<StyleRecord> records = builtInStyles();
        records.append(makeStyleRecord(QStringLiteral("mine"), flags));
        QVERIFY(writeAll(home.configPath(), serializeStyleFile(records, 4)));
        const Run list =
            run(bin + QStringLiteral("/zabo-format"), {QStringLiteral("--list-styles")}, home.environment());
        QVERIFY2(list.finished && list.exitCode == 0, qPrintable(list.output));
        QVERIFY2(list.output.contains(QStringLiteral("mine")), qPrintable(list.output));
    }
}

void TestInstall::copyrightCoversZaboAndTheBuiltInIndent()
{
    const QString copyright =
        QString::fromUtf8(readAll(prefix() + QStringLiteral("/share/doc/zabo/copyright")));
    // both packages carry indent, so both name it
    QCOMPARE(QString::fromUtf8(readAll(prefix() + QStringLiteral("/share/doc/zabo-format/copyright"))),
             copyright);
    QVERIFY(copyright.startsWith(
        QStringLiteral("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n")));
    QVERIFY(copyright.contains(QStringLiteral("License: GPL-3+\n")));
    QVERIFY(copyright.contains(QStringLiteral("/usr/share/common-licenses/GPL-3")));
    // indent's holders and notice, as Debian's indent package states them
    for (const char *holder : {"Joseph Arceneaux", "Free Software Foundation", "Carlo Wood",
                               "The Regents of the University of California", "Sun Microsystems"})
        QVERIFY2(copyright.contains(QLatin1String(holder)), holder);
    QVERIFY(copyright.contains(QStringLiteral("License: indent-BSD\n")));
    QVERIFY(copyright.contains(QStringLiteral("https://ftp.gnu.org/gnu/indent/indent-")));
    // the very indent that was built in, where dpkg knows which it is
    const Run version =
        run(QStringLiteral("dpkg-query"),
            {QStringLiteral("-W"), QStringLiteral("-f=${Version}"), QStringLiteral("indent")});
    if (version.finished && version.exitCode == 0)
        QVERIFY2(
            copyright.contains(QStringLiteral("Debian source package indent ") + version.output.trimmed()),
            qPrintable(copyright));
    // a paragraph per file set, each with its licence text below
    for (const QString &paragraph : copyright.split(QStringLiteral("\n\n"))) {
        const QString license =
            paragraph.section(QStringLiteral("License: "), 1, 1).section(QLatin1Char('\n'), 0, 0);
        if (paragraph.startsWith(QStringLiteral("Files: ")))
            for (const QString &name : license.split(QStringLiteral(" and ")))
                QVERIFY2(copyright.contains(QStringLiteral("\n\nLicense: ") + name + QLatin1Char('\n')),
                         qPrintable(name));
    }
}

void TestInstall::manualPagesComeFromTheProgramsHelp_data()
{
    QTest::addColumn<QString>("program");
    for (const QString &program : installedPrograms())
        QTest::newRow(qPrintable(program)) << program;
}

void TestInstall::manualPagesComeFromTheProgramsHelp()
{
    QFETCH(QString, program);
    const QString page = prefix() + QStringLiteral("/share/man/man1/%1.1.gz").arg(program);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("MANWIDTH"), QStringLiteral("200"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    QProcess man;
    man.setProcessEnvironment(environment);
    man.start(QStringLiteral("man"), {QStringLiteral("--warnings"), QStringLiteral("-l"), page});
    QVERIFY(man.waitForFinished(HangMilliseconds));
    const QString rendered = QString::fromUtf8(man.readAllStandardOutput());
    // groff's warnings, if any, go to standard error
    QCOMPARE(QString::fromUtf8(man.readAllStandardError()), QString());
    QCOMPARE(man.exitCode(), 0);
    // every option that --help lists is in the page
    const Run help = run(prefix() + QStringLiteral("/bin/") + program, {QStringLiteral("--help")});
    QVERIFY2(help.finished && help.exitCode == 0, qPrintable(help.output));
    const QRegularExpression option(QStringLiteral("(?:^|[\\s,])(--[a-z][a-z-]+)"));
    int options = 0;
    for (auto match = option.globalMatch(help.output); match.hasNext(); ++options) {
        const QString name = match.next().captured(1);
        QVERIFY2(rendered.contains(name), qPrintable(name));
    }
    QVERIFY(options >= 2);
    QVERIFY(rendered.contains(QStringLiteral("REPORTING BUGS")));
    QVERIFY(rendered.contains(QStringLiteral("SEE ALSO")));
}

QString TestInstall::debianPackageFile(const QString &package)
{
    if (m_debs.isEmpty()) {
        const Run architecture = run(QStringLiteral("dpkg"), {QStringLiteral("--print-architecture")});
        if (!architecture.finished || architecture.exitCode != 0)
            return {};
        const Run cpack = run(QStringLiteral(ZABO_CPACK_COMMAND),
                              {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                               QStringLiteral(ZABO_BUILD_DIR "/CPackConfig.cmake"), QStringLiteral("-B"),
                               m_packages.path()});
        if (!cpack.finished || cpack.exitCode != 0) {
            qWarning().noquote() << cpack.output;
            return {};
        }
        for (const QString &name : packageNames()) {
            const QString deb = m_packages.filePath(
                QStringLiteral("%1_%2_%3.deb")
                    .arg(name, QStringLiteral(ZABO_DEB_VERSION), architecture.output.trimmed()));
            if (QFileInfo(deb).isFile())
                m_debs.insert(name, deb);
            else
                qWarning().noquote() << deb << "is missing:"
                                     << QDir(m_packages.path()).entryList().join(QLatin1Char(' '));
        }
    }
    return m_debs.value(package);
}

void TestInstall::debianPackages_data()
{
    QTest::addColumn<QString>("package");
    QTest::addColumn<QStringList>("dependencies");
    QTest::addColumn<QStringList>("notDependedOn");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("notCarried");
    const QStringList gui{"libqt6gui6", "libqt6widgets6",        "qt6-qpa-plugins",      "fonts-noto-cjk",
                          "xdg-utils",  "libqscintilla2-qt6-15", "qt6-translations-l10n"};
    QStringList docs;
    for (const char *file : {"copyright", "changelog.Debian.gz", "changelog.gz"})
        docs.append(QStringLiteral("./usr/share/doc/%1/") + QLatin1String(file));
    // the command line alone: Qt Core and libgit2 (the line diffs), no display, no fonts
    QTest::newRow("zabo-format") << QStringLiteral("zabo-format") << QStringList{"libqt6core6", "libgit2-1.5"}
                                 << gui + QStringList{"indent"}
                                 << QStringList{" ./usr/bin/zabo-format\n",
                                                "./usr/share/man/man1/zabo-format.1.gz\n"}
                                 << QStringList{"./usr/bin/zabo\n", "/applications/", "/icons/",
                                                "zabo-preview"};
    // the window program, with zabo-format of the same build as the one owner of /usr/bin/zabo-format
    QTest::newRow("zabo")
        << QStringLiteral("zabo")
        << QStringList{"zabo-format (= " ZABO_DEB_VERSION ")", "libqt6core6", "libgit2-1.5"} + gui
        << QStringList{"indent"}
        << QStringList{" ./usr/bin/zabo\n",
                       "./usr/" ZABO_MODULE_DIR "/zabo-preview.so\n",
                       "./usr/share/man/man1/zabo.1.gz\n",
                       QStringLiteral("./usr/share/applications/%1.desktop\n").arg(AppId),
                       QStringLiteral("./usr/share/metainfo/%1.metainfo.xml\n").arg(AppId),
                       QStringLiteral("./usr/share/icons/hicolor/48x48/apps/%1.png\n").arg(AppId)}
        << QStringList{"zabo-format"};
}

void TestInstall::debianPackages()
{
    QFETCH(QString, package);
    QFETCH(QStringList, dependencies);
    QFETCH(QStringList, notDependedOn);
    QFETCH(QStringList, files);
    QFETCH(QStringList, notCarried);
    if (QStandardPaths::findExecutable(QStringLiteral("dpkg")).isEmpty())
        QSKIP("not a Debian system");
    const QString deb = debianPackageFile(package);
    QVERIFY(!deb.isEmpty());

    const Run info = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-I"), deb});
    QVERIFY2(info.finished && info.exitCode == 0, qPrintable(info.output));
    qInfo().noquote() << info.output;
    QVERIFY(info.output.contains(QStringLiteral("Package: %1\n").arg(package)));
    QVERIFY(info.output.contains(QStringLiteral("Source: zabo\n")));
    QVERIFY(info.output.contains(QStringLiteral("Version: " ZABO_DEB_VERSION "\n")));
    QVERIFY(!info.output.contains(QStringLiteral("@localhost")));
    const QStringList depends = info.output.section(QStringLiteral("Depends: "), 1)
                                    .section(QLatin1Char('\n'), 0, 0)
                                    .split(QStringLiteral(", "));
    const auto dependsOn = [&](const QString &name) {
        return std::any_of(depends.begin(), depends.end(), [&](const QString &dependency) {
            return dependency == name || dependency.startsWith(name + QLatin1Char(' '));
        });
    };
    for (const QString &dependency : dependencies)
        QVERIFY2(dependsOn(dependency), qPrintable(dependency + QStringLiteral(" in ") + depends.join(", ")));
    for (const QString &dependency : notDependedOn)
        QVERIFY2(!dependsOn(dependency),
                 qPrintable(dependency + QStringLiteral(" in ") + depends.join(", ")));

    const Run contents = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), deb});
    QVERIFY2(contents.finished && contents.exitCode == 0, qPrintable(contents.output));
    QStringList carried = files;
    for (const char *file : {"copyright", "changelog.Debian.gz", "changelog.gz"})
        carried.append(QStringLiteral("./usr/share/doc/%1/%2\n").arg(package, QLatin1String(file)));
    for (const QString &file : carried)
        QVERIFY2(contents.output.contains(file), qPrintable(file));
    for (const QString &part : notCarried)
        QVERIFY2(!contents.output.contains(part), qPrintable(part));
}

void TestInstall::lintianFindsNothingToWarnAbout_data()
{
    QTest::addColumn<QString>("package");
    for (const QString &package : packageNames())
        QTest::newRow(qPrintable(package)) << package;
}

void TestInstall::lintianFindsNothingToWarnAbout()
{
    QFETCH(QString, package);
    if (QStandardPaths::findExecutable(QStringLiteral("dpkg")).isEmpty())
        QSKIP("not a Debian system");
    const QString lintian = QStandardPaths::findExecutable(QStringLiteral("lintian"));
    QVERIFY2(!lintian.isEmpty(), "lintian is missing: run tools/install-deps.sh");
    const QString deb = debianPackageFile(package);
    QVERIFY(!deb.isEmpty());
    // informational tags are shown for the log; errors and warnings fail
    const Run check = run(lintian, {QStringLiteral("--pedantic"), QStringLiteral("--display-info"),
                                    QStringLiteral("--fail-on"), QStringLiteral("error,warning"), deb});
    qInfo().noquote() << check.output;
    QVERIFY2(check.finished && check.exitCode == 0, qPrintable(check.output));
}

// dpkg installs both packages into a root of their own, where the window program's dependency on
// zabo-format holds and the others (the system's libraries) are taken as given; the installed
// zabo-format runs, and a purge leaves nothing of either behind. Without maintainer scripts, nothing
// else would run as root.
void TestInstall::packagesInstallAndPurgeCleanly()
{
    if (QStandardPaths::findExecutable(QStringLiteral("dpkg")).isEmpty())
        QSKIP("not a Debian system");
    QStringList debs;
    for (const QString &package : packageNames())
        debs.append(debianPackageFile(package));
    QVERIFY(!debs.contains(QString()));
    QTemporaryDir root;
    for (const char *directory : {"var/lib/dpkg/updates", "var/lib/dpkg/info", "var/lib/dpkg/triggers"})
        QVERIFY(QDir().mkpath(root.filePath(QLatin1String(directory))));
    QVERIFY(writeAll(root.filePath(QStringLiteral("var/lib/dpkg/status")), QByteArray()));
    const QStringList dpkg{QStringLiteral("--root=") + root.path(), QStringLiteral("--log=/dev/null"),
                           QStringLiteral("--force-not-root"), QStringLiteral("--force-script-chrootless")};
    const QStringList before = snapshot(root.path() + QStringLiteral("/usr"));

    // the window program alone cannot go in: its zabo-format is missing
    const Run alone =
        run(QStringLiteral("dpkg"), dpkg + QStringList{QStringLiteral("--install"), debs.last()});
    QVERIFY2(alone.exitCode != 0 && alone.output.contains(QStringLiteral("zabo-format")),
             qPrintable(alone.output));
    QVERIFY2(
        run(QStringLiteral("dpkg"), dpkg + QStringList{QStringLiteral("--purge"), QStringLiteral("zabo")})
                .exitCode == 0,
        "the half-installed window program does not purge");

    const Run install =
        run(QStringLiteral("dpkg"),
            dpkg + QStringList{QStringLiteral("--force-depends"), QStringLiteral("--install")} + debs);
    QVERIFY2(install.finished && install.exitCode == 0, qPrintable(install.output));
    const Run audit = run(QStringLiteral("dpkg"), dpkg + QStringList{QStringLiteral("--audit")});
    QVERIFY2(audit.finished && audit.exitCode == 0 && audit.output.trimmed().isEmpty(),
             qPrintable(audit.output));
    for (const QString &program : installedPrograms())
        QVERIFY2(QFileInfo(root.filePath(QStringLiteral("usr/bin/") + program)).isExecutable(),
                 qPrintable(program));
    const Run version =
        run(root.filePath(QStringLiteral("usr/bin/zabo-format")), {QStringLiteral("--version")});
    QVERIFY2(version.finished && version.exitCode == 0 &&
                 version.output.contains(QStringLiteral(ZABO_VERSION)),
             qPrintable(version.output));

    // zabo-format stays while the window program needs it
    const Run early = run(QStringLiteral("dpkg"),
                          dpkg + QStringList{QStringLiteral("--purge"), QStringLiteral("zabo-format")});
    QVERIFY2(early.exitCode != 0 && QFileInfo::exists(root.filePath(QStringLiteral("usr/bin/zabo-format"))),
             qPrintable(early.output));
    for (const QString &package : {QStringLiteral("zabo"), QStringLiteral("zabo-format")}) {
        const Run purge = run(QStringLiteral("dpkg"), dpkg + QStringList{QStringLiteral("--purge"), package});
        QVERIFY2(purge.finished && purge.exitCode == 0, qPrintable(purge.output));
    }
    QCOMPARE(snapshot(root.path() + QStringLiteral("/usr")), before);
    const Run status = run(QStringLiteral("dpkg-query"),
                           {QStringLiteral("--admindir=") + root.filePath(QStringLiteral("var/lib/dpkg")),
                            QStringLiteral("-W"), QStringLiteral("-f=${Package} ${Status}\n")});
    QVERIFY2(!status.output.contains(QStringLiteral("zabo")), qPrintable(status.output));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_install.moc"
