#include "CellTable.h"
#include "OptionCatalogue.h"
#include "OptionEffects.h"
#include "StyleStore.h"

#include <QTest>

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// "option=note" for every ticked row, in catalogue order, joined by " | ".
QString describe(const CheckStates &checks)
{
    const QStringList notes = optionNoteTexts(checks);
    QStringList parts;
    for (int row = 0; row < OptionCount; ++row) {
        if (checks[size_t(row)])
            parts.append(QString::fromUtf8(OptionCatalogue[size_t(row)].optionText) + QLatin1Char('=') +
                         notes.at(row));
    }
    return parts.join(QLatin1String(" | "));
}

} // namespace

class TestOptionEffects : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyRowHasItsSetting();
    void presetsExpandToKnownSettings();
    void notesOfSelections_data();
    void notesOfSelections();
    void noEffectRowsAreTheDimmedOnes();
    void recommendedStyleHasTwoRowsWithoutEffect();
};

void TestOptionEffects::everyRowHasItsSetting()
{
    for (int row = 0; row < OptionCount; ++row) {
        const OptionEffect &effect = optionEffect(row);
        const QString option = QString::fromUtf8(OptionCatalogue[size_t(row)].optionText);
        if (effect.kind == OptionKind::Setting)
            QCOMPARE(settingOfOption(option), QString::fromLatin1(effect.what));
    }
    QCOMPARE(optionEffect(30).kind, OptionKind::Preset);
    QCOMPARE(optionEffect(35).kind, OptionKind::Preset);
    QCOMPARE(optionEffect(58).kind, OptionKind::Preset);
    QCOMPARE(optionEffect(71).kind, OptionKind::Preset);
    QCOMPARE(optionEffect(72).kind, OptionKind::ProfileSwitch);
    QCOMPARE(optionEffect(87).kind, OptionKind::StandardOutput);
    QCOMPARE(optionEffect(88).kind, OptionKind::TypeName);
    QCOMPARE(settingOfOption(QStringLiteral("-cd41")), QStringLiteral("cd"));
    QCOMPARE(settingOfOption(QStringLiteral("-cdb")), QStringLiteral("cdb"));
    QCOMPARE(settingOfOption(QStringLiteral("-di16")), QStringLiteral("di"));
    QCOMPARE(settingOfOption(QStringLiteral("-lc74")), QStringLiteral("lc"));
    QCOMPARE(settingOfOption(QStringLiteral("-xyz")), QString());
}

void TestOptionEffects::presetsExpandToKnownSettings()
{
    for (const int row : {30, 35, 58, 71}) {
        const QStringList expansion = presetExpansion(row);
        QVERIFY(!expansion.isEmpty());
        QStringList settings;
        for (const QString &option : expansion) {
            const QString setting = settingOfOption(option);
            QVERIFY2(!setting.isEmpty(), qPrintable(option));
            QVERIFY2(!settings.contains(setting), qPrintable(option)); // one option per setting
            settings.append(setting);
        }
    }
    QCOMPARE(presetExpansion(58), QStringList{QStringLiteral("-ip0")});
    QVERIFY(presetExpansion(0).isEmpty());
}

void TestOptionEffects::notesOfSelections_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("notes");

    QTest::newRow("nothing") << ""
                             << "";
    QTest::newRow("one switch") << "-bad" << text("-bad=生效");
    QTest::newRow("-bl -br") << "-bl -br" << text("-bl=被 -br 覆盖 | -br=生效");
    QTest::newRow("three brace indents")
        << "-bli0 -bli2 -bli4" << text("-bli0=被 -bli4 覆盖 | -bli2=被 -bli4 覆盖 | -bli4=生效");
    QTest::newRow("-nsaf -saf") << "-nsaf -saf" << text("-nsaf=被 -saf 覆盖 | -saf=生效");
    QTest::newRow("line lengths") << "-l74 -l120 -lc74"
                                  << text("-l74=被 -l120 覆盖 | -l120=生效 | -lc74=生效");
    QTest::newRow("-gnu -i4") << "-gnu -i4" << text("-gnu=部分被覆盖：-i2 被 -i4 覆盖 | -i4=生效");
    QTest::newRow("-gnu with two explicit rows")
        << "-gnu -i4 -br" << text("-br=生效 | -gnu=部分被覆盖：-bl 被 -br 覆盖，-i2 被 -i4 覆盖 | -i4=生效");
    QTest::newRow("-nip under -ip4") << "-ip4 -nip" << text("-ip4=生效 | -nip=被 -ip4 覆盖");
    QTest::newRow("-gnu then -nip") << "-gnu -nip" << text("-gnu=部分被覆盖：-ip5 被 -nip 覆盖 | -nip=生效");
    QTest::newRow("-kr then -nip: same setting")
        << "-kr -nip" << text("-kr=部分被覆盖：-ip0 被 -nip 覆盖 | -nip=生效");
    QTest::newRow("-nip then -orig leaves ip alone") << "-nip -orig" << text("-nip=生效 | -orig=生效");
    QTest::newRow("-gnu then -kr") << "-gnu -kr"
                                   << text("-gnu=部分被覆盖：-nbad、-bap、-nbc、-bbo、-bl、-bls、-ncdb、-"
                                           "nce、-cp1、-cs、-di2、-nfc1、-nfca、"
                                           "-hnl、-i2、-ip5、-lp、-pcs、-nprs、-psl、-saf、-sai、-saw、-"
                                           "nsc、-nsob 被 -kr 覆盖 | -kr=生效");
    QTest::newRow("-ip4 beats both presets")
        << "-ip4 -kr -nip" << text("-ip4=生效 | -kr=部分被覆盖：-ip0 被 -ip4 覆盖 | -nip=被 -ip4 覆盖");
    QTest::newRow("-T takes -ts4") << "-T -ts4" << text("-T=把 -ts4 作为类型名 | -ts4=作为 -T 的类型名");
    QTest::newRow("-T takes only the next row")
        << "-T -ts2 -ts4" << text("-T=把 -ts2 作为类型名 | -ts2=作为 -T 的类型名 | -ts4=生效");
    QTest::newRow("a type name overrides nothing")
        << "-nut -T -ut" << text("-nut=生效 | -T=把 -ut 作为类型名 | -ut=作为 -T 的类型名");
    QTest::newRow("-T last") << "-bad -T" << text("-bad=生效 | -T=后面没有类型名，indent 将报错退出");
    QTest::newRow("-st is not the next option of -T")
        << "-st -T" << text("-st=任务中不使用 | -T=后面没有类型名，indent 将报错退出");
    QTest::newRow("-st") << "-st" << text("-st=任务中不使用");
    QTest::newRow("-npro and -pmt") << "-npro -pmt" << text("-npro=生效 | -pmt=生效");
    QTest::newRow("-nv -v") << "-nv -v" << text("-nv=被 -v 覆盖 | -v=生效");
}

void TestOptionEffects::notesOfSelections()
{
    QFETCH(QString, options);
    QFETCH(QString, notes);
    QCOMPARE(describe(checkStatesFor(options)), notes);
}

void TestOptionEffects::noEffectRowsAreTheDimmedOnes()
{
    const RowNotes notes = optionNotes(checkStatesFor(QStringLiteral("-bl -br -gnu -i4 -st -T -ts4 -v")));
    QVERIFY(notes[5].hasNoEffect());   // -bl
    QVERIFY(!notes[10].hasNoEffect()); // -br
    QVERIFY(!notes[30].hasNoEffect()); // -gnu, partly
    QVERIFY(notes[87].hasNoEffect());  // -st
    QVERIFY(!notes[88].hasNoEffect()); // -T with its type name
    QVERIFY(notes[90].hasNoEffect());  // -ts4
    QVERIFY(!notes[92].hasNoEffect()); // -v
    QCOMPARE(notes[5].byRows, QVector<int>{10});
    QCOMPARE(notes[90].typeNameRow, 88);
    QCOMPARE(notes[0].effect, RowNote::Effect::NotSelected);
    QVERIFY(optionNoteTexts(checkStatesFor(QString())).size() == OptionCount);
}

void TestOptionEffects::recommendedStyleHasTwoRowsWithoutEffect()
{
    const RowNotes notes = optionNotes(checkStatesOf(builtInStyles().at(3)));
    QStringList dimmed;
    for (int row = 0; row < OptionCount; ++row) {
        if (notes[size_t(row)].hasNoEffect())
            dimmed.append(QString::fromUtf8(OptionCatalogue[size_t(row)].optionText) + QLatin1Char('=') +
                          rowNoteText(notes[size_t(row)]));
    }
    QCOMPARE(dimmed, QStringList({text("-cdb=被 -ncdb 覆盖"), text("-ts4=作为 -T 的类型名")}));
}

QTEST_GUILESS_MAIN(TestOptionEffects)
#include "tst_optioneffects.moc"
