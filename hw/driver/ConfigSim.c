/* The driver's configuration operations in the simulated build: the simulated northbridge,
   which starts from its power-on state each time the driver loads. */
#include "hw/driver/ConfigOps.h"
#include "sim/Northbridge.h"

/* The simulated chip is this driver's own memory: one access holds it alone, by a spin lock
   rather than by holding off interrupts, which a user-mode host would not allow. */
static volatile int g_chipBusy;

static void MvnLockChip(void) {
  while (__atomic_exchange_n(&g_chipBusy, 1, __ATOMIC_ACQUIRE) != 0) {
    __asm__ __volatile__("pause");
  }
}

static void MvnUnlockChip(void) {
  __atomic_store_n(&g_chipBusy, 0, __ATOMIC_RELEASE);
}

static int MvnSimRead(void* ctx, uint32_t bus, uint32_t device, uint32_t function,
                      uint32_t offset, uint32_t* value) {
  int done;
  (void)ctx;
  MvnLockChip();
  done = SimNbConfigCycleRead(bus, device, function, offset, value);
  MvnUnlockChip();
  return done;
}

static int MvnSimWrite(void* ctx, uint32_t bus, uint32_t device, uint32_t function,
                       uint32_t offset, uint32_t value) {
  int done;
  (void)ctx;
  MvnLockChip();
  done = SimNbConfigCycleWrite(bus, device, function, offset, value);
  MvnUnlockChip();
  return done;
}

static const MvnConfigOps g_simulatedConfig = {MvnSimRead, MvnSimWrite, 0};

const MvnConfigOps* MvnStartConfig(void) {
  SimNbReset();
  return &g_simulatedConfig;
}
