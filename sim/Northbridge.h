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

/* One configuration access as the operating system's own configuration functions make it,
   serialised and apart from the address port (which it neither reads nor changes): 1 when a
   function answered; 0 when none is there (a read then gives all ones, a write goes nowhere).
   Only node 0's functions 0 to 3 exist (bus 0, device 0x18). */
int SimNbConfigCycleRead(uint32_t bus, uint32_t device, uint32_t function, uint32_t offset,
                         uint32_t* value);
int SimNbConfigCycleWrite(uint32_t bus, uint32_t device, uint32_t function, uint32_t offset,
                          uint32_t value);

/* Every configuration write the chip took since the last reset, by whatever path: the dword,
   what it held before and the value written. The first SIM_NB_WRITE_LOG_SIZE are kept; the
   count goes on. */
#define SIM_NB_WRITE_LOG_SIZE 256u
typedef struct SimNbWriteRecord {
  unsigned function;
  unsigned offset;
  uint32_t before;
  uint32_t value;
} SimNbWriteRecord;
uint32_t SimNbWriteCount(void);
/* 1 and the record when index is below both the count and the log size, else 0. */
int SimNbWriteAt(uint32_t index, SimNbWriteRecord* record);

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
