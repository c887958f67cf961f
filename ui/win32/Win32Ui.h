// Windowed mode over real Win32 windows, as the program's entry starts it.
#pragma once

// Creates the main window (SetDRAMRegisterForm), then the hidden About window (FormAbout),
// shows the main window and runs the message loop until the main window is closed; then
// destroys both. Raises Exception when the windows cannot be created.
void RunWindowedMode();
