// Register model records: the seven northbridge registers, their 38 bit fields and the named
// choices of each field. All constant but each register's cached value and its read state.
#pragma once

#include <cstdint>
#include <span>

// One selectable value of a field.
struct FieldChoice {
  char text[32];
  std::int32_t code;
};

// The shared end-of-list choice; recognised by address only, never by its contents.
extern const FieldChoice NoChoice;

inline constexpr int kChoiceSlots = 257;

// A field's choices in display order, then &NoChoice, then null slots up to kChoiceSlots.
// Lists are shared between fields by pointing at the same ChoiceList. Only the run of
// records is stored: the end mark and the empty slots after it are implied, so a list costs
// two words instead of 257 pointers.
class ChoiceList {
 public:
  class Iterator {
   public:
    constexpr Iterator(const ChoiceList* list, int slot) : list_(list), slot_(slot) {}
    constexpr const FieldChoice* operator*() const { return (*list_)[slot_]; }
    constexpr Iterator& operator++() {
      ++slot_;
      return *this;
    }
    constexpr bool operator!=(const Iterator& other) const { return slot_ != other.slot_; }

   private:
    const ChoiceList* list_;
    int slot_;
  };

  // The first `count` records from `first`; at most kChoiceSlots - 1 of them.
  constexpr ChoiceList(const FieldChoice* first, int count)
      : first_(first),
        count_(count < 0              ? 0
               : count < kChoiceSlots ? count
                                      : kChoiceSlots - 1) {}

  constexpr const FieldChoice* operator[](int slot) const {
    if (slot >= 0 && slot < count_) return first_ + slot;
    return slot == count_ ? &NoChoice : nullptr;
  }
  static constexpr int size() { return kChoiceSlots; }
  constexpr Iterator begin() const { return {this, 0}; }
  constexpr Iterator end() const { return {this, kChoiceSlots}; }

 private:
  const FieldChoice* first_;
  int count_;
};

// One 32-bit PCI configuration register and its cached contents.
struct PciRegister {
  char name[32];
  std::int32_t bus;
  std::int32_t device;
  std::int32_t function;
  std::int32_t offset;
  std::uint32_t value;  // changes at run time, with readable
  // Whether the last read of the register succeeded with a value the device can hold (not all
  // ones). Only such a register may be written: its value then is the hardware's own with the
  // user's changes, never a failed read's filler.
  bool readable = false;
};

// One bit field of a register. `reg` is the owning register (`register` is a C++ keyword).
struct RegisterField {
  char label[32];
  char key[32];
  std::int32_t shift;
  std::int32_t width;
  PciRegister* reg;
  const ChoiceList* choices;
};

inline constexpr int kRegisterCount = 7;
inline constexpr int kFieldCount = 38;
inline constexpr int kDramFieldCount = 25;
inline constexpr int kLinkFieldCount = 13;
inline constexpr int kDramRegisterCount = 4;
inline constexpr int kLinkRegisterCount = 3;

// The registers in table order: DRAM Timing Low/High, DRAM Config Low/High, LDT0 Control,
// LDT0 FREQ (0x88), LDT0 FREQ (0x90).
extern PciRegister Registers[kRegisterCount];

// The 38 fields in table order: the 25 DRAM fields, then the 13 LINK fields.
extern const RegisterField Fields[kFieldCount];

inline std::span<const RegisterField> AllFields() {
  return {Fields, kFieldCount};
}
inline std::span<const RegisterField> DramFields() {
  return {Fields, kDramFieldCount};
}
inline std::span<const RegisterField> LinkFields() {
  return {Fields + kDramFieldCount, kLinkFieldCount};
}

// The groups in the order they are read and written: DRAM 0x88, 0x8C, 0x90, 0x94;
// LINK 0x88, 0x84, 0x90.
extern PciRegister* const DramGroup[kDramRegisterCount];
extern PciRegister* const LinkGroup[kLinkRegisterCount];

// The field with this key (exact spelling), or null.
const RegisterField* FindField(const char* key);
