// Creation and destruction of the two windows' logic.
#include "ui/Forms.h"

#include "ui/Aboutform.h"
#include "ui/Setregform.h"

void CreateForms(ControlFactory& factory) {
  DestroyForms();
  SetDRAMRegisterForm = new TSetDRAMRegisterForm(factory);
  FormAbout = new TFormAbout(factory);
}

void DestroyForms() {
  delete FormAbout;
  FormAbout = nullptr;
  delete SetDRAMRegisterForm;
  SetDRAMRegisterForm = nullptr;
}
