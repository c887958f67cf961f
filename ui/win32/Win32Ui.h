// Windowed mode over real Win32 windows, as the program's entry starts it.
#pragma once

#include <optional>

#include "os/Exception.h"

// Creates the main window (SetDRAMRegisterForm), then the hidden About window (FormAbout),
// shows the main window and runs the message loop until the main window is closed; then
// destroys both. The toolkit's Exception when the windows could not be created, in which
// case no message loop runs.
std::optional<Exception> RunWindowedMode();
