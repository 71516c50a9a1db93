#pragma once

// How long a test waits for something that must happen: only a real hang takes this long, also on a
// 2-core machine at load 20 under the sanitizers. Speed is measured in bench/, never here.
constexpr int HangMilliseconds = 300000;
