// The two windows of windowed mode: created in order (the main window first, which makes it
// the main window, then the hidden About window) and destroyed together.
#pragma once

#include "ui/Controls.h"

// Creates SetDRAMRegisterForm, then FormAbout, through `factory`, which must outlive them.
void CreateForms(ControlFactory& factory);

// Destroys both windows' logic and sets the two instances back to null.
void DestroyForms();
