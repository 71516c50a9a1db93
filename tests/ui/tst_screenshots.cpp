// The pictures in docs/screenshots are what tools/screenshots.sh draws with this build: drawn again the
// same way, every one is byte for byte the committed one, and none is committed that the tool no longer
// draws. After a change to a window, run tools/screenshots.sh and commit the pictures.
#include "TestFiles.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestScreenshots : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void committedPicturesAreCurrent();

private:
    // Runs the tool as the script does; the pictures go to output.
    bool draw(const QSize &screen, const QByteArray &scale, const QString &output, const QStringList &mode);

    QTemporaryDir m_scratch;
};

bool TestScreenshots::draw(const QSize &screen, const QByteArray &scale, const QString &output,
                           const QStringList &mode)
{
    const QString config =
        m_scratch.filePath(QStringLiteral("%1x%2.json").arg(screen.width()).arg(screen.height()));
    const QByteArray json =
        QStringLiteral(R"({"screens": [{"name": "screen", "x": 0, "y": 0, "width": %1, )"
                       R"("height": %2, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}], )"
                       R"("windowFrameMargins": false})"
                       "\n")
            .arg(screen.width())
            .arg(screen.height())
            .toUtf8();
    if (!writeAll(config, json))
        return false;
    const QString program = m_scratch.filePath(QStringLiteral("program-") + mode.join(QString()));
    QDir().mkpath(program);
    QDir().mkpath(m_scratch.filePath(QStringLiteral("home")));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + config);
    environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QString::fromLatin1(scale));
    environment.insert(QStringLiteral("HOME"), m_scratch.filePath(QStringLiteral("home")));
    environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
    QProcess tool;
    tool.setProcessEnvironment(environment);
    tool.setProcessChannelMode(QProcess::ForwardedChannels);
    tool.start(QStringLiteral(ZABO_SCREENSHOTS_PATH), QStringList{program, output} + mode);
    return tool.waitForFinished(300000) && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

void TestScreenshots::committedPicturesAreCurrent()
{
    QVERIFY(m_scratch.isValid());
    const QString output = m_scratch.filePath(QStringLiteral("pictures"));
    QVERIFY(QDir().mkpath(output));
    QVERIFY(draw({1280, 800}, "1", output, {}));
    QVERIFY(draw({1366, 768}, "1.5", output, {QStringLiteral("screen")}));

    const QDir committed(QStringLiteral(ZABO_SCREENSHOTS_DIR));
    const QStringList drawn = QDir(output).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    QCOMPARE(committed.entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name), drawn);
    for (const QString &name : drawn) {
        QVERIFY2(readAll(committed.filePath(name)) == readAll(QDir(output).filePath(name)),
                 qPrintable(name + QStringLiteral(" differs from what tools/screenshots.sh draws now")));
    }
}

QTEST_GUILESS_MAIN(TestScreenshots)
#include "tst_screenshots.moc"
