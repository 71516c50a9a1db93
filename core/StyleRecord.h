#pragma once

#include "OptionCatalogue.h"

#include <QtGlobal>

#include <array>

using StyleFlags = std::array<quint8, OptionCount>;
using CheckStates = std::array<bool, OptionCount>;

// One saved style exactly as it lies in the configuration file: a NUL-terminated 8-bit name and one
// flag byte per catalogue row (any non-zero byte reads as selected).
struct StyleRecord
{
    static constexpr int NameSize = 255;
    static constexpr int MaxNameBytes = NameSize - 1;

    char Name[NameSize];
    quint8 Flags[OptionCount];
};

static_assert(sizeof(StyleRecord) == 348, "StyleRecord is stored byte for byte");
