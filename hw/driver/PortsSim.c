/* The driver's port operations in the simulated build: the simulated northbridge, which
   starts from its power-on state each time the driver loads. */
#include "hw/driver/PortOps.h"
#include "sim/Northbridge.h"

static uint32_t MvnSimInDword(void* ctx, uint16_t port) {
  (void)ctx;
  return SimNbInDword(port);
}

static void MvnSimOutDword(void* ctx, uint16_t port, uint32_t value) {
  (void)ctx;
  SimNbOutDword(port, value);
}

static const MvnPortOps g_simulatedPorts = {MvnSimInDword, MvnSimOutDword, 0};

const MvnPortOps* MvnStartPorts(void) {
  SimNbReset();
  return &g_simulatedPorts;
}

/* The simulated chip is this driver's own memory: a request holds it alone, by a spin lock
   rather than by holding off interrupts, which a user-mode host would not allow. */
static volatile int g_chipBusy;

uintptr_t MvnEnterPorts(void) {
  while (__atomic_exchange_n(&g_chipBusy, 1, __ATOMIC_ACQUIRE) != 0) {
    __asm__ __volatile__("pause");
  }
  return 0;
}

void MvnLeavePorts(uintptr_t state) {
  (void)state;
  __atomic_store_n(&g_chipBusy, 0, __ATOMIC_RELEASE);
}
