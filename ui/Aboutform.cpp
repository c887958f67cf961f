// The About window's layout, texts and its one key handler.
#include "ui/Aboutform.h"

#include <algorithm>

TFormAbout* FormAbout = nullptr;

std::string ProgramCaption() {
  return std::string(kProductName) + " " + kVersionLabel;
}

namespace {

const FontSpec kWindowFont = {"MS Sans Serif", 8, kColorWindowText, false};

constexpr int kAboutClientHeight = 171;

FormStyle AboutStyle(int clientWidth, int dpi) {
  FormStyle style;
  style.clientWidth = clientWidth;
  style.clientHeight = kAboutClientHeight;
  style.dpi = dpi;
  style.border = BorderStyle::Dialog;
  style.minimizeButton = false;
  style.keyPreview = true;
  style.menuBar = false;
  style.font = kWindowFont;
  return style;
}

// The room kept right of the longest text.
constexpr int kAboutMargin = 8;

const FontSpec kTitleFont = {"MS Sans Serif", 14, Rgb(64, 128, 128), false};
const FontSpec kWebSiteFont = {"Microsoft Sans Serif", 10, Rgb(0, 128, 128), true};
const FontSpec kAddressFont = {"MS Sans Serif", 8, kColorActiveCaption, false};

// The labels' places; the widths are those of the design texts.
constexpr Placement kTitleAt = {51, 8, 111, 24};
constexpr Placement kVersionAt = {96, 32, 22, 13};
constexpr Placement kDateAt = {84, 48, 45, 13};
constexpr Placement kAuthorAt = {59, 88, 96, 13};
constexpr Placement kWebSiteAt = {29, 104, 154, 16};
constexpr Placement kDriverAt = {15, 136, 184, 13};
constexpr Placement kAddressAt = {44, 152, 126, 13};

// The window's width: the design's, or wider where a label, growing to the right from its
// left edge, would otherwise run past the right edge in the font the window really gets when
// drawn at `dpi` dots per inch.
int AboutWidth(ControlFactory& factory, int dpi) {
  struct Text {
    int left;
    const char* text;
    const FontSpec& font;
  };
  const Text texts[] = {
      {kTitleAt.left, kProductName, kTitleFont},
      {kVersionAt.left, kVersionLabel, kWindowFont},
      {kDateAt.left, kReleaseDate, kWindowFont},
      {kAuthorAt.left, kAuthorCredit, kWindowFont},
      {kWebSiteAt.left, kWebSiteName, kWebSiteFont},
      {kDriverAt.left, kDriverCredit, kWindowFont},
      {kAddressAt.left, kDriverAddress, kAddressFont},
  };
  int width = 213;
  for (const Text& t : texts) {
    width = std::max(width, t.left + factory.TextWidth(t.text, t.font, dpi) + kAboutMargin);
  }
  return width;
}

// The window's style at the resolution at which it fits the screen (FitDpi).
FormStyle FittedAboutStyle(ControlFactory& factory) {
  int dpi = FitDpi(factory, AboutStyle(0, 0), AboutWidth);
  return AboutStyle(AboutWidth(factory, dpi), dpi);
}

}  // namespace

TFormAbout::TFormAbout(ControlFactory& factory)
    : Window(factory.CreateForm(FittedAboutStyle(factory))),
      Label1(factory.CreateLabel(Window, kTitleAt, kProductName, &kTitleFont)),
      VersionLabel(factory.CreateLabel(Window, kVersionAt, "", nullptr)),
      DateLabel(factory.CreateLabel(Window, kDateAt, "", nullptr)),
      Label2(factory.CreateLabel(Window, kAuthorAt, kAuthorCredit, nullptr)),
      Label3(factory.CreateLabel(Window, kWebSiteAt, kWebSiteName, &kWebSiteFont)),
      Label6(factory.CreateLabel(Window, kDriverAt, kDriverCredit, nullptr)),
      Label7(factory.CreateLabel(Window, kAddressAt, kDriverAddress, &kAddressFont)) {
  Window.OnKeyDown = [this](unsigned short& key, ShiftState shift) {
    FormKeyDown(Window, key, shift);
  };
  Window.SetCaption(ProgramCaption());
  VersionLabel.SetText(kVersionLabel);
  DateLabel.SetText(kReleaseDate);
}

void TFormAbout::FormKeyDown(FormControl& sender, unsigned short& key, ShiftState /*shift*/) {
  if (key == kKeyEscape) sender.SetModalResult(kModalOk);
}
