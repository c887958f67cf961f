// Register access: moves cached register values between the tables and the hardware through
// the process-wide DeviceDriver, opening and closing its device around every access. A
// register whose last read failed (no driver, a refused or failed request, a device reading
// all ones) is never written: its cached value is no hardware value.
#pragma once

#include <cstdint>

#include "regs/Tables.h"

inline constexpr std::uint32_t kAbsentDeviceValue = 0xFFFFFFFFu;

// What "Set" and the silent apply show, caption and text, when they write nothing because a
// register could not be read.
inline constexpr char kUnreadableCaption[] = "Morvane";
inline constexpr char kUnreadableMessage[] =
    "Unable to read the northbridge registers; nothing was written.\n";

void ReadRegister(PciRegister& reg);       // sets value and readable
bool WriteRegister(PciRegister& reg);      // false, writing nothing, when not readable
void ReadDramGroup();
// Each writes all registers of its group, then reads the group back; when one of them is not
// readable it writes and reads nothing and answers false.
bool WriteDramGroup();
void ReadLinkGroup();
bool WriteLinkGroup();
// True when every register of both groups is readable, so both may be written.
bool RegistersWritable();
