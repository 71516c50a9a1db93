#pragma once

struct StartupEnvironment;

// Creates the three windows in start-up order: the main window runs its start-up sequence before the
// other two exist. False after a fatal start-up failure, whose message has been shown; no window is
// left then.
bool createWindows(const StartupEnvironment &environment);
// Destroys whichever of the three windows exist and clears their global instances.
void destroyWindows();

// The whole program: creates the windows, shows the main window and runs the event loop until the
// program ends. Returns the exit status, 0 also after a fatal start-up failure.
int runZabo(const StartupEnvironment &environment);
