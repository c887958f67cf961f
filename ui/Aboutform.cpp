// The About window's layout, texts and its one key handler.
#include "ui/Aboutform.h"

TFormAbout* FormAbout = nullptr;

std::string ProgramCaption() {
  return std::string(kProductName) + " " + kVersionLabel;
}

namespace {

FormStyle AboutStyle() {
  FormStyle style;
  style.clientWidth = 213;
  style.clientHeight = 171;
  style.border = BorderStyle::Dialog;
  style.minimizeButton = false;
  style.keyPreview = true;
  style.menuBar = false;
  style.font = {"MS Sans Serif", 8, kColorWindowText, false};
  return style;
}

const FontSpec kTitleFont = {"MS Sans Serif", 14, Rgb(64, 128, 128), false};
const FontSpec kWebSiteFont = {"Microsoft Sans Serif", 10, Rgb(0, 128, 128), true};
const FontSpec kAddressFont = {"MS Sans Serif", 8, kColorActiveCaption, false};

}  // namespace

TFormAbout::TFormAbout(ControlFactory& factory)
    : Window(factory.CreateForm(AboutStyle())),
      Label1(factory.CreateLabel(Window, {51, 8, 111, 24}, kProductName, &kTitleFont)),
      VersionLabel(factory.CreateLabel(Window, {96, 32, 22, 13}, "", nullptr)),
      DateLabel(factory.CreateLabel(Window, {84, 48, 45, 13}, "", nullptr)),
      Label2(factory.CreateLabel(Window, {59, 88, 96, 13}, kAuthorCredit, nullptr)),
      Label3(factory.CreateLabel(Window, {29, 104, 154, 16}, kWebSiteName, &kWebSiteFont)),
      Label6(factory.CreateLabel(Window, {15, 136, 184, 13}, kDriverCredit, nullptr)),
      Label7(factory.CreateLabel(Window, {44, 152, 126, 13}, kDriverAddress, &kAddressFont)) {
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
