/* The driver's port operations on real hardware: the processor's 32-bit in and out
   instructions, with interrupts held off for the length of one request. */
#include "hw/driver/PortOps.h"

static uint32_t MvnInDword(void* ctx, uint16_t port) {
  uint32_t value;
  (void)ctx;
  __asm__ __volatile__("inl %w1, %0" : "=a"(value) : "Nd"(port));
  return value;
}

static void MvnOutDword(void* ctx, uint16_t port, uint32_t value) {
  (void)ctx;
  __asm__ __volatile__("outl %0, %w1" : : "a"(value), "Nd"(port));
}

static const MvnPortOps g_processorPorts = {MvnInDword, MvnOutDword, 0};

const MvnPortOps* MvnStartPorts(void) {
  return &g_processorPorts;
}

/* The flags register with its interrupt flag, saved and then cleared. */
uintptr_t MvnEnterPorts(void) {
  uintptr_t flags;
  __asm__ __volatile__("pushf\n\tpop %0\n\tcli" : "=r"(flags) : : "memory");
  return flags;
}

void MvnLeavePorts(uintptr_t state) {
  __asm__ __volatile__("push %0\n\tpopf" : : "r"(state) : "memory", "cc");
}
