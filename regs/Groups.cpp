// Register access: each register read or written on its own, the driver's device opened and
// closed around it; a driver whose device cannot be opened is given up for the rest of the run.
#include "regs/Groups.h"

#include "hw/DeviceDriver.h"

namespace {

// Opens the device, or discards the driver for good when that fails.
bool OpenDriver() {
  if (DeviceDriver == nullptr) return false;
  if (DeviceDriver->Open()) return true;
  delete DeviceDriver;
  DeviceDriver = nullptr;
  return false;
}

}  // namespace

void ReadRegister(PciRegister& reg) {
  reg.value = 0;
  if (!OpenDriver()) return;
  reg.value = DeviceDriver->ReadPciConfig(reg.bus, reg.device, reg.function, reg.offset);
  DeviceDriver->Close();
}

void WriteRegister(PciRegister& reg) {
  if (!OpenDriver()) return;
  DeviceDriver->WritePciConfig(reg.bus, reg.device, reg.function, reg.offset, reg.value);
  DeviceDriver->Close();
}

void ReadDramGroup() {
  for (PciRegister* reg : DramGroup) ReadRegister(*reg);
}

void WriteDramGroup() {
  for (PciRegister* reg : DramGroup) WriteRegister(*reg);
  ReadDramGroup();
}

void ReadLinkGroup() {
  for (PciRegister* reg : LinkGroup) ReadRegister(*reg);
}

void WriteLinkGroup() {
  for (PciRegister* reg : LinkGroup) WriteRegister(*reg);
  ReadLinkGroup();
}
