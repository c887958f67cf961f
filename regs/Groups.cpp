// Register access: each register read or written on its own, the driver's device opened and
// closed around it; a driver whose device cannot be opened is given up for the rest of the run.
// A register is written only when its last read succeeded.
#include "regs/Groups.h"

#include <cstddef>

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

template <std::size_t N>
bool Readable(PciRegister* const (&group)[N]) {
  for (const PciRegister* reg : group) {
    if (!reg->readable) return false;
  }
  return true;
}

// Writes the group only when every register of it is readable, then reads it back.
template <std::size_t N>
bool WriteGroup(PciRegister* const (&group)[N]) {
  if (!Readable(group)) return false;
  for (PciRegister* reg : group) WriteRegister(*reg);
  for (PciRegister* reg : group) ReadRegister(*reg);
  return true;
}

}  // namespace

void ReadRegister(PciRegister& reg) {
  reg.value = 0;
  reg.readable = false;
  if (!OpenDriver()) return;
  bool succeeded = false;
  reg.value = DeviceDriver->ReadPciConfig(reg.bus, reg.device, reg.function, reg.offset,
                                          &succeeded);
  // All ones is what configuration space answers where no device is.
  reg.readable = succeeded && reg.value != kAbsentDeviceValue;
  DeviceDriver->Close();
}

bool WriteRegister(PciRegister& reg) {
  if (!reg.readable) return false;
  if (!OpenDriver()) return false;
  int written =
      DeviceDriver->WritePciConfig(reg.bus, reg.device, reg.function, reg.offset, reg.value);
  DeviceDriver->Close();
  return written != 0;
}

void ReadDramGroup() {
  for (PciRegister* reg : DramGroup) ReadRegister(*reg);
}

bool WriteDramGroup() {
  return WriteGroup(DramGroup);
}

void ReadLinkGroup() {
  for (PciRegister* reg : LinkGroup) ReadRegister(*reg);
}

bool WriteLinkGroup() {
  return WriteGroup(LinkGroup);
}

bool RegistersWritable() {
  return Readable(DramGroup) && Readable(LinkGroup);
}
