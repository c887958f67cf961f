// Register access: moves cached register values between the tables and the hardware through
// the process-wide DeviceDriver, opening and closing its device around every access.
#pragma once

#include "regs/Tables.h"

void ReadRegister(PciRegister& reg);
void WriteRegister(PciRegister& reg);
void ReadDramGroup();
void WriteDramGroup();  // writes all four, then reads the group back
void ReadLinkGroup();
void WriteLinkGroup();  // writes all three, then reads the group back
