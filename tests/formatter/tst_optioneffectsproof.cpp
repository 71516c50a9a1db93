#include "CellTable.h"
#include "FormatterDeployment.h"
#include "FormatterRun.h"
#include "HangLimit.h"
#include "OptionCatalogue.h"
#include "OptionEffects.h"
#include "StyleStore.h"
#include "TestFiles.h"

#include <QDir>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

QString optionText(int row)
{
    return QString::fromUtf8(OptionCatalogue[size_t(row)].optionText);
}

QStringList optionsOf(const CheckStates &checks)
{
    QStringList options;
    for (int row = 0; row < OptionCount; ++row) {
        if (checks[size_t(row)])
            options.append(optionText(row));
    }
    return formatterOptions(options.join(QLatin1Char(' ')));
}

struct Outcome
{
    bool ok = false;
    QByteArray text;   // the formatted file
    QByteArray errors; // indent's standard error
};

// One claim of the model about the real indent: both option lists format the sample alike.
struct Claim
{
    QString what;
    QStringList options;
    QStringList equivalent;
    // For "A overridden by B": A alone and B alone, which the sample should tell apart.
    QStringList alone;
    QStringList winnerAlone;
};

// The claims hold with indent's defaults and again with comment formatting on ("-fca" last), which
// the comment settings need to show at all.
const QList<QStringList> Contexts = {{}, {QStringLiteral("-fca")}};

} // namespace

// Proves the option-effect table against the real indent: whatever the model calls overridden, taken as a
// type name or a preset's expansion changes nothing when it is dropped or spelled out.
class TestOptionEffectsProof : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void overriddenRowsChangeNothing();
    void presetsEqualTheirExpansions();
    void selectionsWithoutTheirIdleRows();
    void typeNameAtTheEndStopsIndent();

private:
    // Formats a copy of the sample once per distinct option list, several indent processes at a time.
    void formatAll(const QList<QStringList> &optionLists);
    // Returns the claims whose two rows the sample does not tell apart in any context.
    QStringList verify(const QList<Claim> &claims);

    QTemporaryDir m_scratch;
    QString m_formatter;
    QByteArray m_sample;
    QHash<QString, Outcome> m_outcomes;
    int m_nextFile = 0;
};

void TestOptionEffectsProof::initTestCase()
{
    QVERIFY(m_scratch.isValid());
    const FormatterDeployment deployment = DeployFormatter(m_scratch.path());
    QVERIFY2(deployment.ok, qPrintable(deployment.error));
    m_formatter = deployment.formatterPath;
    m_sample = readAll(qEnvironmentVariable("ZABO_TEST_DATA") + QStringLiteral("/options_sample.c"));
    QVERIFY(!m_sample.isEmpty());
    QVERIFY(QDir(m_scratch.path()).mkdir(QStringLiteral("runs")));
}

void TestOptionEffectsProof::formatAll(const QList<QStringList> &optionLists)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VERSION_CONTROL"), QStringLiteral("none"));
    environment.insert(QStringLiteral("INDENT_PROFILE"), QStringLiteral("/dev/null"));

    QList<QStringList> pending;
    for (const QStringList &options : optionLists) {
        const QString key = options.join(QLatin1Char(' '));
        if (!m_outcomes.contains(key) && !pending.contains(options))
            pending.append(options);
    }
    constexpr int Parallel = 4;
    struct Running
    {
        std::unique_ptr<QProcess> process;
        QString file;
        QString key;
    };
    std::vector<Running> running;
    while (!pending.isEmpty() || !running.empty()) {
        while (running.size() < Parallel && !pending.isEmpty()) {
            const QStringList options = pending.takeFirst();
            Running run;
            run.file = m_scratch.filePath(QStringLiteral("runs/%1.c").arg(m_nextFile++));
            run.key = options.join(QLatin1Char(' '));
            QVERIFY(writeAll(run.file, m_sample));
            run.process = std::make_unique<QProcess>();
            run.process->setProcessEnvironment(environment);
            run.process->start(m_formatter, formatterArguments({run.file}, options));
            running.push_back(std::move(run));
        }
        Running run = std::move(running.front());
        running.erase(running.begin());
        QVERIFY(run.process->waitForFinished(HangMilliseconds));
        Outcome outcome;
        outcome.ok = run.process->exitStatus() == QProcess::NormalExit && run.process->exitCode() == 0;
        outcome.errors = run.process->readAllStandardError();
        outcome.text = readAll(run.file);
        m_outcomes.insert(run.key, outcome);
    }
}

QStringList TestOptionEffectsProof::verify(const QList<Claim> &claims)
{
    QList<QStringList> lists;
    for (const Claim &claim : claims) {
        for (const QStringList &context : Contexts) {
            lists << claim.options + context << claim.equivalent + context;
            if (!claim.alone.isEmpty())
                lists << claim.alone + context << claim.winnerAlone + context;
        }
    }
    formatAll(lists);
    const auto outcome = [this](const QStringList &options) {
        return m_outcomes.value(options.join(QLatin1Char(' ')));
    };
    QStringList unexercised;
    for (const Claim &claim : claims) {
        bool exercised = false;
        for (const QStringList &context : Contexts) {
            const Outcome with = outcome(claim.options + context);
            const Outcome without = outcome(claim.equivalent + context);
            const QString where = QStringLiteral("%1: indent %2 / indent %3: %4")
                                      .arg(claim.what, (claim.options + context).join(QLatin1Char(' ')),
                                           (claim.equivalent + context).join(QLatin1Char(' ')),
                                           QString::fromLocal8Bit(with.errors));
            if (!with.ok || !without.ok || with.text != without.text) {
                QTest::qFail(qPrintable(where), __FILE__, __LINE__);
                return unexercised;
            }
            if (!claim.alone.isEmpty())
                exercised = exercised ||
                            outcome(claim.alone + context).text != outcome(claim.winnerAlone + context).text;
        }
        if (!claim.alone.isEmpty() && !exercised)
            unexercised.append(claim.what);
    }
    return unexercised;
}

void TestOptionEffectsProof::overriddenRowsChangeNothing()
{
    QList<Claim> claims;
    int overridden = 0;
    for (int first = 0; first < OptionCount; ++first) {
        for (int second = first + 1; second < OptionCount; ++second) {
            CheckStates checks{};
            checks[size_t(first)] = checks[size_t(second)] = true;
            const RowNotes notes = optionNotes(checks);
            const QStringList options = optionsOf(checks);
            for (const int row : {first, second}) {
                const RowNote &note = notes[size_t(row)];
                const int other = row == first ? second : first;
                if (note.effect == RowNote::Effect::Overridden) {
                    ++overridden;
                    claims.append({optionText(row) + QStringLiteral(" overridden by ") + optionText(other),
                                   options,
                                   {optionText(other)},
                                   {optionText(row)},
                                   {optionText(other)}});
                } else if (note.effect == RowNote::Effect::PartlyOverridden) {
                    // the preset's settings that nobody replaces, spelled out where the preset stood
                    QStringList kept;
                    for (const QString &option : presetExpansion(row)) {
                        bool replaced = false;
                        for (const RowNote::Replaced &entry : note.replaced)
                            replaced = replaced || entry.presetOption == option;
                        if (!replaced)
                            kept.append(option);
                    }
                    QStringList equivalent = options;
                    const qsizetype at = equivalent.indexOf(optionText(row));
                    equivalent.removeAt(at);
                    for (qsizetype index = 0; index < kept.size(); ++index)
                        equivalent.insert(at + index, kept.at(index));
                    claims.append(
                        {optionText(row) + QStringLiteral(" partly overridden by ") + optionText(other),
                         options,
                         equivalent,
                         {},
                         {}});
                } else if (note.effect == RowNote::Effect::TypeName) {
                    claims.append({optionText(row) + QStringLiteral(" is a type name"), options, {}, {}, {}});
                }
            }
        }
    }
    QVERIFY(overridden > 0);
    qInfo("%d rows overridden and %lld claims in all over every pair of rows", overridden,
          static_cast<long long>(claims.size()));
    // the sample shows every overridden row's difference, but for verbosity, which only indent's own
    // messages show
    QCOMPARE(verify(claims), QStringList{QStringLiteral("-nv overridden by -v")});
}

void TestOptionEffectsProof::presetsEqualTheirExpansions()
{
    QList<Claim> claims;
    for (const int row : {30, 35, 58, 71})
        claims.append({optionText(row), {optionText(row)}, presetExpansion(row), {}, {}});
    verify(claims);
}

void TestOptionEffectsProof::selectionsWithoutTheirIdleRows()
{
    QList<CheckStates> selections;
    for (const StyleRecord &style : builtInStyles())
        selections.append(checkStatesOf(style));
    // explicit rows between presets, presets in both orders, three of a kind, type names
    for (const char *options :
         {"-gnu -i4 -kr -nip -orig -ip4 -l74 -l120 -T -ts2 -ts4",
          "-bl -bli0 -bli4 -br -gnu -kr -nsaf -saf -st -T -ut -v", "-kr -nip -orig -lc74 -lc100 -fca",
          "-gnu -ncdb -nfca -nip -orig -cdb -sc -nsc -T -v"}) {
        CheckStates checks{};
        for (const QString &option : QString::fromLatin1(options).split(QLatin1Char(' '))) {
            for (int row = 0; row < OptionCount; ++row)
                checks[size_t(row)] = checks[size_t(row)] || optionText(row) == option;
        }
        selections.append(checks);
    }

    QList<Claim> claims;
    for (const CheckStates &checks : selections) {
        // every row that does nothing dropped, "-T" with its type name, and each partly overridden
        // preset spelled out as the settings it keeps
        const RowNotes notes = optionNotes(checks);
        QStringList busy;
        for (int row = 0; row < OptionCount; ++row) {
            const RowNote &note = notes[size_t(row)];
            if (!checks[size_t(row)] || note.hasNoEffect() || note.typeNameRow >= 0)
                continue;
            if (note.effect != RowNote::Effect::PartlyOverridden) {
                busy.append(optionText(row));
                continue;
            }
            for (const QString &option : presetExpansion(row)) {
                const bool replaced =
                    std::any_of(note.replaced.cbegin(), note.replaced.cend(),
                                [&](const RowNote::Replaced &entry) { return entry.presetOption == option; });
                if (!replaced)
                    busy.append(option);
            }
        }
        claims.append({optionsOf(checks).join(QLatin1Char(' ')), optionsOf(checks), busy, {}, {}});
    }
    verify(claims);
}

void TestOptionEffectsProof::typeNameAtTheEndStopsIndent()
{
    CheckStates checks{};
    checks[0] = checks[88] = true;
    QCOMPARE(optionNotes(checks)[88].effect, RowNote::Effect::MissingTypeName);
    const QStringList options = optionsOf(checks);
    formatAll({options});
    const Outcome outcome = m_outcomes.value(options.join(QLatin1Char(' ')));
    QVERIFY(!outcome.ok);
    QVERIFY2(outcome.errors.contains("missing argument to parameter T"), outcome.errors.constData());
    QCOMPARE(outcome.text, m_sample);
}

QTEST_GUILESS_MAIN(TestOptionEffectsProof)
#include "tst_optioneffectsproof.moc"
