// The About window: product name, version label, release date and the credits, shown
// modally by the main window and closed with Escape or its close button.
#pragma once

#include <string>

#include "ui/Controls.h"

inline constexpr char kProductName[] = "Morvane";
inline constexpr char kVersionLabel[] = "V0.50 QV beta";
inline constexpr char kReleaseDate[] = "Aug 2004";

// The caption both windows carry: product name, one blank, version label.
std::string ProgramCaption();

// The credits shown under the date.
inline constexpr char kAuthorCredit[] = "By the Morvane developers";
inline constexpr char kWebSiteName[] = "The Morvane Project";
inline constexpr char kDriverCredit[] = "I/O driver: the Morvane kernel driver";
inline constexpr char kDriverAddress[] = "http://morvane.example.org";

class TFormAbout {
 public:
  // Builds the window hidden, with its caption and texts.
  explicit TFormAbout(ControlFactory& factory);
  TFormAbout(const TFormAbout&) = delete;
  TFormAbout& operator=(const TFormAbout&) = delete;

  // The modal show; its result is 1 after Escape and the cancel result after the close button.
  int ShowModal() { return Window.ShowModal(); }

  // Every key pressed while the window is shown (key preview): Escape ends the modal show
  // with the OK result whatever the modifier keys; other keys do nothing.
  void FormKeyDown(FormControl& sender, unsigned short& key, ShiftState shift);

  FormControl& Window;
  LabelControl& Label1;
  LabelControl& VersionLabel;
  LabelControl& DateLabel;
  LabelControl& Label2;
  LabelControl& Label3;
  LabelControl& Label6;
  LabelControl& Label7;
};

// The one About window of the program, created after the main window; null before that.
extern TFormAbout* FormAbout;
