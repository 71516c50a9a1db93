// zabo's own command line, run as the process a shell or help2man starts, and what it loads to start.
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Invocation
{
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs zabo in a scratch home. With display false there is none at all: the xcb platform, which needs
// one, is what Qt would pick, so anything that creates the QApplication fails.
Invocation runZabo(const QStringList &arguments, bool display)
{
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_CONFIG_HOME"})
        environment.remove(QString::fromLatin1(name));
    if (display)
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("HOME"), home.path());
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(ZABO_PATH), arguments);
    Invocation result;
    // a zabo that opened its window instead would never end on its own
    result.finished = process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit;
    if (!result.finished) {
        process.kill();
        process.waitForFinished();
    }
    result.exitCode = process.exitCode();
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

} // namespace

class TestZabo : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void informationWithoutADisplay_data();
    void informationWithoutADisplay();
    void otherArgumentsAreRefused_data();
    void otherArgumentsAreRefused();
    void theHelpOffersOnlyWhatWorks();
    void startsWithoutWhatOnlyThePreviewAndDiffsNeed_data();
    void startsWithoutWhatOnlyThePreviewAndDiffsNeed();
};

void TestZabo::informationWithoutADisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("firstLine");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("--version") << QStringList{"--version"} << QStringLiteral("zabo " ZABO_VERSION)
                               << QStringLiteral("GPLv3+");
    QTest::newRow("-v") << QStringList{"-v"} << QStringLiteral("zabo " ZABO_VERSION)
                        << QStringLiteral("indent");
    QTest::newRow("--help") << QStringList{"--help"} << QStringLiteral("Usage: zabo [options]")
                            << QStringLiteral("--version");
    QTest::newRow("-h") << QStringList{"-h"} << QStringLiteral("Usage: zabo [options]")
                        << QStringLiteral("~/.config/zabo/Zabocfg.dat");
    QTest::newRow("--help before a Qt option")
        << QStringList{"--help", "-style", "fusion"} << QStringLiteral("Usage: zabo [options]")
        << QStringLiteral("--help");
}

void TestZabo::informationWithoutADisplay()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, firstLine);
    QFETCH(QString, mentions);
    const Invocation zabo = runZabo(arguments, false);
    QVERIFY2(zabo.finished, qPrintable(zabo.err));
    QCOMPARE(zabo.exitCode, 0);
    QCOMPARE(zabo.out.section(QLatin1Char('\n'), 0, 0), firstLine);
    QVERIFY2(zabo.out.contains(mentions), qPrintable(zabo.out));
    QCOMPARE(zabo.err, QString());
}

void TestZabo::otherArgumentsAreRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("named");
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << QStringLiteral("--frobnicate");
    QTest::newRow("a file") << QStringList{"main.c"} << QStringLiteral("main.c");
    QTest::newRow("after Qt's own option")
        << QStringList{"-style", "fusion", "--frobnicate"} << QStringLiteral("--frobnicate");
}

void TestZabo::otherArgumentsAreRefused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, named);
    const Invocation zabo = runZabo(arguments, true);
    QVERIFY2(zabo.finished, "zabo went on to its window");
    QCOMPARE(zabo.exitCode, 2);
    QVERIFY2(zabo.err.contains(QStringLiteral("zabo: unknown argument '%1'").arg(named)),
             qPrintable(zabo.err));
    QVERIFY(zabo.err.contains(QStringLiteral("zabo --help")));
    QCOMPARE(zabo.out, QString());
}

// Every option --help names works without a display, and the help fits a terminal of 80 columns.
void TestZabo::theHelpOffersOnlyWhatWorks()
{
    const Invocation help = runZabo({QStringLiteral("--help")}, false);
    QVERIFY2(help.finished && help.exitCode == 0, qPrintable(help.err));
    for (const QString &line : help.out.split(QLatin1Char('\n')))
        QVERIFY2(line.size() <= 80, qPrintable(line));
    static const QRegularExpression option(QStringLiteral("^\\s+(-\\w)?(?:, )?(--[\\w-]+)"),
                                           QRegularExpression::MultilineOption);
    QStringList offered;
    for (auto match = option.globalMatch(help.out); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        offered << found.captured(2);
        if (found.hasCaptured(1))
            offered << found.captured(1);
    }
    QCOMPARE(offered, (QStringList{"--help", "-h", "--version", "-v"}));
    for (const QString &name : std::as_const(offered)) {
        const Invocation zabo = runZabo({name}, false);
        QVERIFY2(zabo.finished && zabo.exitCode == 0, qPrintable(name + QLatin1Char(' ') + zabo.err));
        QVERIFY(!zabo.out.isEmpty());
    }
}

void TestZabo::startsWithoutWhatOnlyThePreviewAndDiffsNeed_data()
{
    // readelf: what the program itself names; ldd: everything the loader maps before main()
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("dynamic section") << QStringLiteral("readelf") << QStringList{QStringLiteral("-d")};
    QTest::newRow("loaded libraries") << QStringLiteral("ldd") << QStringList();
}

// QScintilla (with QtPrintSupport) is loaded with the preview's module, libgit2 (with TLS, SSH and
// HTTP) by the first line diff: the first window shows neither, so the start must not pay for them.
void TestZabo::startsWithoutWhatOnlyThePreviewAndDiffsNeed()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, arguments);
    QProcess process;
    process.start(tool, arguments << QStringLiteral(ZABO_PATH));
    QVERIFY2(process.waitForFinished(60000) && process.exitCode() == 0,
             qPrintable(tool + QLatin1Char(' ') + process.readAllStandardError()));
    const QString libraries = QString::fromLocal8Bit(process.readAllStandardOutput());
    QVERIFY2(libraries.contains(QStringLiteral("libQt6Widgets.so")), qPrintable(libraries));
    for (const char *deferred :
         {"qscintilla", "Qt6PrintSupport", "libgit2", "libssh2", "mbedtls", "libcrypto"})
        QVERIFY2(!libraries.contains(QLatin1String(deferred), Qt::CaseInsensitive),
                 qPrintable(deferred + libraries));
}

QTEST_GUILESS_MAIN(TestZabo)
#include "tst_zabo.moc"
