#pragma once

#include "PreviewWindow.h"

class TAboutForm;
class TInputNameForm;
struct StartupEnvironment;

// The preview window once it has been built; null before.
extern PreviewWindow *PreviewForm;

// What every window and dialog of the program shares, set once the QApplication exists: the window
// icon (drawn from the SVG the desktop menu shows) and Qt's own texts in Chinese. False when the icon or
// Qt's translation could not be loaded; the program still runs, with Qt's buttons in English.
bool prepareApplication();

// Creates the main window, which runs its start-up sequence. False after a
// fatal start-up failure, whose message has been shown; no window is left then.
bool createWindows(const StartupEnvironment &environment);
// How the preview window is built: the entry loads it from its module, tests and tools build it here.
void setPreviewWindowFactory(PreviewWindowFactory factory);
// The preview, the style name dialog and the donation window are built when first asked for, so that
// they cost the start nothing; each returns its one instance, or null before the main window exists. A
// preview that cannot be built says why in a message and is null.
PreviewWindow *ensurePreviewForm();
TInputNameForm *ensureInputNameForm();
TAboutForm *ensureAboutForm();
// Destroys whichever of the windows exist and clears their global instances.
void destroyWindows();

// The exit status after a fatal start-up failure, once its message has been answered or a termination
// signal (SIGTERM, SIGINT, SIGHUP) closed it.
constexpr int FailedStartStatus = 1;

// The whole program: creates the windows, shows the main window and runs the event loop until the
// program ends. Returns the exit status: 0 when it ends as closing it does (a termination signal
// included), FailedStartStatus after a fatal start-up failure.
int runZabo(const StartupEnvironment &environment);
