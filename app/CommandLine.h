#pragma once

#include <optional>

// zabo's command line: --help and --version print and end the program before anything needs a
// display; any other argument is refused once Qt has taken its own (-platform, -style, ...).

// Before the QApplication: the exit status when the arguments ask for help or the version, already
// printed; nothing when the program should go on.
std::optional<int> answerInformationRequest(int argc, char *argv[]);
// After the QApplication: the exit status when arguments are left that zabo does not take, with the
// reason printed on standard error; nothing when there are none.
std::optional<int> refuseUnknownArguments();
