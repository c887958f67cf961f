/* The driver's configuration operations on real hardware: the HAL's PCI configuration bus
   functions, which take the system's own configuration lock around each access, so neither
   the operating system on another processor nor an interrupt can come between the address
   and the data cycle. The driver itself executes no port instruction. */
#include <ntddk.h>

#include "hw/driver/ConfigOps.h"

static ULONG MvnSlot(uint32_t device, uint32_t function) {
  PCI_SLOT_NUMBER slot;
  slot.u.AsULONG = 0;
  slot.u.bits.DeviceNumber = device;
  slot.u.bits.FunctionNumber = function;
  return slot.u.AsULONG;
}

/* The HAL answers fewer bytes than asked (2 for an empty slot, 0 for a missing bus) when no
   function takes the access. */
static int MvnHalRead(void* ctx, uint32_t bus, uint32_t device, uint32_t function,
                      uint32_t offset, uint32_t* value) {
  ULONG data = 0xFFFFFFFFu;
  (void)ctx;
  if (HalGetBusDataByOffset(PCIConfiguration, bus, MvnSlot(device, function), &data, offset,
                            sizeof data) != sizeof data) {
    return 0;
  }
  *value = data;
  return 1;
}

static int MvnHalWrite(void* ctx, uint32_t bus, uint32_t device, uint32_t function,
                       uint32_t offset, uint32_t value) {
  ULONG data = value;
  (void)ctx;
  return HalSetBusDataByOffset(PCIConfiguration, bus, MvnSlot(device, function), &data, offset,
                               sizeof data) == sizeof data;
}

static const MvnConfigOps g_halConfig = {MvnHalRead, MvnHalWrite, 0};

const MvnConfigOps* MvnStartConfig(void) {
  return &g_halConfig;
}
