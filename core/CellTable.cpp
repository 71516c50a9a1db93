#include "CellTable.h"

QString ParameterTextFor(const CheckStates &checks)
{
    QString text;
    for (int row = 0; row < OptionCount; ++row) {
        if (checks[row]) {
            text += QString::fromUtf8(OptionCatalogue[row].optionText);
            text += QLatin1Char(' ');
        }
    }
    return text;
}

CellTable::CellTable()
    : m_cells(RowCount * ColumnCount)
{
    for (int row = 0; row < RowCount; ++row) {
        m_cells[3 * row + CheckColumn] = false;
        m_cells[3 * row + ParamStringColumn] = QString::fromUtf8(OptionCatalogue[row].optionText);
        m_cells[3 * row + DescriptionStringColumn] = QString::fromUtf8(OptionCatalogue[row].descriptionText);
    }
}

QVariant CellTable::cell(int row, int column) const
{
    if (row < 0 || row >= RowCount || column < 0 || column >= ColumnCount)
        return {};
    return m_cells[3 * row + column];
}

bool CellTable::isChecked(int row) const
{
    return m_cells[3 * row + CheckColumn].toBool();
}

void CellTable::setChecked(int row, bool checked)
{
    m_cells[3 * row + CheckColumn] = checked;
}

void CellTable::toggle(int row)
{
    setChecked(row, !isChecked(row));
}

QString CellTable::ShowStyle(const StyleFlags &flags)
{
    for (int row = 0; row < RowCount; ++row)
        setChecked(row, flags[row] != 0);
    return ComposeParameterText();
}

QString CellTable::ComposeParameterText() const
{
    return ParameterTextFor(checks());
}

CheckStates CellTable::checks() const
{
    CheckStates result{};
    for (int row = 0; row < RowCount; ++row)
        result[row] = isChecked(row);
    return result;
}

StyleFlags CellTable::checkFlags() const
{
    StyleFlags flags{};
    for (int row = 0; row < RowCount; ++row)
        flags[row] = isChecked(row) ? 1 : 0;
    return flags;
}

CheckStates checkStatesOf(const StyleRecord &record)
{
    CheckStates checks{};
    for (int row = 0; row < OptionCount; ++row)
        checks[size_t(row)] = record.Flags[row] != 0;
    return checks;
}

QString ParameterTextOf(const StyleRecord &record)
{
    return ParameterTextFor(checkStatesOf(record));
}

CheckStates checkStatesFor(const QString &optionTexts)
{
    CheckStates checks{};
    for (const QString &option : optionTexts.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const int row = catalogueRowOf(option.toUtf8().constData());
        if (row >= 0)
            checks[size_t(row)] = true;
    }
    return checks;
}
