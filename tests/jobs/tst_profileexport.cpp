#include "AtomicFile.h"
#include "CellTable.h"
#include "FormatterDeployment.h"
#include "FormatterRun.h"
#include "IndentProfile.h"
#include "OptionCatalogue.h"
#include "StyleStore.h"
#include "TestFiles.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

CheckStates checksOf(const StyleRecord &style)
{
    CheckStates checks{};
    for (int row = 0; row < OptionCount; ++row)
        checks[size_t(row)] = style.Flags[row] != 0;
    return checks;
}

} // namespace

// A style handed out as a profile formats exactly as a job with that style does.
class TestProfileExport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void profileFormatsAsTheJob_data();
    void profileFormatsAsTheJob();

private:
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
        QTest::newRow(style.Name) << ParameterTextFor(checksOf(style));
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
    QVERIFY(indent.waitForFinished(30000));
    QVERIFY2(indent.exitStatus() == QProcess::NormalExit && indent.exitCode() == 0,
             indent.readAllStandardError().constData());

    QCOMPARE(readAll(profileFile), readAll(jobFile));
    QVERIFY(readAll(jobFile) != m_sample);
}

QTEST_GUILESS_MAIN(TestProfileExport)
#include "tst_profileexport.moc"
