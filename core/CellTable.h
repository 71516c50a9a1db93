#pragma once

#include "StyleRecord.h"

#include <QString>
#include <QVariant>

#include <vector>

// The option texts of the checked rows in catalogue order, each followed by one blank.
QString ParameterTextFor(const CheckStates &checks);
// The same for a stored style's flags (any non-zero byte is a check).
QString ParameterTextOf(const StyleRecord &record);
CheckStates checkStatesOf(const StyleRecord &record);
// The rows whose option texts a blank-separated text names; words that name no row are passed over.
CheckStates checkStatesFor(const QString &optionTexts);

// The 93 x 3 cells behind the option grid: the check (the working selection), the option text and the
// description. Cell 3r + c holds column c of row r.
class CellTable
{
public:
    static constexpr int RowCount = OptionCount;
    static constexpr int ColumnCount = 3;
    enum Column { CheckColumn = 0, ParamStringColumn = 1, DescriptionStringColumn = 2 };

    CellTable();

    QVariant cell(int row, int column) const;
    bool isChecked(int row) const;
    void setChecked(int row, bool checked);
    void toggle(int row);

    // Sets every check from a stored style's flags (any non-zero byte is a check) and returns the new
    // parameter text.
    QString ShowStyle(const StyleFlags &flags);
    QString ComposeParameterText() const;

    CheckStates checks() const;
    StyleFlags checkFlags() const;

private:
    std::vector<QVariant> m_cells;
};
