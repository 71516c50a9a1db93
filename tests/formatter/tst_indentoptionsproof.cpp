#include "FormatterDeployment.h"
#include "FormatterRun.h"
#include "IndentOptions.h"
#include "TestFiles.h"

#include <QDir>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

namespace {

// What one run of indent over a copy of the sample left behind.
struct Outcome
{
    bool ok = false;
    QByteArray text;
    QByteArray output; // standard output, which "-st" and "-v" write to
    QByteArray errors;
};

QString shortForm(const IndentOption &option, const QString &number = QString())
{
    return QLatin1Char('-') + QLatin1String(option.shortName) + number;
}

// A number every numeric option accepts and that differs from most defaults.
const QString Number = QStringLiteral("3");

} // namespace

// Proves the option table against the real indent: every long name is accepted and does what the short
// name does, numeric options take their number glued or as the next word, switches take none, and the two
// members of a pair set one setting.
class TestIndentOptionsProof : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void longNamesEqualShortNames();
    void numbersGluedOrApart();
    void switchesTakeNoValue();
    void pairsShareOneSetting();

private:
    // Formats a copy of the sample once per argument list, a few indent processes at a time.
    QHash<QString, Outcome> run(const QList<QStringList> &optionLists);
    void compareRuns(const QList<QPair<QStringList, QStringList>> &sameEffect);

    QTemporaryDir m_scratch;
    QString m_formatter;
    QByteArray m_sample;
    int m_nextFile = 0;
};

void TestIndentOptionsProof::initTestCase()
{
    QVERIFY(m_scratch.isValid());
    QVERIFY(isolateFromIndentSettings(m_scratch.path()));
    const FormatterDeployment deployment = DeployFormatter(m_scratch.path());
    QVERIFY2(deployment.ok, qPrintable(deployment.error));
    m_formatter = deployment.formatterPath;
    m_sample = readAll(qEnvironmentVariable("ZABO_TEST_DATA") + QStringLiteral("/options_sample.c"));
    QVERIFY(!m_sample.isEmpty());
}

QHash<QString, Outcome> TestIndentOptionsProof::run(const QList<QStringList> &optionLists)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VERSION_CONTROL"), QStringLiteral("none"));
    QHash<QString, Outcome> outcomes;
    struct Running
    {
        std::unique_ptr<QProcess> process;
        QString file;
        QString key;
    };
    std::vector<Running> running;
    QList<QStringList> pending = optionLists;
    while (!pending.isEmpty() || !running.empty()) {
        while (running.size() < 4 && !pending.isEmpty()) {
            const QStringList options = QStringList{QStringLiteral("-npro")} + pending.takeFirst();
            Running next{std::make_unique<QProcess>(),
                         m_scratch.filePath(QStringLiteral("%1.c").arg(m_nextFile++)),
                         options.mid(1).join(QLatin1Char(' '))};
            if (!writeAll(next.file, m_sample))
                return {};
            next.process->setProcessEnvironment(environment);
            next.process->start(m_formatter, formatterArguments({next.file}, options));
            running.push_back(std::move(next));
        }
        const Running done = std::move(running.front());
        running.erase(running.begin());
        if (!done.process->waitForFinished(60000))
            return {};
        outcomes.insert(done.key,
                        {done.process->exitStatus() == QProcess::NormalExit && done.process->exitCode() == 0,
                         readAll(done.file), done.process->readAllStandardOutput(),
                         done.process->readAllStandardError()});
    }
    return outcomes;
}

// Each pair of option lists must be accepted and leave the same text, output and messages.
void TestIndentOptionsProof::compareRuns(const QList<QPair<QStringList, QStringList>> &sameEffect)
{
    QList<QStringList> lists;
    for (const auto &pair : sameEffect)
        lists << pair.first << pair.second;
    const QHash<QString, Outcome> outcomes = run(lists);
    QVERIFY(!outcomes.isEmpty());
    for (const auto &pair : sameEffect) {
        const Outcome one = outcomes.value(pair.first.join(QLatin1Char(' ')));
        const Outcome other = outcomes.value(pair.second.join(QLatin1Char(' ')));
        const QString what = pair.first.join(QLatin1Char(' ')) + QStringLiteral(" / ") +
                             pair.second.join(QLatin1Char(' ')) + QStringLiteral(": ") +
                             QString::fromLocal8Bit(one.errors + other.errors);
        QVERIFY2(one.ok && other.ok, qPrintable(what));
        QVERIFY2(one.text == other.text && one.output == other.output, qPrintable(what));
    }
}

void TestIndentOptionsProof::longNamesEqualShortNames()
{
    QList<QPair<QStringList, QStringList>> pairs;
    for (const IndentOption &option : IndentOptions) {
        const QString number = option.numeric ? Number : QString();
        for (const QString &name : longNamesOf(option)) {
            pairs.append({{name + number}, {shortForm(option, number)}});
            pairs.append({{QLatin1Char('+') + name.mid(2) + number}, {shortForm(option, number)}});
        }
    }
    compareRuns(pairs);
}

void TestIndentOptionsProof::numbersGluedOrApart()
{
    QList<QPair<QStringList, QStringList>> pairs;
    for (const IndentOption &option : IndentOptions) {
        if (option.numeric)
            pairs.append({{shortForm(option), Number}, {shortForm(option, Number)}});
    }
    compareRuns(pairs);
}

// As the last word, an option that takes a value makes indent stop with "missing argument"; a switch
// is complete by itself.
void TestIndentOptionsProof::switchesTakeNoValue()
{
    QList<QStringList> lists;
    for (const IndentOption &option : IndentOptions)
        lists.append({shortForm(option)});
    const QHash<QString, Outcome> outcomes = run(lists);
    QVERIFY(!outcomes.isEmpty());
    for (const IndentOption &option : IndentOptions) {
        const Outcome outcome = outcomes.value(shortForm(option));
        const bool takesValue = option.numeric || option.kind == OptionKind::TypeName;
        QVERIFY2(outcome.ok != takesValue,
                 qPrintable(shortForm(option) + QString::fromLocal8Bit(outcome.errors)));
        if (takesValue)
            QVERIFY2(outcome.errors.contains("missing argument"), outcome.errors.constData());
    }
}

// The later of two options for one setting wins: "A B" formats as "B" alone, for every two options
// that the table says set the same setting.
void TestIndentOptionsProof::pairsShareOneSetting()
{
    QList<QPair<QStringList, QStringList>> pairs;
    for (const IndentOption &first : IndentOptions) {
        for (const IndentOption &second : IndentOptions) {
            if (&first == &second || first.kind != OptionKind::Setting ||
                second.kind != OptionKind::Setting || first.numeric || qstrcmp(first.what, second.what) != 0)
                continue;
            pairs.append({{shortForm(first), shortForm(second)}, {shortForm(second)}});
        }
    }
    QVERIFY(!pairs.isEmpty());
    compareRuns(pairs);
}

QTEST_GUILESS_MAIN(TestIndentOptionsProof)
#include "tst_indentoptionsproof.moc"
