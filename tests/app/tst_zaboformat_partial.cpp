// zabo-format --lines and --since as processes over real code: partial formatting keeps every token,
// and formatting its result fully gives what formatting the source fully gives.
#include "ChildProcesses.h"
#include "LineSelection.h"
#include "StyleStore.h"
#include "TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Program = QStringLiteral(ZABO_FORMAT_PATH);
const QString BenchData = QStringLiteral(ZABO_BENCH_DATA);
const QStringList BenchFiles{"enough.c", "gun.c", "gzlog.c"};

using Run = ChildRun;

// A program run to its end in directory; a run that would hang fails the test instead.
Run runIn(const QString &directory, const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setWorkingDirectory(directory);
    process.start(program, arguments);
    return finishedRun(process, 600000);
}

QByteArray describe(const Run &run)
{
    return "exit " + QByteArray::number(run.exitCode) + "\n--- stdout\n" + run.out.left(4000) +
           "\n--- stderr\n" + run.err.left(4000);
}

// The file's text with a blank added at the end of each of the lines first to last: what git then
// reports as changed is exactly those lines.
QByteArray withLinesTouched(const QByteArray &text, int first, int last)
{
    QList<QByteArray> lines = text.split('\n');
    for (int line = first; line <= last && line <= lines.size(); ++line)
        lines[line - 1] += ' ';
    return lines.join('\n');
}

// Every file below directory by relative path.
QMap<QString, QByteArray> filesIn(const QString &directory)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(directory, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(directory).relativeFilePath(path), readAll(path));
    }
    return files;
}

} // namespace

class TestZaboFormatPartial : public QObject
{
    Q_OBJECT

    QTemporaryDir m_scratch;
    QString m_config; // the built-in styles
    QStringList m_styles;

    QString path(const QString &relative) const { return m_scratch.filePath(relative); }

    void write(const QString &relative, const QByteArray &bytes) const
    {
        QVERIFY(QDir().mkpath(QFileInfo(path(relative)).absolutePath()));
        QVERIFY(writeAll(path(relative), bytes));
    }

    void git(const QString &directory, const QStringList &arguments) const
    {
        const Run run =
            runIn(directory, QStringLiteral("git"),
                  QStringList{"-c", "user.name=Zabo", "-c", "user.email=zabo@example.org"} + arguments);
        QVERIFY2(run.exitCode == 0, describe(run).constData());
    }

    // A repository holding files as committed, then given the texts they have now.
    void makeRepository(const QString &directory, const QMap<QString, QByteArray> &committed,
                        const QMap<QString, QByteArray> &now) const
    {
        for (auto it = committed.cbegin(); it != committed.cend(); ++it)
            write(directory + '/' + it.key(), it.value());
        git(path(directory), {"init", "-q"});
        git(path(directory), {"add", "."});
        git(path(directory), {"commit", "-qm", "legacy"});
        for (auto it = now.cbegin(); it != now.cend(); ++it)
            write(directory + '/' + it.key(), it.value());
    }

    Run format(const QString &directory, const QString &style, const QStringList &arguments) const
    {
        return runIn(path(directory), Program,
                     QStringList{"--config", m_config, "--style", style} + arguments);
    }

    // Partial formatting's promise for a source and what partial formatting made of it: the full
    // format of both is the same, and where full formatting keeps every non-blank character, so does
    // the result.
    void verifyKeepsTheCode(const QString &style, const QMap<QString, QByteArray> &sources,
                            const QMap<QString, QByteArray> &results)
    {
        QCOMPARE(results.keys(), sources.keys());
        const QString twice = QStringLiteral("twice");
        QVERIFY(QDir(path(twice)).removeRecursively());
        // many sources are copies of one text: each text is formatted once
        QHash<QByteArray, QString> firstWithText;
        for (auto it = sources.cbegin(); it != sources.cend(); ++it) {
            if (!firstWithText.contains(it.value())) {
                firstWithText.insert(it.value(), it.key());
                write(twice + "/source/" + it.key(), it.value());
            }
            write(twice + "/result/" + it.key(), results.value(it.key()));
        }
        for (const QString &side : QStringList{"source", "result"}) {
            const Run full = format(twice, style, {"--output", side + "-full", "-r", side});
            QVERIFY2(full.exitCode == 0, describe(full).constData());
        }
        const QMap<QString, QByteArray> sourceFull = filesIn(path(twice + "/source-full"));
        const QMap<QString, QByteArray> resultFull = filesIn(path(twice + "/result-full"));
        for (auto it = sources.cbegin(); it != sources.cend(); ++it) {
            const QByteArray tokens = nonBlankCharacters(it.value());
            const QByteArray full = sourceFull.value(firstWithText.value(it.value()));
            if (nonBlankCharacters(full) == tokens)
                QVERIFY2(nonBlankCharacters(results.value(it.key())) == tokens, qPrintable(it.key()));
            QVERIFY2(resultFull.value(it.key()) == full, qPrintable(it.key()));
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY(isolateFromIndentSettings(m_scratch.path()));
        write("styles.dat", serializeStyleFile(builtInStyles(), 0));
        m_config = path("styles.dat");
        // the names as zabo-format lists them, each before a tab and its options
        const Run list = runIn(path("."), Program, {"--config", m_config, "--list-styles"});
        QVERIFY2(list.exitCode == 0, describe(list).constData());
        for (const QByteArray &line : list.out.split('\n')) {
            if (line.contains('\t'))
                m_styles.append(QString::fromUtf8(line.mid(2, line.indexOf('\t') - 2)));
        }
        QCOMPARE(m_styles.size(), builtInStyles().size());
    }

    // A switch with a braced case and an if / else if / else under default, two columns deep, one
    // line edited under default: --since once removed the whole default branch and the switch's brace.
    void switchWithOneEditedLine()
    {
        const QByteArray committed = "int classify(int kind, int value)\n"
                                     "{\n"
                                     "  int result = 0;\n"
                                     "  switch (kind) {\n"
                                     "  case 1: {\n"
                                     "    result = value;\n"
                                     "    break;\n"
                                     "  }\n"
                                     "  default:\n"
                                     "    if (value > 10)\n"
                                     "      result = 2;\n"
                                     "    else if (value > 5)\n"
                                     "      result = 1;\n"
                                     "    else\n"
                                     "      result = 0;\n"
                                     "    break;\n"
                                     "  }\n"
                                     "  return result;\n"
                                     "}\n";
        QByteArray edited = committed;
        edited.replace("result = 1;", "result = 3;");
        makeRepository("mini", {{"mini.c", committed}, {".indent.pro", "-kr\n"}}, {{"mini.c", edited}});

        const Run inPlace =
            runIn(path("mini"), Program, {"--style", "file", "--in-place", "--since", "HEAD", "mini.c"});
        QVERIFY2(inPlace.exitCode == 0 && inPlace.err.contains("reformatted mini.c"),
                 describe(inPlace).constData());
        const QByteArray result = readAll(path("mini/mini.c"));
        QCOMPARE(nonBlankCharacters(result), nonBlankCharacters(edited));
        // the switch is one change: indent moves every line of it
        QVERIFY2(
            result.contains("    switch (kind) {\n    case 1:{\n\t    result = value;\n") &&
                result.contains("    default:\n\tif (value > 10)\n\t    result = 2;\n\telse if (value > 5)\n"
                                "\t    result = 3;\n\telse\n\t    result = 0;\n\tbreak;\n    }\n"),
            result.constData());
        const Run check = runIn(path("mini"), Program, {"--style", "file", "--check", "mini.c"});
        QVERIFY2(check.exitCode == 0, describe(check).constData());
    }

    // The real files in bench/data cut into 4-line windows, each reported by git as changed in a copy
    // of its own, and one run formats them all. Each style takes every other window, the next style
    // the ones between, so that the styles together cover every window twice.
    void windowsOverRealFilesKeepTheCode_data() { styles_data(); }
    void windowsOverRealFilesKeepTheCode()
    {
        QFETCH(QString, style);
        const QString repository = "windows-" + QString::number(qHash(style));
        QMap<QString, QByteArray> committed;
        QMap<QString, QByteArray> now;
        for (const QString &name : BenchFiles) {
            const QByteArray text = readAll(BenchData + '/' + name);
            const int lines = int(text.count('\n'));
            for (int first = 1 + 4 * int(m_styles.indexOf(style) % 2); first <= lines; first += 8) {
                const QString copy =
                    QStringLiteral("src/%1-%2.c").arg(name.chopped(2)).arg(first, 4, 10, QChar('0'));
                committed.insert(copy, withLinesTouched(text, first, first + 3));
                now.insert(copy, text);
            }
        }
        makeRepository(repository, committed, now);
        const Run run = format(repository, style, {"--output", "out", "--since", "HEAD", "-r", "src"});
        QVERIFY2(run.exitCode == 0, describe(run).constData());
        QMap<QString, QByteArray> sources;
        for (auto it = now.cbegin(); it != now.cend(); ++it)
            sources.insert(it.key().mid(4), it.value());
        const QMap<QString, QByteArray> results = filesIn(path(repository + "/out"));
        QVERIFY(results != sources); // the windows were formatted
        verifyKeepsTheCode(style, sources, results);
    }

    // Edits where code is most often edited, each a change of its own since the commit.
    void sinceKeepsTheCodeAroundEdits_data() { styles_data(); }
    void sinceKeepsTheCodeAroundEdits()
    {
        QFETCH(QString, style);
        const QByteArray committed = readAll(BenchData + "/gun.c");
        const QList<QPair<QByteArray, QByteArray>> edits{
            {"    struct utimbuf when;\n", "    struct utimbuf  when ;\n"}, // start of a function
            {"(void)chmod(to, was.st_mode & 07777);", "(void)chmod(to,was.st_mode&07777);"}, // its middle
            {"    (void)utime(to, &when);\n}", "    (void)utime(to,&when) ;\n}"},            // its end
            {"    case Z_BUF_ERROR:", "    case Z_BUF_ERROR :"}, // inside a switch
            {"/* set to's mode bits, ignore errors */", "/*  set to's mode bits,   ignore errors */"},
            {"#define local static", "#define  local  static"}, // preprocessor lines
            {"#define PIECE 16384 ", "#define PIECE  16384"},
        };
        QByteArray edited = committed;
        for (const auto &edit : edits) {
            QCOMPARE(edited.count(edit.first), 1);
            edited.replace(edit.first, edit.second);
        }
        const QString repository = "edits-" + QString::number(qHash(style));
        makeRepository(repository, {{"gun.c", committed}}, {{"gun.c", edited}});
        const Run run = format(repository, style, {"--in-place", "--since", "HEAD", "gun.c"});
        QVERIFY2(run.exitCode == 0, describe(run).constData());
        const QByteArray result = readAll(path(repository + "/gun.c"));
        QVERIFY(result != edited);
        verifyKeepsTheCode(style, {{"gun.c", edited}}, {{"gun.c", result}});
        // what no edit touched stays as it was: the licence at the top, main at the end
        QVERIFY(result.startsWith(committed.left(committed.indexOf("#include"))));
        QVERIFY(result.endsWith(committed.mid(committed.indexOf("int main(int argc"))));
    }

    // A file of a submodule is compared with the submodule's commit that the revision records, not
    // taken for a new file of the superproject; any revision git accepts names the commit.
    void sinceReadsSubmodulesAndAnyRevision()
    {
        const QByteArray legacy = "int  first(int a){return a+1;}\n\nint  second(int b){return b+2;}\n\n"
                                  "int  third(int c){return c+3;}\n";
        QByteArray touched = legacy;
        touched.replace("b+2", "b*2");
        const QByteArray expected =
            "int  first(int a){return a+1;}\n\nint second(int b)\n{\n    return b * 2;\n}\n\n"
            "int  third(int c){return c+3;}\n";
        makeRepository("library", {{"lib.c", legacy}}, {});
        makeRepository("super", {{"main.c", legacy}}, {});
        git(path("super"),
            {"-c", "protocol.file.allow=always", "submodule", "add", "-q", path("library"), "lib"});
        git(path("super"), {"commit", "-qm", "with the library"});
        write("super/lib/lib.c", touched);
        write("super/main.c", touched);

        const Run run = format("super", "K&&R", {"--in-place", "--since", "HEAD", "-r", "."});
        QVERIFY2(run.exitCode == 0, describe(run).constData());
        QCOMPARE(readAll(path("super/lib/lib.c")), expected);
        QCOMPARE(readAll(path("super/main.c")), expected);

        write("super/main.c", touched);
        const Run byMessage = format("super", "K&&R", {"--in-place", "--since", ":/legacy", "main.c"});
        QVERIFY2(byMessage.exitCode == 0, describe(byMessage).constData());
        QCOMPARE(readAll(path("super/main.c")), expected);
    }

private:
    void styles_data()
    {
        QTest::addColumn<QString>("style");
        for (const QString &style : std::as_const(m_styles))
            QTest::newRow(style.toUtf8().constData()) << style;
    }
};

QTEST_GUILESS_MAIN(TestZaboFormatPartial)
#include "tst_zaboformat_partial.moc"
