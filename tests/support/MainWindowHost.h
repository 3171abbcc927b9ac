#pragma once

#include "app/UMain.h"

#include <memory>

// Destroys a test's main window and forgets it as the program's main window.
struct TMainWindowDeleter {
    void operator()(TfrmMain *window) const;
};
using TMainWindowPtr = std::unique_ptr<TfrmMain, TMainWindowDeleter>;

// The main window over the test's library, as the program entry creates it, with its first
// activation taken as done (no copyright notice), and set as the program's main window.
TMainWindowPtr StartMainWindow();

// The main window at a user's first start: its first activation shows the start-up notice,
// which is answered with OK, and takes from the settings whether songs were ever imported.
TMainWindowPtr StartMainWindowAcceptingNotice();
