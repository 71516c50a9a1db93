#pragma once

// Live (not yet reaped or zombie) processes whose parent is this test: a formatter left running shows
// here.
int childProcessCount();
