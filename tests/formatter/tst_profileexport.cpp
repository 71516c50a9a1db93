#include "AtomicFile.h"
#include "CellTable.h"
#include "FormatterDeployment.h"
#include "FormatterRun.h"
#include "HangLimit.h"
#include "IndentProfile.h"
#include "OptionCatalogue.h"
#include "StyleStore.h"
#include "TestFiles.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {} // namespace

// A style handed out as a profile formats exactly as a job with that style does.
class TestProfileExport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void profileFormatsAsTheJob_data();
    void profileFormatsAsTheJob();
    void importFormatsAsItsInput_data();
    void importFormatsAsItsInput();
    void longFormsAreIndentsOwn();
    void bareTypeNameIsRefusedByIndentAndReadBack();

private:
    QByteArray formatted(const QStringList &options, const QString &name);

    QTemporaryDir m_scratch;
    QString m_formatter;
    QByteArray m_sample;
};

void TestProfileExport::initTestCase()
{
    QVERIFY(m_scratch.isValid());
    const FormatterDeployment deployment = DeployFormatter(m_scratch.path());
    QVERIFY2(deployment.ok, qPrintable(deployment.error));
    m_formatter = deployment.formatterPath;
    m_sample = readAll(qEnvironmentVariable("ZABO_TEST_DATA") + QStringLiteral("/options_sample.c"));
    QVERIFY(!m_sample.isEmpty());
    // the job must read no profile of the person running the tests
    qputenv("INDENT_PROFILE", "/dev/null");
}

void TestProfileExport::profileFormatsAsTheJob_data()
{
    QTest::addColumn<QString>("parameterText");
    const QVector<StyleRecord> builtIns = builtInStyles();
    for (const StyleRecord &style : builtIns)
        QTest::newRow(style.Name) << ParameterTextFor(checkStatesOf(style));
    QTest::newRow("mixed") << QStringLiteral(
        "-bl -bli4 -br -gnu -i4 -l74 -lc74 -nip -npro -orig -sbi2 -st -T -ts2 -ts4 ");
    QTest::newRow("type name -ut") << QStringLiteral("-kr -nut -T -ut -v ");
}

void TestProfileExport::profileFormatsAsTheJob()
{
    QFETCH(QString, parameterText);

    const QString jobFile = m_scratch.filePath(QStringLiteral("job.c"));
    QVERIFY(writeAll(jobFile, m_sample));
    FormatterRequest request;
    request.formatterPath = m_formatter;
    request.files = {jobFile};
    request.parameterText = parameterText;
    const FormatterRunResult result = FormatterRunner().run(request);
    QVERIFY2(result.succeeded(), qPrintable(result.standardErrorText()));

    const QString profile = m_scratch.filePath(QStringLiteral("exported.pro"));
    QVERIFY(writeFileAtomically(profile, indentProfileText(QStringLiteral("style"), parameterText)));
    const QString profileFile = m_scratch.filePath(QStringLiteral("profile.c"));
    QVERIFY(writeAll(profileFile, m_sample));
    QProcess indent;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("INDENT_PROFILE"), profile);
    environment.insert(QStringLiteral("VERSION_CONTROL"), QStringLiteral("none"));
    indent.setProcessEnvironment(environment);
    indent.start(m_formatter, {profileFile});
    QVERIFY(indent.waitForFinished(HangMilliseconds));
    QVERIFY2(indent.exitStatus() == QProcess::NormalExit && indent.exitCode() == 0,
             indent.readAllStandardError().constData());

    QCOMPARE(readAll(profileFile), readAll(jobFile));
    QVERIFY(readAll(jobFile) != m_sample);
}

QByteArray TestProfileExport::formatted(const QStringList &options, const QString &name)
{
    const QString file = m_scratch.filePath(name);
    if (!writeAll(file, m_sample))
        return {};
    QProcess indent;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VERSION_CONTROL"), QStringLiteral("none"));
    indent.setProcessEnvironment(environment);
    indent.start(m_formatter, formatterArguments({file}, options));
    if (!indent.waitForFinished(HangMilliseconds) || indent.exitStatus() != QProcess::NormalExit ||
        indent.exitCode() != 0)
        return {};
    return readAll(file);
}

void TestProfileExport::importFormatsAsItsInput_data()
{
    QTest::addColumn<QString>("input");
    QTest::newRow("makefile line") << "indent -kr -sob -l80 -ss -bs -psl main.c";
    QTest::newRow("long forms") << "--braces-on-if-line --line-length120 +cuddle-else --brace-indent 4";
    QTest::newRow("later switch wins") << "-br -bl -bli4";
    QTest::newRow("-nut after -ut") << "-ut -nut -ts2";
    QTest::newRow("three line lengths") << "-l120 -l80 -l100";
    QTest::newRow("explicit before a preset") << "-i4 -gnu";
    QTest::newRow("type name pair") << "-ts4 -T -ts2";
}

// An import that reports nothing unmapped and no change of order formats as indent reads the input.
void TestProfileExport::importFormatsAsItsInput()
{
    QFETCH(QString, input);
    const ProfileImport import = parseIndentProfile(input);
    QVERIFY(import.unmapped.isEmpty() && import.changed.isEmpty());
    // the input's own words, less the program and the file, as indent would get them after the file
    QStringList inputOptions = input.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    inputOptions.removeAll(QStringLiteral("indent"));
    inputOptions.removeAll(QStringLiteral("main.c"));
    const QByteArray asInput = formatted(inputOptions, QStringLiteral("input.c"));
    QVERIFY(!asInput.isEmpty());
    QCOMPARE(formatted(formatterOptions(ParameterTextFor(import.checks)), QStringLiteral("imported.c")),
             asInput);
}

// The parser's long forms, taken from indent's manual, each read by indent as its short form.
void TestProfileExport::longFormsAreIndentsOwn()
{
    const QStringList longOptions = knownLongOptions();
    QVERIFY(longOptions.contains(QStringLiteral("--braces-on-if-line")));
    int index = 0;
    for (const QString &longOption : longOptions) {
        const QString shortOption = shortOptionForm(longOption);
        QVERIFY2(!shortOption.isEmpty(), qPrintable(longOption));
        const QByteArray asLong = formatted({longOption}, QStringLiteral("long%1.c").arg(index));
        QVERIFY2(!asLong.isEmpty(), qPrintable(longOption));
        QVERIFY2(formatted({shortOption}, QStringLiteral("short%1.c").arg(index)) == asLong,
                 qPrintable(longOption + QLatin1Char(' ') + shortOption));
        ++index;
    }
}

// The export's warning holds: indent stops on the profile of a selection whose last row is "-T". Read
// back, the profile gives that selection again and the report says why indent refuses it.
void TestProfileExport::bareTypeNameIsRefusedByIndentAndReadBack()
{
    const QString parameterText = QStringLiteral("-bad -kr -T ");
    const QByteArray profileText = indentProfileText(QStringLiteral("style"), parameterText);
    const QString profile = m_scratch.filePath(QStringLiteral("bare-T.pro"));
    QVERIFY(writeFileAtomically(profile, profileText));
    const QString file = m_scratch.filePath(QStringLiteral("bare-T.c"));
    QVERIFY(writeAll(file, m_sample));
    QProcess indent;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("INDENT_PROFILE"), profile);
    environment.insert(QStringLiteral("VERSION_CONTROL"), QStringLiteral("none"));
    indent.setProcessEnvironment(environment);
    indent.start(m_formatter, {file});
    QVERIFY(indent.waitForFinished(HangMilliseconds));
    QCOMPARE(indent.exitStatus(), QProcess::NormalExit);
    QVERIFY(indent.exitCode() != 0);
    QCOMPARE(readAll(file), m_sample);

    const ProfileImport import = parseIndentProfile(QString::fromUtf8(profileText));
    QCOMPARE(ParameterTextFor(import.checks), parameterText);
    QVERIFY(import.unmapped.isEmpty());
    QCOMPARE(import.bareTypeName, ProfileImport::BareTypeName::Kept);
    QVERIFY(profileImportReport(import).contains(QString::fromUtf8("最后的 -T 后面没有类型名")));
}

QTEST_GUILESS_MAIN(TestProfileExport)
#include "tst_profileexport.moc"
