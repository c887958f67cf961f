// Windowed mode: the two windows over Win32 controls and the message loop.
#include "ui/win32/Win32Ui.h"

#include "ui/Forms.h"
#include "ui/Setregform.h"
#include "ui/win32/Win32Controls.h"

namespace {

// The windows' logic goes before the controls it holds.
class FormsInUse {
 public:
  explicit FormsInUse(ControlFactory& factory) { CreateForms(factory); }
  ~FormsInUse() { DestroyForms(); }
  FormsInUse(const FormsInUse&) = delete;
  FormsInUse& operator=(const FormsInUse&) = delete;
};

}  // namespace

std::optional<Exception> RunWindowedMode() {
  win32ui::Win32Factory factory;
  FormsInUse forms(factory);
  if (std::optional<Exception> failed = factory.Failure()) return failed;
  SetDRAMRegisterForm->Window.Show();
  factory.RunMessageLoop();
  return std::nullopt;
}
