#include "CellTable.h"
#include "FormatterDeployment.h"
#include "FormatterRun.h"
#include "FormattingJob.h"
#include "LineEnds.h"
#include "ScriptedPrompts.h"
#include "SmallFileSystem.h"
#include "StyleStore.h"
#include "TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

const QString DirectoryNotice = text("注意！本功能目前仅整理当前目录下可识别代码文件，不整理子目录");
const QString DirectoryPrompt = text("请选择基线目录");
const QString FileDialogTitle = text("请选择待格式化的程序源文件[可多选]");
const QString AllTypesWarning =
    text("选择全部类型文件时，如选择文件中存在二进制数据文件，将会导致转换失败、文件损坏和程序崩溃！"
         "确认要继续操作吗？");
const QString ScriptCreateFailed = text("批处理文件创建失败！");
const QString Completed = text("代码风格整理完成！稍后自动打开整理代码目录");

const QDateTime Stamp(QDate(2016, 3, 5), QTime(9, 30, 7, 45));
const QString OutputName = QStringLiteral("FormatFile20160305-093007045");

const QByteArray Messy = "int main(int argc,char**argv){if(argc>1){return 1;}else{ for(int i=0;i<3;i++)"
                         "argc++; }\n/* a comment */ return 0;}\n";

QString recommendedParameterText()
{
    return ParameterTextOf(builtInStyles().at(3));
}

// Sees the script while the job runs: the progress display goes up once it has been written. Each
// progress update (one a copy, then the formatted files) can change the world under the running job.
class RecordingPrompts : public ScriptedPrompts
{
public:
    QString scriptPath;
    QByteArray scriptSeen;
    std::function<void(int done)> duringJob;

    std::unique_ptr<JobProgress> beginProgress(const QString &label, int total) override
    {
        scriptSeen = readAll(scriptPath);
        return std::make_unique<Progress>(ScriptedPrompts::beginProgress(label, total), duringJob);
    }

private:
    class Progress : public JobProgress
    {
    public:
        Progress(std::unique_ptr<JobProgress> shown, std::function<void(int)> hook)
            : m_shown(std::move(shown))
            , m_hook(std::move(hook))
        {}
        bool setProgress(int done, int total) override
        {
            if (m_hook)
                m_hook(done);
            return m_shown->setProgress(done, total);
        }

    private:
        std::unique_ptr<JobProgress> m_shown;
        std::function<void(int)> m_hook;
    };
};

using FileMap = QMap<QString, QByteArray>;

FileMap filesIn(const QString &directory)
{
    FileMap files;
    const QDir dir(directory);
    for (const QString &name :
         dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        files.insert(name, readAll(dir.filePath(name)));
    return files;
}

} // namespace

class TestFormattingJob : public QObject
{
    Q_OBJECT

    QTemporaryDir m_formatterHome;
    QString m_indent;

    std::unique_ptr<QTemporaryDir> m_scratch;
    QString m_program; // ends with '/'
    QString m_sources;
    QString m_parameterText;
    std::unique_ptr<RecordingPrompts> m_prompts;
    std::unique_ptr<FormattingJob> m_job;
    QList<QByteArray> m_rawPaths; // undecodable names, which QTemporaryDir cannot see

    void makeJob(const QString &program, const QString &formatter)
    {
        m_program = program;
        m_prompts = std::make_unique<RecordingPrompts>();
        m_prompts->scriptPath = program + "cmd.bat";
        m_job = std::make_unique<FormattingJob>(
            FormattingJob::Context{program, formatter, [this] { return m_parameterText; }}, *m_prompts);
        m_job->setClock([] { return Stamp; });
    }

    QString outputDirectory() const { return m_program + OutputName; }

    void writeSources(const QStringList &names, const QByteArray &content = Messy)
    {
        for (const QString &name : names)
            QVERIFY(writeAll(m_sources + "/" + name, content));
    }

    // What GNU indent itself makes of these files when typed by hand: the files, then the memo's
    // options ("-st" aside, which would send one file's text to the console), no backups, in the
    // working directory whose .indent.pro counts.
    FileMap indentDirectly(const FileMap &inputs) const
    {
        QTemporaryDir dir;
        QStringList paths;
        for (auto it = inputs.cbegin(); it != inputs.cend(); ++it) {
            writeAll(dir.filePath(it.key()), it.value());
            paths.append(dir.filePath(it.key()));
        }
        QStringList options = m_parameterText.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        options.removeAll(QStringLiteral("-st"));
        QProcess indent;
        indent.setStandardInputFile(QProcess::nullDevice());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("VERSION_CONTROL", "none");
        indent.setProcessEnvironment(environment);
        indent.start(m_indent, paths + options);
        indent.waitForFinished(-1);
        FileMap outputs;
        for (auto it = inputs.cbegin(); it != inputs.cend(); ++it)
            outputs.insert(it.key(), readAll(dir.filePath(it.key())));
        return outputs;
    }

    QStringList outputs() const { return QDir(m_program).entryList({"FormatFile*"}, QDir::AllEntries); }
    bool scriptExists() const { return QFileInfo::exists(m_program + "cmd.bat"); }
    QStringList scriptLines() const
    {
        return QString::fromUtf8(m_prompts->scriptSeen).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private slots:
    void initTestCase()
    {
        const FormatterDeployment deployment = DeployFormatter(m_formatterHome.path());
        QVERIFY2(deployment.ok, qPrintable(deployment.error));
        m_indent = deployment.formatterPath;
    }

    void init()
    {
        qunsetenv("FAKE_INDENT_MODE");
        m_scratch = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir(m_scratch->path()).mkdir("program"));
        QVERIFY(QDir(m_scratch->path()).mkdir("src"));
        m_sources = m_scratch->filePath("src");
        m_parameterText = recommendedParameterText();
        makeJob(m_scratch->filePath("program") + "/", m_indent);
    }

    void cleanup()
    {
        for (const QByteArray &raw : std::as_const(m_rawPaths))
            ::unlink(raw.constData());
        m_rawPaths.clear();
        m_job.reset();
        m_prompts.reset();
        m_scratch.reset();
    }

    void cancellingAtAnyDialogLeavesNoTrace_data()
    {
        QTest::addColumn<bool>("directoryJob");
        QTest::addColumn<int>("step");
        QTest::newRow("directory notice") << true << 0;
        QTest::newRow("folder chooser") << true << 1;
        QTest::newRow("file dialog") << false << 0;
        QTest::newRow("every-type warning") << false << 1;
    }

    void cancellingAtAnyDialogLeavesNoTrace()
    {
        QFETCH(bool, directoryJob);
        QFETCH(int, step);
        writeSources({"a.c"});
        if (directoryJob) {
            m_prompts->queueOkCancel(step != 0);
            m_job->IndentDirItemClick();
            QCOMPARE(m_prompts->informationQuestions, QStringList{DirectoryNotice});
            QCOMPARE(m_prompts->directoryPrompts, step == 0 ? QStringList() : QStringList{DirectoryPrompt});
        } else {
            if (step == 1) {
                m_prompts->queueFiles({m_sources + "/a.c"}, FormattingJob::allFilesFilter());
                m_prompts->queueAnswer(false);
            }
            m_job->IndentFileItemClick();
            QCOMPARE(m_prompts->questions, step == 0 ? QStringList() : QStringList{AllTypesWarning});
        }
        QVERIFY(m_prompts->messages.isEmpty());
        QVERIFY(m_prompts->openedFolders.isEmpty());
        QVERIFY(!scriptExists());
        QVERIFY(outputs().isEmpty());
    }

    void theFileDialogOffersSourcesAndEveryType()
    {
        writeSources({"a.c"});
        m_prompts->queueFiles({m_sources + "/a.c"}, FormattingJob::allFilesFilter());
        m_prompts->queueAnswer(true);
        m_job->IndentFileItemClick();
        QCOMPARE(m_prompts->fileRequests.size(), 1);
        const JobPrompts::OpenFilesRequest &request = m_prompts->fileRequests.first();
        QCOMPARE(request.title, FileDialogTitle);
        QCOMPARE(request.initialDirectory, m_program);
        QCOMPARE(request.filters,
                 (QStringList{text("支持文件类型 (*.c *.h *.cpp *.hpp)"), text("所有文件 (*)")}));
        QCOMPARE(m_prompts->questions, QStringList{AllTypesWarning});
        QCOMPARE(m_prompts->messages, QStringList{Completed});
    }

    void anUnwritableProgramDirectoryOnlySaysSo_data()
    {
        QTest::addColumn<bool>("directoryJob");
        QTest::newRow("directory job") << true;
        QTest::newRow("file job") << false;
    }

    void anUnwritableProgramDirectoryOnlySaysSo()
    {
        QFETCH(bool, directoryJob);
        writeSources({"a.c"});
        makeJob(unwritablePath(m_scratch->path(), "program") + "/", m_indent);
        if (directoryJob) {
            m_prompts->queueDirectory(m_sources);
            m_job->IndentDirItemClick();
        } else {
            m_prompts->queueFiles({m_sources + "/a.c"});
            m_job->IndentFileItemClick();
        }
        QCOMPARE(m_prompts->messages, QStringList{ScriptCreateFailed});
        QVERIFY(m_prompts->openedFolders.isEmpty());
        QVERIFY(m_prompts->progressLabels.isEmpty());
        QCOMPARE(readAll(m_sources + "/a.c"), Messy);
    }

    void aMissingOutputBaseIsMadeByTheFirstJob()
    {
        writeSources({"a.c"});
        const QString base = m_scratch->filePath("home/Documents/Zabo");
        makeJob(base + "/", m_indent);
        m_prompts->queueFiles({m_sources + "/a.c"});
        m_job->IndentFileItemClick();

        QCOMPARE(m_prompts->messages, QStringList{Completed});
        QCOMPARE(m_prompts->openedFolders, QStringList{outputDirectory()});
        QCOMPARE(filesIn(outputDirectory()).keys(), QStringList{"a.c"});
        QCOMPARE(QDir(base).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{OutputName});
    }

    void theDirectoryJobCopiesSourcesByExtensionAndFormatsThem()
    {
        writeSources({"a.c", "b.C", "c.cpp", "d.h", "e.hpp.bak", "f.txt"});
        QVERIFY(QDir(m_sources).mkdir("sub"));
        writeSources({"sub/g.c"});
        writeAll(m_program + "cmd.bat", "leftover from an interrupted run\r\n");
        const FileMap before = filesIn(m_sources);

        m_prompts->queueDirectory(m_sources);
        m_job->IndentDirItemClick();

        const QString out = outputDirectory();
        QCOMPARE(scriptLines(), (QStringList{
                                    "mkdir \"" + out + "\"",
                                    "copy \"" + m_sources + "/a.c\" \"" + out + "\"",
                                    "copy \"" + m_sources + "/d.h\" \"" + out + "\"",
                                    "copy \"" + m_sources + "/c.cpp\" \"" + out + "\"",
                                    "\"" + m_indent + "\" \"" + out + "/*.*\" " + m_parameterText,
                                }));
        QVERIFY(!m_prompts->scriptSeen.contains('\r'));
        QVERIFY(!scriptExists());
        QCOMPARE(m_prompts->messages, QStringList{Completed});
        QCOMPARE(m_prompts->openedFolders, QStringList{out});
        QCOMPARE(m_prompts->progressLabels.size(), 1);
        QVERIFY(m_prompts->progressUpdates >= 3);

        const FileMap result = filesIn(out);
        QCOMPARE(result.keys(), (QStringList{"a.c", "c.cpp", "d.h"}));
        QCOMPARE(result, indentDirectly({{"a.c", Messy}, {"c.cpp", Messy}, {"d.h", Messy}}));
        QVERIFY(result.value("a.c") != Messy);
        QCOMPARE(filesIn(m_sources), before);
    }

    void theFileJobCopiesWhatWasPickedAndKeepsEveryCopy()
    {
        writeSources({"x.test.c", "MAIN.C", "k.hpp"});
        const FileMap before = filesIn(m_sources);
        m_prompts->queueFiles({m_sources + "/x.test.c", m_sources + "/MAIN.C", m_sources + "/k.hpp"},
                              FormattingJob::sourceFilesFilter());
        m_job->IndentFileItemClick();

        const QString out = outputDirectory();
        QCOMPARE(scriptLines().mid(1, 3), (QStringList{"copy \"" + m_sources + "/x.test.c\" \"" + out + "\"",
                                                       "copy \"" + m_sources + "/MAIN.C\" \"" + out + "\"",
                                                       "copy \"" + m_sources + "/k.hpp\" \"" + out + "\""}));
        QVERIFY(m_prompts->questions.isEmpty());
        QCOMPARE(m_prompts->messages, QStringList{Completed});
        // a picked MAIN.C was copied in by the job, so the clean-up leaves it
        const FileMap result = filesIn(out);
        QCOMPARE(result.keys(), (QStringList{"MAIN.C", "k.hpp", "x.test.c"}));
        QCOMPARE(result, indentDirectly({{"x.test.c", Messy}, {"MAIN.C", Messy}, {"k.hpp", Messy}}));
        QCOMPARE(filesIn(m_sources), before);
        QVERIFY(!scriptExists());
    }

    void anEmptyParameterTextEndsTheFormatterLineInABlank()
    {
        m_parameterText.clear();
        writeSources({"a.c"});
        m_prompts->queueFiles({m_sources + "/a.c"});
        m_job->IndentFileItemClick();
        QVERIFY(m_prompts->scriptSeen.endsWith("\" \"" + outputDirectory().toUtf8() + "/*.*\" \n"));
        QCOMPARE(m_prompts->messages, QStringList{Completed});
        QCOMPARE(filesIn(outputDirectory()), indentDirectly({{"a.c", Messy}}));
    }

    void theTimeStampIsTakenBeforeAnyDialog()
    {
        writeSources({"a.c"});
        int readings = 0;
        bool beforeDialogs = false;
        m_job->setClock([&] {
            ++readings;
            beforeDialogs =
                m_prompts->informationQuestions.isEmpty() && m_prompts->directoryPrompts.isEmpty();
            return Stamp;
        });
        m_prompts->queueDirectory(m_sources);
        m_job->IndentDirItemClick();
        QCOMPARE(readings, 1);
        QVERIFY(beforeDialogs);
        QCOMPARE(outputs(), QStringList{OutputName});
    }

    void nonAsciiPathsWork()
    {
        const QString program = m_scratch->filePath(text("程序 目录")) + "/";
        const QString sources = m_scratch->filePath(text("源码"));
        QVERIFY(QDir().mkdir(program) && QDir().mkdir(sources));
        m_sources = sources;
        makeJob(program, m_indent);
        writeSources({text("主程序.c"), text("头文件.h")});
        m_prompts->queueDirectory(sources);
        m_job->IndentDirItemClick();
        QVERIFY(m_prompts->scriptSeen.contains(("copy \"" + sources + text("/主程序.c\"")).toUtf8()));
        QCOMPARE(m_prompts->messages, QStringList{Completed});
        QCOMPARE(filesIn(outputDirectory()),
                 indentDirectly({{text("主程序.c"), Messy}, {text("头文件.h"), Messy}}));
    }

    void hostileNames_data()
    {
        QTest::addColumn<QByteArray>("name"); // raw bytes on disk
        QTest::addColumn<bool>("processed");
        QTest::newRow("command substitution") << QByteArray("$(touch pwned).c") << true;
        QTest::newRow("backquotes") << QByteArray("`touch pwned`.c") << true;
        QTest::newRow("separators") << QByteArray("a;touch pwned&b|c.c") << true;
        QTest::newRow("leading dash") << QByteArray("-rf.c") << true;
        QTest::newRow("wildcards") << QByteArray("*?[x].c") << true;
        QTest::newRow("blanks and quote") << QByteArray("it's a file.c") << true;
        QTest::newRow("percent and backslash") << QByteArray("%PATH%\\x.c") << true;
        QTest::newRow("hidden") << QByteArray(".hidden.c") << true;
        QTest::newRow("double quote") << QByteArray("a\" \"b.c") << false;
        QTest::newRow("line feed") << QByteArray("a\nrm -rf x.c") << false;
        QTest::newRow("carriage return") << QByteArray("a\r.c") << false;
        QTest::newRow("tab") << QByteArray("a\tb.c") << false;
        QTest::newRow("escape sequence") << QByteArray("a\x1b[2J.c") << false;
        QTest::newRow("not UTF-8") << QByteArray("caf\xe9.c") << false;
    }

    void hostileNames()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, processed);
        writeSources({"ok.c"});
        const QByteArray raw = QFile::encodeName(m_sources) + '/' + name;
        const int fd = ::open(raw.constData(), O_CREAT | O_WRONLY | O_EXCL, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, Messy.constData(), size_t(Messy.size())), ssize_t(Messy.size()));
        ::close(fd);
        m_rawPaths.append(raw);
        const QString listedName = QFile::decodeName(name);

        m_prompts->queueDirectory(m_sources);
        m_job->IndentDirItemClick();

        QVERIFY(!QFileInfo::exists(m_sources + "/pwned") && !QFileInfo::exists(m_program + "pwned"));
        QVERIFY(!QFileInfo::exists(QDir::currentPath() + "/pwned"));
        QVERIFY(!scriptExists());
        QCOMPARE(m_prompts->messages.size(), 1);
        const QString message = m_prompts->messages.first();
        if (processed) {
            QCOMPARE(message, Completed);
            QCOMPARE(filesIn(outputDirectory()), indentDirectly({{listedName, Messy}, {"ok.c", Messy}}));
        } else {
            QVERIFY(message != Completed);
            QVERIFY2(message.contains(text("无法安全处理")), qPrintable(message));
            QVERIFY(!m_prompts->scriptSeen.contains(name));
            QCOMPARE(filesIn(outputDirectory()), indentDirectly({{"ok.c", Messy}}));
            QVERIFY(m_prompts->openedFolders.isEmpty());
        }
        QCOMPARE(readAll(m_sources + "/ok.c"), Messy);
        const int check = ::open(raw.constData(), O_RDONLY);
        QVERIFY(check >= 0);
        char buffer[512];
        const ssize_t size = ::read(check, buffer, sizeof buffer);
        ::close(check);
        QCOMPARE(QByteArray(buffer, int(size)), Messy);
    }

    void unsafeDirectoriesStopTheJobBeforeAnythingIsWritten_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("chosen directory") << "chosen";
        QTest::newRow("program directory") << "program";
        QTest::newRow("formatter path") << "formatter";
    }

    void unsafeDirectoriesStopTheJobBeforeAnythingIsWritten()
    {
        QFETCH(QString, where);
        const QString hostile = m_scratch->filePath("a\"\nb");
        QVERIFY(QDir().mkdir(hostile));
        writeAll(hostile + "/a.c", Messy);
        writeSources({"a.c"});
        if (where == "program")
            makeJob(hostile + "/", m_indent);
        if (where == "formatter")
            makeJob(m_program, hostile + "/indent");
        m_prompts->queueDirectory(where == "chosen" ? hostile : m_sources);
        m_job->IndentDirItemClick();
        QCOMPARE(m_prompts->messages.size(), 1);
        QVERIFY(m_prompts->messages.first() != Completed);
        QVERIFY2(m_prompts->messages.first().contains(text("双引号")),
                 qPrintable(m_prompts->messages.first()));
        QVERIFY(m_prompts->progressLabels.isEmpty());
        QVERIFY(!scriptExists());
        QVERIFY(outputs().isEmpty());
        QCOMPARE(QDir(hostile).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"a.c"});
    }

    void twoPickedFilesWithOneNameAreNotMerged()
    {
        QVERIFY(QDir(m_sources).mkdir("one") && QDir(m_sources).mkdir("two"));
        writeSources({"one/a.c", "two/b.c"});
        writeAll(m_sources + "/two/a.c", "int other;\n");
        m_prompts->queueFiles({m_sources + "/one/a.c", m_sources + "/two/a.c", m_sources + "/two/b.c"});
        m_job->IndentFileItemClick();
        QCOMPARE(m_prompts->messages.size(), 1);
        const QString message = m_prompts->messages.first();
        QVERIFY(message.contains(m_sources + "/two/a.c"));
        QVERIFY(message.contains(text("同名")));
        QVERIFY(m_prompts->openedFolders.isEmpty());
        QCOMPARE(filesIn(outputDirectory()), indentDirectly({{"a.c", Messy}, {"b.c", Messy}}));
    }

    void aDirectoryWithoutSourcesSaysSo()
    {
        writeSources({"notes.txt", "MAIN.C"});
        m_prompts->queueDirectory(m_sources);
        m_job->IndentDirItemClick();
        QCOMPARE(m_prompts->messages,
                 QStringList{text("所选目录中没有找到可识别的代码文件（.c、.h、.cpp、.hpp），未进行整理。")});
        QVERIFY(m_prompts->progressLabels.isEmpty());
        QVERIFY(!scriptExists());
        QVERIFY(outputs().isEmpty());
    }

    void aSubdirectoryNamedLikeASourceIsNamedNotCopied()
    {
        writeSources({"a.c"});
        QVERIFY(QDir(m_sources).mkdir("folder.c"));
        m_prompts->queueDirectory(m_sources);
        m_job->IndentDirItemClick();
        QCOMPARE(m_prompts->messages.size(), 1);
        QVERIFY(m_prompts->messages.first().contains(m_sources + "/folder.c"));
        QCOMPARE(filesIn(outputDirectory()), indentDirectly({{"a.c", Messy}}));
    }

    void formatterFailuresAreReported_data()
    {
        QTest::addColumn<QString>("formatter"); // "fake" or "real"
        QTest::addColumn<QByteArray>("mode");
        QTest::addColumn<QString>("parameterText");
        QTest::addColumn<QStringList>("expectedInMessage");
        const QStringList failed = {text("整理失败"), "a.c", "b.c"};
        QTest::newRow("exit 1") << "fake" << QByteArray("exit:1") << "-kr "
                                << failed + QStringList{"fake indent: failed on", text("退出状态 1")};
        QTest::newRow("exit 4") << "fake" << QByteArray("exit:4") << "-kr "
                                << failed + QStringList{text("退出状态 4")};
        QTest::newRow("exit 2") << "fake" << QByteArray("exit:2") << "-kr "
                                << QStringList{text("退出状态 2"), "a.c", "b.c"};
        QTest::newRow("crash") << "fake" << QByteArray("crash") << "-kr "
                               << failed + QStringList{text("异常终止")};
        QTest::newRow("missing formatter")
            << "missing" << QByteArray() << "-kr " << failed + QStringList{text("无法启动")};
        QTest::newRow("unknown option")
            << "real" << QByteArray() << "-kr -xyz " << failed + QStringList{"unknown option", "-xyz"};
    }

    void formatterFailuresAreReported()
    {
        QFETCH(QString, formatter);
        QFETCH(QByteArray, mode);
        QFETCH(QString, parameterText);
        QFETCH(QStringList, expectedInMessage);
        if (!mode.isEmpty())
            qputenv("FAKE_INDENT_MODE", mode);
        m_parameterText = parameterText;
        if (formatter != "real")
            makeJob(m_program,
                    formatter == "fake" ? QStringLiteral(FAKE_INDENT_PATH) : m_scratch->filePath("none"));
        writeSources({"a.c", "b.c"});
        m_prompts->queueDirectory(m_sources);
        m_job->IndentDirItemClick();

        QCOMPARE(m_prompts->messages.size(), 1);
        const QString message = m_prompts->messages.first();
        QVERIFY(message != Completed);
        for (const QString &expected : expectedInMessage)
            QVERIFY2(message.contains(expected), qPrintable(expected + " not in: " + message));
        QVERIFY(message.contains(outputDirectory()));
        QVERIFY(m_prompts->openedFolders.isEmpty());
        QVERIFY(!scriptExists());
        QCOMPARE(filesIn(m_sources), (FileMap{{"a.c", Messy}, {"b.c", Messy}}));
        // What was made stays: the copies, as the formatter left them.
        const FileMap expected = formatter == "real" ? indentDirectly({{"a.c", Messy}, {"b.c", Messy}})
                                                     : FileMap{{"a.c", Messy}, {"b.c", Messy}};
        QCOMPARE(filesIn(outputDirectory()), expected);
    }

    void aFileThatDoesNotParseCleanlyIsAWarning()
    {
        const QByteArray broken = "int main(){ if (\n";
        writeSources({"a.c"});
        writeSources({"broken.c"}, broken);
        m_prompts->queueDirectory(m_sources);
        m_job->IndentDirItemClick();
        QCOMPARE(m_prompts->messages.size(), 1);
        const QString message = m_prompts->messages.first();
        QVERIFY2(message.contains(text("退出状态 2")) && message.contains("broken.c"), qPrintable(message));
        QVERIFY(message.contains("Unexpected end of file"));
        QVERIFY(m_prompts->openedFolders.isEmpty());
        QCOMPARE(filesIn(outputDirectory()), indentDirectly({{"a.c", Messy}, {"broken.c", broken}}));
        QCOMPARE(readAll(m_sources + "/broken.c"), broken);
    }

    void aStandardErrorMessageAloneIsNoFailure()
    {
        qputenv("FAKE_INDENT_MODE", "stderr");
        makeJob(m_program, QStringLiteral(FAKE_INDENT_PATH));
        writeSources({"a.c"});
        m_prompts->queueFiles({m_sources + "/a.c"});
        m_job->IndentFileItemClick();
        QCOMPARE(m_prompts->messages, QStringList{Completed});
    }

    void cancellingStopsTheRemainingWork_data()
    {
        QTest::addColumn<QByteArray>("mode");
        QTest::addColumn<int>("cancelAfter");
        QTest::addColumn<QString>("summary");
        QTest::newRow("while copying") << QByteArray("ok") << 1 << text("已复制 1/3 个文件，尚未开始整理。");
        QTest::newRow("while formatting")
            << QByteArray("hang") << 5 << text("已复制 3/3 个文件，已整理 0/3 个文件");
    }

    void cancellingStopsTheRemainingWork()
    {
        QFETCH(QByteArray, mode);
        QFETCH(int, cancelAfter);
        QFETCH(QString, summary);
        qputenv("FAKE_INDENT_MODE", mode);
        makeJob(m_program, QStringLiteral(FAKE_INDENT_PATH));
        writeSources({"a.c", "b.c", "c.c"});
        m_prompts->cancelAfterProgressUpdates = cancelAfter;
        m_prompts->queueDirectory(m_sources);
        m_job->IndentDirItemClick();
        QCOMPARE(m_prompts->messages.size(), 1);
        const QString message = m_prompts->messages.first();
        QVERIFY2(message.startsWith(text("已取消")) && message.contains(summary), qPrintable(message));
        QVERIFY(m_prompts->openedFolders.isEmpty());
        QVERIFY(!scriptExists());
        QCOMPARE(filesIn(m_sources), (FileMap{{"a.c", Messy}, {"b.c", Messy}, {"c.c", Messy}}));
    }

    // Many batches over many files: the same result as one indent run.
    void aLargeJobGivesTheSameResult()
    {
        FileMap inputs;
        for (int i = 0; i < 90; ++i) {
            const QString name =
                QStringLiteral("f%1.%2").arg(i, 2, 10, QLatin1Char('0')).arg(i % 3 ? "c" : "h");
            const QByteArray content =
                Messy + "int v" + QByteArray::number(i) + "=" + QByteArray::number(i) + ";\n";
            writeSources({name}, content);
            inputs.insert(name, content);
        }
        writeSources({"broken.c"}, "int main(){ if (\n");
        inputs.insert("broken.c", "int main(){ if (\n");
        m_prompts->queueDirectory(m_sources);
        m_job->IndentDirItemClick();
        QCOMPARE(m_prompts->messages.size(), 1);
        const QString message = m_prompts->messages.first();
        QVERIFY2(message.contains("broken.c") && message.contains(text("退出状态 2")), qPrintable(message));
        QVERIFY(!message.contains(text("失败")));
        QCOMPARE(filesIn(outputDirectory()), indentDirectly(inputs));
        QCOMPARE(filesIn(m_sources), inputs);
        QVERIFY(!scriptExists());
    }

    void cancellingALargeJobStopsCopyingAndFormatting()
    {
        qputenv("FAKE_INDENT_MODE", "hang");
        makeJob(m_program, QStringLiteral(FAKE_INDENT_PATH));
        FileMap inputs;
        for (int i = 0; i < 200; ++i) {
            const QString name = QStringLiteral("f%1.c").arg(i);
            writeSources({name});
            inputs.insert(name, Messy);
        }
        m_prompts->cancelAfterProgressUpdates = 3;
        m_prompts->queueDirectory(m_sources);
        m_job->IndentDirItemClick();
        QCOMPARE(m_prompts->messages.size(), 1);
        const QString message = m_prompts->messages.first();
        QVERIFY2(message.startsWith(text("已取消")), qPrintable(message));
        QVERIFY(m_prompts->openedFolders.isEmpty());
        QVERIFY(!scriptExists());
        QCOMPARE(filesIn(m_sources), inputs);
        const FileMap made = filesIn(outputDirectory());
        for (auto it = made.cbegin(); it != made.cend(); ++it)
            QCOMPARE(it.value(), Messy);
    }

    void optionsFormatExactlyAsIndentReadsThem_data()
    {
        QTest::addColumn<QString>("parameterText");
        QTest::addColumn<int>("fileCount");
        QTest::addColumn<QByteArray>("profile");
        QTest::addColumn<bool>("clean");

        QTest::newRow("recommended on tabs") << recommendedParameterText() << 2 << QByteArray() << true;
        QTest::newRow("-T before -ut") << "-nut -T -ut -i8 " << 2 << QByteArray() << true;
        QTest::newRow("-st with one file") << "-kr -st " << 1 << QByteArray() << true;
        QTest::newRow("-st with many files") << "-kr -st " << 3 << QByteArray() << true;
        QTest::newRow("-gnu with -i4") << "-gnu -i4 " << 2 << QByteArray() << true;
        QTest::newRow("-bl with -br") << "-bl -br " << 2 << QByteArray() << true;
        QTest::newRow("profile read") << "-kr " << 2 << QByteArray("-i8 -bl\n") << true;
        QTest::newRow("profile ignored with -npro") << "-kr -npro " << 2 << QByteArray("-i8 -bl\n") << true;
        QTest::newRow("-T last") << "-kr -T " << 2 << QByteArray() << false;
    }

    void optionsFormatExactlyAsIndentReadsThem()
    {
        QFETCH(QString, parameterText);
        QFETCH(int, fileCount);
        QFETCH(QByteArray, profile);
        QFETCH(bool, clean);

        const QByteArray tabbed = "struct s {\n\tint a;\n\t\tchar *b;\n};\n" + Messy + "\tint t;\n";
        FileMap inputs;
        for (int i = 0; i < fileCount; ++i) {
            const QString name = QStringLiteral("f%1.c").arg(i);
            writeSources({name}, tabbed);
            inputs.insert(name, tabbed);
        }
        const QString workingDirectory = QDir::currentPath();
        if (!profile.isEmpty()) {
            QVERIFY(QDir::setCurrent(m_scratch->path()));
            QVERIFY(writeAll(m_scratch->filePath(".indent.pro"), profile));
        }
        m_parameterText = parameterText;
        m_prompts->queueDirectory(m_sources);
        m_job->IndentDirItemClick();
        const FileMap direct = indentDirectly(inputs);
        QDir::setCurrent(workingDirectory);

        if (clean) {
            QCOMPARE(m_prompts->messages, QStringList{Completed});
            QCOMPARE(filesIn(outputDirectory()), direct);
            QVERIFY(direct != inputs);
        } else {
            // a bare -T last finds no type name: indent refuses, and the job says so
            QCOMPARE(m_prompts->messages.size(), 1);
            QVERIFY2(m_prompts->messages.first().contains("missing argument to parameter T"),
                     qPrintable(m_prompts->messages.first()));
            QVERIFY(m_prompts->openedFolders.isEmpty());
            QCOMPARE(filesIn(outputDirectory()), inputs);
        }
    }

    void filesPickedAsAllFilesAreKept()
    {
        writeSources({"a.c"});
        QVERIFY(writeAll(m_sources + "/notes.txt", "some notes\n"));
        m_prompts->queueFiles({m_sources + "/a.c", m_sources + "/notes.txt"},
                              FormattingJob::allFilesFilter());
        m_prompts->queueAnswer(true);
        m_job->IndentFileItemClick();
        QCOMPARE(m_prompts->messages, QStringList{Completed});
        const FileMap result = filesIn(outputDirectory());
        QCOMPARE(result.keys(), (QStringList{"a.c", "notes.txt"}));
        QCOMPARE(result, indentDirectly({{"a.c", Messy}, {"notes.txt", "some notes\n"}}));
    }

    void aFormatterThatDiesMidWriteLeavesIntactCopies()
    {
        qputenv("FAKE_INDENT_MODE", "cut-and-crash");
        makeJob(m_program, QStringLiteral(FAKE_INDENT_PATH));
        writeSources({"a.c", "b.c", "c.h"});
        m_prompts->queueDirectory(m_sources);
        m_job->IndentDirItemClick();
        QCOMPARE(m_prompts->messages.size(), 1);
        QVERIFY2(m_prompts->messages.first().contains(text("indent 异常终止")),
                 qPrintable(m_prompts->messages.first()));
        QCOMPARE(filesIn(outputDirectory()), (FileMap{{"a.c", Messy}, {"b.c", Messy}, {"c.h", Messy}}));
    }

    // Cancel at several moments: copying, as the formatter starts, while it runs. Every file left is
    // then either formatted completely or an intact copy, and the message counts what is formatted.
    void cancellingABigJobLeavesNoCutFile_data()
    {
        QTest::addColumn<int>("cancelAfter");
        QTest::newRow("while copying") << 150;
        QTest::newRow("as formatting starts") << 301;
        QTest::newRow("while formatting") << 304;
        QTest::newRow("late in formatting") << 310;
    }

    void cancellingABigJobLeavesNoCutFile()
    {
        QFETCH(int, cancelAfter);
        FileMap inputs;
        QByteArray big;
        for (int i = 0; i < 60; ++i)
            big += Messy;
        for (int i = 0; i < 300; ++i) {
            const QString name = QStringLiteral("f%1.c").arg(i, 3, 10, QLatin1Char('0'));
            const QByteArray content = big + "int v" + QByteArray::number(i) + ";\n";
            writeSources({name}, content);
            inputs.insert(name, content);
        }
        const FileMap formatted = indentDirectly(inputs);
        m_prompts->cancelAfterProgressUpdates = cancelAfter;
        m_prompts->queueDirectory(m_sources);
        m_job->IndentDirItemClick();

        QCOMPARE(m_prompts->messages.size(), 1);
        const QString message = m_prompts->messages.first();
        const FileMap made = filesIn(outputDirectory());
        int formattedCount = 0;
        for (auto it = made.cbegin(); it != made.cend(); ++it) {
            QVERIFY2(it.value() == formatted.value(it.key()) || it.value() == inputs.value(it.key()),
                     qPrintable(it.key()));
            formattedCount += it.value() == formatted.value(it.key()) ? 1 : 0;
        }
        if (message.startsWith(text("已取消"))) {
            if (message.contains(text("尚未开始整理")))
                QCOMPARE(formattedCount, 0);
            else
                QVERIFY2(message.contains(text("已整理 %1/%2 个文件").arg(formattedCount).arg(made.size())),
                         qPrintable(message + QStringLiteral(" / formatted: %1").arg(formattedCount)));
        } else {
            // the formatter finished before the cancel came
            QCOMPARE(message, Completed);
            QCOMPARE(made, formatted);
        }
        QCOMPARE(filesIn(m_sources), inputs);
    }

    void anUnreadableChosenDirectorySaysSo()
    {
        writeSources({"a.c"});
        QVERIFY(makeReachable(m_scratch->path()));
        QVERIFY(QFile::setPermissions(m_sources, QFileDevice::Permissions()));
        m_prompts->queueDirectory(m_sources);
        {
            const UnprivilegedScope user;
            m_job->IndentDirItemClick();
        }
        QVERIFY(QFile::setPermissions(m_sources, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                     QFileDevice::ExeOwner));
        QCOMPARE(m_prompts->messages, QStringList{text("无法读取所选目录：\n") + m_sources});
        QVERIFY(outputs().isEmpty());
    }

    void whenNoFileManagerOpensTheOutputTheUserIsToldWhereItIs()
    {
        writeSources({"a.c"});
        m_prompts->openFolderSucceeds = false;
        m_prompts->queueDirectory(m_sources);
        m_job->IndentDirItemClick();
        QCOMPARE(m_prompts->openedFolders, QStringList{outputDirectory()});
        QCOMPARE(m_prompts->messages.size(), 2);
        QCOMPARE(m_prompts->messages.first(), Completed);
        QCOMPARE(m_prompts->messages.last(),
                 text("无法自动打开整理代码目录（没有找到可以打开目录的程序），整理结果在：\n") +
                     outputDirectory());
    }

    void aFullFileSystemIsRefusedBeforeAnythingIsWritten()
    {
        const QString mountPoint = m_scratch->filePath("small");
        QVERIFY(QDir().mkdir(mountPoint));
        // in a mount namespace of the test's own: a killed test leaks no mount
        const SmallFileSystem small(mountPoint, 1024 * 1024);
        if (!small.isMounted())
            QSKIP("cannot mount a small tmpfs here");
        makeJob(mountPoint + "/", m_indent);
        writeSources({"a.c"});
        m_prompts->queueDirectory(m_sources);
        m_job->IndentDirItemClick();
        const QStringList left = outputs();
        QCOMPARE(m_prompts->messages.size(), 1);
        QVERIFY2(m_prompts->messages.first().startsWith(text("磁盘空间不足")),
                 qPrintable(m_prompts->messages.first()));
        QVERIFY(left.isEmpty());
        QVERIFY(m_prompts->openedFolders.isEmpty());
    }

    void theTreeJobMirrorsTheSourcesOfATree_data()
    {
        QTest::addColumn<bool>("withUnsafeName");
        QTest::newRow("clean tree") << false;
        QTest::newRow("a folder name the script cannot carry") << true;
    }

    void theTreeJobMirrorsTheSourcesOfATree()
    {
        QFETCH(bool, withUnsafeName);
        QDir sources(m_sources);
        for (const char *folder : {"sub/deeper", "empty", "docs", ".git", "-dash"})
            QVERIFY(sources.mkpath(folder));
        writeSources(
            {"a.c", ".hidden.c", "sub/b.c", "sub/deeper/c.h", "sub/deeper/a.c", ".git/x.c", "-dash/d.cpp"});
        QVERIFY(writeAll(m_sources + "/notes.txt", "notes\n"));
        QVERIFY(writeAll(m_sources + "/docs/readme.txt", "readme\n"));
        QVERIFY(QFile::link(".", m_sources + "/loop"));
        QVERIFY(QFile::link("sub", m_sources + "/sub-link"));
        if (withUnsafeName) {
            QVERIFY(sources.mkpath("say \"hi\""));
            writeSources({"say \"hi\"/e.c"});
        }
        const FileMap before = filesIn(m_sources);
        m_prompts->queueDirectory(m_sources);
        m_job->IndentTreeItemClick();

        QCOMPARE(m_prompts->directoryPrompts, QStringList{text("请选择要整理的目录树（含子目录）")});
        QVERIFY(m_prompts->informationQuestions.isEmpty());
        const QString out = outputDirectory();
        QStringList made;
        QDirIterator it(out, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            made << it.next().mid(out.size() + 1);
        made.sort();
        QCOMPARE(made, (QStringList{"-dash", "-dash/d.cpp", ".hidden.c", "a.c", "sub", "sub/b.c",
                                    "sub/deeper", "sub/deeper/a.c", "sub/deeper/c.h"}));
        const FileMap formatted = indentDirectly({{"a.c", Messy}});
        for (const char *file :
             {"-dash/d.cpp", ".hidden.c", "a.c", "sub/b.c", "sub/deeper/a.c", "sub/deeper/c.h"})
            QVERIFY2(readAll(out + "/" + file) == formatted.value("a.c"), file);
        QVERIFY(scriptLines().contains("mkdir \"" + out + "/sub/deeper\""));
        QCOMPARE(filesIn(m_sources), before);

        if (withUnsafeName) {
            QCOMPARE(m_prompts->messages.size(), 1);
            QVERIFY2(m_prompts->messages.first().contains(m_sources + "/say \"hi\"/e.c"),
                     qPrintable(m_prompts->messages.first()));
            QVERIFY(m_prompts->openedFolders.isEmpty());
        } else {
            QCOMPARE(m_prompts->messages, QStringList{Completed});
            QCOMPARE(m_prompts->openedFolders, QStringList{out});
        }
    }

    void aSourceReplacedMidRunIsSkippedNotCopied_data()
    {
        QTest::addColumn<QString>("swap");
        QTest::addColumn<QStringList>("skipped"); // below the tree
        QTest::addColumn<QStringList>("copied");
        QTest::newRow("folder swapped for a link")
            << "folder link" << QStringList{"zz/x.c", "zz/y.c"} << QStringList{"a.c"};
        QTest::newRow("folder swapped for another folder")
            << "folder moved in" << QStringList{"zz/x.c", "zz/y.c"} << QStringList{"a.c"};
        QTest::newRow("file swapped for a link")
            << "file link" << QStringList{"zz/x.c"} << QStringList{"a.c", "zz/y.c"};
    }

    // The tree is scanned, then while the first copy is made a part of it is replaced by something
    // from outside the tree; nothing from outside may reach the output.
    void aSourceReplacedMidRunIsSkippedNotCopied()
    {
        QFETCH(QString, swap);
        QFETCH(QStringList, skipped);
        QFETCH(QStringList, copied);
        const QString outside = m_scratch->filePath("outside");
        QVERIFY(QDir().mkpath(outside));
        QVERIFY(QDir(m_sources).mkpath("zz"));
        writeSources({"a.c", "zz/x.c", "zz/y.c"});
        const QByteArray secret = "int secret = 42; /* outside the tree */\n";
        QVERIFY(writeAll(outside + "/x.c", secret));
        QVERIFY(writeAll(outside + "/y.c", secret));

        bool swapped = false;
        m_prompts->duringJob = [&](int done) {
            if (done != 1 || swapped)
                return;
            const QString zz = m_sources + "/zz";
            if (swap == "folder link")
                swapped = QDir().rename(zz, m_scratch->filePath("zz-old")) && QFile::link(outside, zz);
            else if (swap == "folder moved in")
                swapped = QDir().rename(zz, m_scratch->filePath("zz-old")) && QDir().rename(outside, zz);
            else
                swapped = QFile::remove(zz + "/x.c") && QFile::link(outside + "/x.c", zz + "/x.c");
        };
        m_prompts->queueDirectory(m_sources);
        m_job->IndentTreeItemClick();
        QVERIFY(swapped);

        const QString out = outputDirectory();
        QStringList made;
        QDirIterator it(out, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            made << it.next().mid(out.size() + 1);
        made.sort();
        QCOMPARE(made, copied);
        const QByteArray formatted = indentDirectly({{"a.c", Messy}}).value("a.c");
        for (const QString &file : copied)
            QCOMPARE(readAll(out + "/" + file), formatted);

        QCOMPARE(m_prompts->messages.size(), 1);
        const QString message = m_prompts->messages.first();
        QVERIFY2(message.contains(text(
                     "以下文件在整理开始后被替换（例如所在的目录换成了指向别处的链接），未复制，已跳过：")),
                 qPrintable(message));
        for (const QString &file : skipped)
            QVERIFY2(message.contains("  " + m_sources + "/" + file + "\n") ||
                         message.contains("  " + m_sources + "/" + file),
                     qPrintable(message));
        QVERIFY(!message.contains(text("代码风格整理完成")));
        QVERIFY(m_prompts->openedFolders.isEmpty());
    }

    void aReadOnlySourceGivesAWritableCopy()
    {
        writeSources({"a.c", "b.c"});
        QVERIFY(QFile::setPermissions(m_sources + "/a.c", QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        m_prompts->queueDirectory(m_sources);
        m_job->IndentDirItemClick();
        QCOMPARE(m_prompts->messages, QStringList{Completed});
        QVERIFY(QFile::permissions(outputDirectory() + "/a.c") & QFileDevice::WriteOwner);
        QVERIFY(!(QFile::permissions(m_sources + "/a.c") & QFileDevice::WriteOwner));
        QCOMPARE(filesIn(outputDirectory()), indentDirectly({{"a.c", Messy}, {"b.c", Messy}}));
    }

    // indent leaves the "\r" of a CRLF line at the start of the next one: an all-CRLF source is
    // formatted as its LF twin and keeps CRLF; a mixed one is formatted as it is and named.
    void crLfSourcesKeepTheirLineEnds()
    {
        QByteArray mixed = Messy + Messy;
        mixed.replace(mixed.indexOf('\n'), 1, "\r\n");
        writeSources({"crlf.c"}, withCrLf(Messy));
        writeSources({"mixed.c"}, mixed);
        writeSources({"lf.c"}, Messy);
        m_prompts->queueDirectory(m_sources);
        m_job->IndentDirItemClick();

        const FileMap direct = indentDirectly({{"crlf.c", Messy}, {"mixed.c", mixed}, {"lf.c", Messy}});
        const FileMap result = filesIn(outputDirectory());
        QCOMPARE(result.value("crlf.c"), withCrLf(direct.value("crlf.c")));
        QCOMPARE(result.value("mixed.c"), direct.value("mixed.c"));
        QCOMPARE(result.value("lf.c"), direct.value("lf.c"));
        QCOMPARE(m_prompts->messages.size(), 1);
        const QString message = m_prompts->messages.first();
        QVERIFY2(message.contains(text("行尾混用了 CRLF 和 LF")) && message.contains("mixed.c") &&
                     !message.contains("crlf.c"),
                 qPrintable(message));
    }

    // A .indent.pro that is a FIFO would hang indent, and the window with it: the job names it instead.
    void aProfileThatIsNoFileIsNamed()
    {
        writeSources({"a.c"});
        const QString workingDirectory = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_scratch->path()));
        const QString profile = m_scratch->filePath(".indent.pro");
        QCOMPARE(::mkfifo(QFile::encodeName(profile).constData(), 0644), 0);
        m_prompts->queueDirectory(m_sources);
        {
            const HangGuard guard("a job with a FIFO as .indent.pro");
            m_job->IndentDirItemClick();
        }
        QDir::setCurrent(workingDirectory);
        QCOMPARE(m_prompts->messages.size(), 1);
        QVERIFY2(m_prompts->messages.first().contains(profile), qPrintable(m_prompts->messages.first()));
        QVERIFY(m_prompts->openedFolders.isEmpty());
        QCOMPARE(filesIn(outputDirectory()), (FileMap{{"a.c", Messy}}));
    }
};

QTEST_GUILESS_MAIN(TestFormattingJob)
#include "tst_formattingjob.moc"
