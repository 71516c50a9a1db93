#include "Neighbourhood.h"

#include "OptionEffects.h"
#include "StyleSpace.h"

#include <QHash>

namespace {

CheckStates toggled(CheckStates checks, int row)
{
    checks[size_t(row)] = !checks[size_t(row)];
    return checks;
}

QString optionText(int row)
{
    return QString::fromUtf8(OptionCatalogue[size_t(row)].optionText);
}

} // namespace

int choiceOf(int row)
{
    const QVector<QVector<int>> &choices = exclusiveChoices();
    for (qsizetype index = 0; index < choices.size(); ++index) {
        if (choices.at(index).contains(row))
            return int(index);
    }
    return OptionCount + row;
}

QVector<SelectionChange> singleRowChanges(const CheckStates &checks)
{
    QVector<SelectionChange> changes;
    for (const int row : proposableRows())
        changes.append({toggled(checks, row), {row}});
    return changes;
}

QVector<SelectionChange> choiceSwaps(const CheckStates &checks)
{
    QVector<SelectionChange> changes;
    for (const QVector<int> &choice : exclusiveChoices()) {
        for (const int from : choice) {
            if (!checks[size_t(from)])
                continue;
            for (const int to : choice) {
                if (!checks[size_t(to)])
                    changes.append({toggled(toggled(checks, from), to), {from, to}});
            }
        }
    }
    return changes;
}

QVector<SelectionChange> presetCompactions(const CheckStates &checks)
{
    const QMap<QString, QString> before = effectiveSettings(checks);
    const int rowsBefore = tickedRowCount(checks);
    QVector<SelectionChange> changes;
    for (const int preset : proposableRows()) {
        const QStringList expansion = presetExpansion(preset);
        if (expansion.size() < 2 || checks[size_t(preset)])
            continue;
        SelectionChange change{toggled(checks, preset), {preset}};
        for (const int row : proposableRows()) {
            if (checks[size_t(row)] && optionEffect(row).kind == OptionKind::Setting &&
                expansion.contains(optionText(row))) {
                change.checks[size_t(row)] = false;
                change.rows.append(row);
            }
        }
        const QMap<QString, QString> after = effectiveSettings(change.checks);
        for (auto setting = before.cbegin(); setting != before.cend(); ++setting) {
            if (after.value(setting.key()) == setting.value())
                continue;
            const int row = catalogueRowOf(setting.value().toLatin1().constData());
            if (row >= 0 && isProposableRow(row) && !change.checks[size_t(row)]) {
                change.checks[size_t(row)] = true;
                change.rows.append(row);
            }
        }
        if (tickedRowCount(change.checks) < rowsBefore)
            changes.append(change);
    }
    return changes;
}

QVector<SelectionChange> twoRowChanges(const CheckStates &checks)
{
    const QVector<int> rows = proposableRows();
    QVector<SelectionChange> changes;
    changes.reserve(rows.size() * (rows.size() - 1) / 2);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const CheckStates one = toggled(checks, rows.at(i));
        for (qsizetype j = i + 1; j < rows.size(); ++j)
            changes.append({toggled(one, rows.at(j)), {rows.at(i), rows.at(j)}});
    }
    return changes;
}
