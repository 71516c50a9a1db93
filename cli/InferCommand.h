#pragma once

#include "FormatCommand.h"

// zabo-format --infer: learns the style that changes the given sources least and prints its parameter
// text and the lines it still changes, or with --print-profile the style as a .indent.pro. Returns 0, 2
// on an error, 130 when stopped; nothing is written but standard output and standard error.
int runInferCommand(const FormatOptions &options, const FormatSetup &setup, FormatStreams &streams);
