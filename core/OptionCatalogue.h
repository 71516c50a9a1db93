#pragma once

#include <array>

// One formatter option the user can tick: the text handed to GNU indent and the line shown beside it.
struct OptionRow
{
    const char *optionText;      // UTF-8
    const char *descriptionText; // UTF-8
};

constexpr int OptionCount = 93;

// Fixed at build time; a row's index is its grid row, its flag position in a style and its place in the
// parameter text.
extern const std::array<OptionRow, OptionCount> OptionCatalogue;

// The row whose option text is exactly optionText (UTF-8); -1 when none is.
int catalogueRowOf(const char *optionText);
