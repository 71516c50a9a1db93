#pragma once

#include "RowExample.h"

#include <QString>

// An example as the grid's tooltip shows it: the part without and with the row, one above the other in a
// fixed-width font, the changed characters marked; or why the row changes nothing.
QString rowExampleHtml(const RowExample &example);

// What the tooltip says while the example is made.
QString rowExamplePendingText(int row);
