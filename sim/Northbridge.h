/* A simulated K8 (family 15, revision E and earlier) northbridge behind the PCI configuration
   ports 0xCF8/0xCFC. Plain C: the native tests and the simulated kernel driver compile the
   same file. */
#ifndef MORVANE_SIM_NORTHBRIDGE_H
#define MORVANE_SIM_NORTHBRIDGE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Back to the power-on state: address port 0, every register at its power-on value. The chip
   also powers itself on at its first access, so a driver need not call this. */
void SimNbReset(void);

/* 32-bit port accesses; any port other than 0xCF8 and 0xCFC reads all ones and ignores
   writes. */
uint32_t SimNbInDword(uint16_t port);
void SimNbOutDword(uint16_t port, uint32_t value);

/* Direct access to one configuration dword of 0:18.function (for tests and probes),
   bypassing the ports: reads what the chip would return, writes as the chip would take. */
uint32_t SimNbConfigRead(unsigned function, unsigned offset);
void SimNbConfigWrite(unsigned function, unsigned offset, uint32_t value);

/* How many DRAM commands (initialisation, exit from self-refresh) writes have started since
   the last reset: a write that merely puts back a read value must never start one. */
uint32_t SimNbDramCommandCount(void);

/* Sets bits of one dword as the hardware itself would (a link error flag, a status bit),
   whatever the bits' write rules. */
void SimNbRaiseBits(unsigned function, unsigned offset, uint32_t bits);

#ifdef __cplusplus
}
#endif

#endif
