// The README's set-ups run as a user pastes them. A snippet is the indented code block right after a
// line "<!-- test: NAME -->" in README.md; a command whose comment says "fails" must fail, every other
// must succeed. zabo-format is the one this build made, found on PATH as the README asks.
#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Outcome
{
    int exitCode = -1; // -1: it did not finish
    QByteArray out;
    QByteArray err;
};

QByteArray describe(const QString &what, const Outcome &outcome)
{
    return what.toUtf8() + ": exit " + QByteArray::number(outcome.exitCode) + "\n--- stdout\n" + outcome.out +
           "\n--- stderr\n" + outcome.err;
}

// The lines of the snippet named name, without their indentation; empty when there is none.
QStringList snippet(const QString &name)
{
    const QStringList lines =
        QString::fromUtf8(readAll(QStringLiteral(ZABO_SOURCE_DIR "/README.md"))).split(QLatin1Char('\n'));
    qsizetype at = lines.indexOf(QStringLiteral("<!-- test: %1 -->").arg(name));
    QStringList block;
    if (at < 0)
        return block;
    for (++at; at < lines.size() && lines.at(at).startsWith(QStringLiteral("    ")); ++at)
        block.append(lines.at(at).mid(4));
    return block;
}

QByteArray fixture(const QString &name)
{
    return readAll(qEnvironmentVariable("ZABO_TEST_DATA") + QLatin1Char('/') + name);
}

} // namespace

class TestReadme : public QObject
{
    Q_OBJECT

    QTemporaryDir m_work;
    QProcessEnvironment m_environment;

    QString path(const QString &relative) const { return m_work.filePath(relative); }
    void write(const QString &relative, const QByteArray &bytes) const
    {
        QVERIFY(QDir().mkpath(QFileInfo(path(relative)).absolutePath()));
        QVERIFY(writeAll(path(relative), bytes));
    }

    // Runs program to its end in directory, failing the test when it would hang.
    Outcome run(const QString &program, const QStringList &arguments, const QString &directory,
                const QByteArray &input = QByteArray()) const
    {
        QProcess process;
        process.setProcessEnvironment(m_environment);
        process.setWorkingDirectory(path(directory));
        process.start(program, arguments);
        process.write(input);
        process.closeWriteChannel();
        Outcome outcome;
        if (!process.waitForFinished(120000)) {
            process.kill();
            process.waitForFinished(-1);
            return outcome;
        }
        outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        outcome.out = process.readAllStandardOutput();
        outcome.err = process.readAllStandardError();
        return outcome;
    }
    Outcome shell(const QString &command, const QString &directory,
                  const QByteArray &input = QByteArray()) const
    {
        return run(QStringLiteral("sh"), {QStringLiteral("-c"), command}, directory, input);
    }

    // An untidy project with a profile, the README's .zaboignore and vendored code at several depths.
    void writeProject()
    {
        QDir(path(QStringLiteral("project"))).removeRecursively();
        write(QStringLiteral("project/.indent.pro"), "-kr -i8 -ts8\n");
        write(QStringLiteral("project/.zaboignore"),
              snippet(QStringLiteral("zaboignore")).join('\n').toUtf8() + '\n');
        for (const char *name : {"src/a.c", "src/lib/b.h", "src/lib/tidy.c"})
            write(QStringLiteral("project/") + QLatin1String(name), fixture(QStringLiteral("untidy.c")));
        for (const char *name : vendored())
            write(QStringLiteral("project/") + QLatin1String(name), fixture(QStringLiteral("untidy.c")));
        // one file already in the style
        const Outcome tidy =
            run(path(QStringLiteral("bin/zabo-format")),
                {QStringLiteral("--style"), QStringLiteral("file"), QStringLiteral("src/lib/tidy.c")},
                QStringLiteral("project"));
        QVERIFY2(tidy.exitCode == 0, describe(QStringLiteral("zabo-format"), tidy).constData());
        write(QStringLiteral("project/src/lib/tidy.c"), tidy.out);
    }
    static QList<const char *> vendored()
    {
        return {"third_party/z.c", "src/third_party/deep/er/y.c", "src/proto/m.pb.c", "build/gen.c"};
    }
    void verifyVendoredUntouched() const
    {
        for (const char *name : vendored())
            QVERIFY2(readAll(path(QStringLiteral("project/") + QLatin1String(name))) ==
                         fixture(QStringLiteral("untidy.c")),
                     name);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(isolateFromIndentSettings(m_work.path()));
        QVERIFY(QDir().mkpath(path(QStringLiteral("bin"))));
        QVERIFY(QFile::link(QStringLiteral(ZABO_FORMAT_PATH), path(QStringLiteral("bin/zabo-format"))));
        m_environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_CONFIG_HOME"})
            m_environment.remove(QString::fromLatin1(name));
        m_environment.insert(QStringLiteral("XDG_CACHE_HOME"), path(QStringLiteral("cache")));
        m_environment.insert(QStringLiteral("PRE_COMMIT_HOME"), path(QStringLiteral("pre-commit")));
        m_environment.insert(QStringLiteral("GIT_CONFIG_NOSYSTEM"), QStringLiteral("1"));
        m_environment.insert(QStringLiteral("PATH"), path(QStringLiteral("bin")) + QLatin1Char(':') +
                                                         m_environment.value(QStringLiteral("PATH")));
        for (const char *role : {"AUTHOR", "COMMITTER"}) {
            m_environment.insert(QStringLiteral("GIT_%1_NAME").arg(QLatin1String(role)),
                                 QStringLiteral("Zabo"));
            m_environment.insert(QStringLiteral("GIT_%1_EMAIL").arg(QLatin1String(role)),
                                 QStringLiteral("zabo@example.org"));
        }
    }

    void init() { writeProject(); }

    // The configuration as pasted, its repo: a scratch clone of this repository that has the tag rev:
    // names; then the README's commands, in order.
    void preCommitAsTheReadmeSetsItUp()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pre-commit")).isEmpty())
            QSKIP("pre-commit is needed (tools/install-deps.sh installs it)");
        const QStringList configuration = snippet(QStringLiteral("pre-commit-config"));
        QVERIFY(!configuration.isEmpty());
        QCOMPARE(configuration.first(), QStringLiteral("repos:"));
        const qsizetype repoLine =
            configuration.indexOf(QRegularExpression(QStringLiteral("^- repo: \\S+$")));
        const qsizetype revLine = configuration.indexOf(QRegularExpression(QStringLiteral("^  rev: \\S+$")));
        QVERIFY(repoLine > 0 && revLine > 0);
        const QString tag = configuration.at(revLine).section(QLatin1Char(' '), -1);
        QVERIFY2(QRegularExpression(QStringLiteral("^v[0-9]+(\\.[0-9]+)+$")).match(tag).hasMatch(),
                 qPrintable(tag + " is no release tag"));

        const QString git = QStringLiteral("git");
        write(QStringLiteral("hooks/.pre-commit-hooks.yaml"),
              readAll(QStringLiteral(ZABO_SOURCE_DIR "/.pre-commit-hooks.yaml")));
        for (const QStringList &command : {QStringList{"init", "-q"}, QStringList{"add", "."},
                                           QStringList{"commit", "-qm", "hooks"}, QStringList{"tag", tag}})
            QCOMPARE(run(git, command, QStringLiteral("hooks")).exitCode, 0);
        QStringList pasted = configuration;
        pasted[repoLine] = QStringLiteral("- repo: ") + path(QStringLiteral("hooks"));
        write(QStringLiteral("project/.pre-commit-config.yaml"), pasted.join('\n').toUtf8() + '\n');
        for (const QStringList &command :
             {QStringList{"init", "-q"}, QStringList{"add", "."}, QStringList{"commit", "-qm", "untidy"}})
            QCOMPARE(run(git, command, QStringLiteral("project")).exitCode, 0);

        const QStringList commands = snippet(QStringLiteral("pre-commit-run"));
        QVERIFY(commands.size() >= 3);
        for (const QString &command : commands) {
            const Outcome outcome = shell(command, QStringLiteral("project"));
            const bool shouldFail = command.section(QLatin1Char('#'), 1).contains(QStringLiteral("fails"));
            QVERIFY2(shouldFail ? outcome.exitCode > 0 : outcome.exitCode == 0,
                     describe(command, outcome).constData());
            if (shouldFail) {
                QVERIFY(outcome.out.contains("files were modified by this hook"));
                QVERIFY(readAll(path(QStringLiteral("project/src/a.c"))) !=
                        fixture(QStringLiteral("untidy.c")));
            }
            verifyVendoredUntouched();
        }
    }

    // The whole profile learnt, saved and used as the README shows: --check counts the lines promised.
    void aWholeProfileAsTheReadmeLearnsIt()
    {
        const QStringList commands = snippet(QStringLiteral("whole-profile"));
        QCOMPARE(commands.size(), 2);
        write(QStringLiteral("team/src/sample.c"), fixture(QStringLiteral("options_sample.c")));
        write(QStringLiteral("team/src/lib/untidy.c"), fixture(QStringLiteral("untidy.c")));
        const Outcome learnt = shell(commands.at(0), QStringLiteral("team"));
        QVERIFY2(learnt.exitCode == 0, describe(commands.at(0), learnt).constData());
        const QRegularExpressionMatch promise =
            QRegularExpression(QStringLiteral("(\\d+) changed lines? in 2 files"))
                .match(QString::fromUtf8(learnt.err));
        QVERIFY2(promise.hasMatch(), learnt.err.constData());
        const int promised = promise.captured(1).toInt();

        const Outcome checked = shell(commands.at(1), QStringLiteral("team"));
        QVERIFY2(checked.exitCode == (promised == 0 ? 0 : 1), describe(commands.at(1), checked).constData());
        if (promised > 0)
            QVERIFY2(
                checked.err.contains("(profile .indent.pro), " + QByteArray::number(promised) + " changed"),
                describe(commands.at(1), checked).constData());
    }

    void vimAsTheReadmeSetsItUp_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("formatted");
        QTest::newRow("untidy") << QStringLiteral("src/a.c") << true;
        QTest::newRow("tidy") << QStringLiteral("src/lib/tidy.c") << false;
        QTest::newRow("vendored") << QStringLiteral("src/third_party/deep/er/y.c") << false;
        QTest::newRow("vendored, by name") << QStringLiteral("src/proto/m.pb.c") << false;
    }

    // Each vim line in Ex mode: formatprg through gq over the whole buffer, and the :%! filter.
    void vimAsTheReadmeSetsItUp()
    {
        QFETCH(QString, file);
        QFETCH(bool, formatted);
        const QString vim = QStandardPaths::findExecutable(QStringLiteral("vim"));
        if (vim.isEmpty())
            QSKIP("vim is needed (tools/install-deps.sh installs vim-tiny)");
        const Outcome expected =
            run(path(QStringLiteral("bin/zabo-format")),
                {QStringLiteral("--style"), QStringLiteral("file"), file}, QStringLiteral("project"));
        QVERIFY2(expected.exitCode == 0, describe(file, expected).constData());
        const QByteArray before = readAll(path(QStringLiteral("project/") + file));
        const QStringList lines = snippet(QStringLiteral("vim"));
        QCOMPARE(lines.size(), 2);
        for (const QString &line : lines) {
            write(QStringLiteral("project/") + file, before);
            const QStringList commands = line.startsWith(QStringLiteral("set "))
                                             ? QStringList{"-c", line, "-c", "normal gggqG"}
                                             : QStringList{"-c", line};
            const Outcome edited = run(vim,
                                       QStringList{"-u", "NONE", "-i", "NONE", "-N", "-n", "-Es"} + commands +
                                           QStringList{"-c", "wq", file},
                                       QStringLiteral("project"));
            QVERIFY2(edited.exitCode == 0, describe(line, edited).constData());
            const QByteArray after = readAll(path(QStringLiteral("project/") + file));
            QVERIFY2(after == (formatted ? expected.out : before), qPrintable(line));
            QCOMPARE(after != before, formatted);
        }
    }

    // An ignore file that cannot be read stops the run, naming it, and an editor keeps its buffer.
    void aBrokenIgnoreFileLeavesTheBufferAsItWas()
    {
        QVERIFY(QFile::remove(path(QStringLiteral("project/.zaboignore"))));
        QVERIFY(QFile::link(path(QStringLiteral("project/.indent.pro")),
                            path(QStringLiteral("project/.zaboignore"))));
        const QByteArray buffer = readAll(path(QStringLiteral("project/src/a.c")));
        const Outcome piped =
            run(path(QStringLiteral("bin/zabo-format")),
                {QStringLiteral("--style"), QStringLiteral("file"), QStringLiteral("--stdin-name"),
                 QStringLiteral("src/a.c"), QStringLiteral("-")},
                QStringLiteral("project"), buffer);
        QVERIFY2(piped.exitCode == 2 && piped.err.contains(".zaboignore: a symbolic link"),
                 describe(QStringLiteral("zabo-format -"), piped).constData());
        QCOMPARE(piped.out, buffer);
        const Outcome tree = run(path(QStringLiteral("bin/zabo-format")),
                                 {QStringLiteral("--style"), QStringLiteral("file"),
                                  QStringLiteral("--in-place"), QStringLiteral("-r"), QStringLiteral(".")},
                                 QStringLiteral("project"));
        QVERIFY2(tree.exitCode == 2, describe(QStringLiteral("zabo-format -r"), tree).constData());
        QCOMPARE(readAll(path(QStringLiteral("project/src/a.c"))), buffer);
        verifyVendoredUntouched();
    }

    // The extension runs the command in a shell with ${file} filled in and the document on standard input.
    void vsCodeAsTheReadmeSetsItUp()
    {
        const QByteArray fragment = snippet(QStringLiteral("vscode")).join('\n').toUtf8();
        QJsonParseError error;
        const QJsonDocument settings = QJsonDocument::fromJson('{' + fragment + '}', &error);
        QVERIFY2(!settings.isNull(), qPrintable(error.errorString()));
        const QJsonArray formatters =
            settings.object().value(QStringLiteral("customLocalFormatters.formatters")).toArray();
        QCOMPARE(formatters.size(), 1);
        const QString command = formatters.first().toObject().value(QStringLiteral("command")).toString();
        for (const QString &file : {QStringLiteral("src/a.c"), QStringLiteral("third_party/z.c")}) {
            const QByteArray buffer = readAll(path(QStringLiteral("project/") + file));
            const Outcome expected =
                run(path(QStringLiteral("bin/zabo-format")),
                    {QStringLiteral("--style"), QStringLiteral("file"), file}, QStringLiteral("project"));
            QString filled = command;
            filled.replace(QStringLiteral("${file}"), path(QStringLiteral("project/") + file));
            const Outcome outcome = shell(filled, QStringLiteral("project"), buffer);
            QVERIFY2(outcome.exitCode == 0, describe(filled, outcome).constData());
            QCOMPARE(outcome.out, file.startsWith(QStringLiteral("third_party")) ? buffer : expected.out);
        }
    }
};

QTEST_GUILESS_MAIN(TestReadme)
#include "tst_readme.moc"
