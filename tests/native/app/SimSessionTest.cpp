// The simulated session answers as Windows does: mutex names, system message texts and
// their buffers, message boxes, and the registry's result codes and access rules.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "os/Api.h"
#include "sim/SimWindows.h"

namespace {

constexpr char kRun[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

const std::uint8_t* Bytes(const char* text) {
  return reinterpret_cast<const std::uint8_t*>(text);
}

}  // namespace

TEST(SimSession, NamedMutexReportsAnEarlierHolder) {
  sim::ScopedSimWindows win;
  os::Handle first = win->CreateMutexA(1, "Morvane");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(win->GetLastError(), os::kErrorSuccess);
  os::Handle second = win->CreateMutexA(1, "Morvane");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(win->GetLastError(), os::kErrorAlreadyExists);
  EXPECT_EQ(win->session.MutexHandleCount("Morvane"), 2);
  // Object names are case-sensitive.
  win->CreateMutexA(1, "MORVANE");
  EXPECT_EQ(win->GetLastError(), os::kErrorSuccess);
  // Once every handle is closed the name is free again.
  EXPECT_TRUE(win->CloseHandle(first));
  EXPECT_TRUE(win->CloseHandle(second));
  EXPECT_FALSE(win->session.MutexExists("Morvane"));
  win->CreateMutexA(1, "Morvane");
  EXPECT_EQ(win->GetLastError(), os::kErrorSuccess);
}

TEST(SimSession, ForeignMutexAndUnnamedMutexes) {
  sim::ScopedSimWindows win;
  win->session.AddForeignMutex("Morvane");
  EXPECT_NE(win->CreateMutexA(1, "Morvane"), nullptr);
  EXPECT_EQ(win->GetLastError(), os::kErrorAlreadyExists);
  win->CreateMutexA(0, nullptr);
  EXPECT_EQ(win->GetLastError(), os::kErrorSuccess);
  win->CreateMutexA(0, nullptr);
  EXPECT_EQ(win->GetLastError(), os::kErrorSuccess);  // unnamed ones never collide
  win->FailCall("CreateMutexA", os::kErrorAccessDenied);
  EXPECT_EQ(win->CreateMutexA(1, "Other"), nullptr);
  EXPECT_EQ(win->GetLastError(), os::kErrorAccessDenied);
}

TEST(SimSession, FormatMessageAllocatesTheSystemTextAndLocalFreeReleasesIt) {
  sim::ScopedSimWindows win;
  char* text = nullptr;
  os::Dword flags = os::kFormatMessageAllocateBuffer | os::kFormatMessageFromSystem |
                    os::kFormatMessageIgnoreInserts;
  os::Dword length =
      win->FormatMessageA(flags, nullptr, os::kErrorAccessDenied, os::kLangNeutralSubLangDefault,
                          reinterpret_cast<char*>(&text), 0, nullptr);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(text, length), "Access is denied.\r\n");
  EXPECT_EQ(win->session.LiveAllocations(), 1);
  EXPECT_EQ(win->LocalFree(text), nullptr);
  EXPECT_EQ(win->session.LiveAllocations(), 0);
  // Releasing twice fails as LocalFree does.
  EXPECT_EQ(win->LocalFree(text), text);
  EXPECT_EQ(win->GetLastError(), os::kErrorInvalidHandle);
}

TEST(SimSession, FormatMessageFailures) {
  sim::ScopedSimWindows win;
  char* text = nullptr;
  auto* out = reinterpret_cast<char*>(&text);
  os::Dword alloc = os::kFormatMessageAllocateBuffer | os::kFormatMessageFromSystem;
  // No text for the driver loader's own code.
  EXPECT_EQ(win->FormatMessageA(alloc, nullptr, 20480, 0x400, out, 0, nullptr), 0u);
  EXPECT_EQ(win->GetLastError(), 317u);
  EXPECT_EQ(text, nullptr);
  // A text with an insert needs arguments unless inserts are ignored.
  EXPECT_EQ(win->FormatMessageA(alloc, nullptr, 193, 0x400, out, 0, nullptr), 0u);
  EXPECT_NE(win->FormatMessageA(alloc | os::kFormatMessageIgnoreInserts, nullptr, 193, 0x400, out,
                                0, nullptr),
            0u);
  EXPECT_STREQ(text, "%1 is not a valid Win32 application.\r\n");
  win->LocalFree(text);
  // A language the table does not hold.
  EXPECT_EQ(win->FormatMessageA(alloc, nullptr, 5, 0x0407, out, 0, nullptr), 0u);
  EXPECT_EQ(win->GetLastError(), 1815u);
  // A caller's buffer that is too short.
  char small[8];
  EXPECT_EQ(win->FormatMessageA(os::kFormatMessageFromSystem, nullptr, 5, 0x400, small,
                                sizeof small, nullptr),
            0u);
  EXPECT_EQ(win->GetLastError(), os::kErrorInsufficientBuffer);
  char big[64];
  EXPECT_EQ(win->FormatMessageA(os::kFormatMessageFromSystem, nullptr, 5, 0x400, big, sizeof big,
                                nullptr),
            19u);
  EXPECT_STREQ(big, "Access is denied.\r\n");
  EXPECT_EQ(win->session.LiveAllocations(), 0);
}

TEST(SimSession, MessageBoxesAreRecordedAndAnswered) {
  sim::ScopedSimWindows win;
  EXPECT_EQ(win->MessageBoxA(nullptr, "text", "caption", 0x30), os::kIdOk);
  win->session.answer = [](const sim::Session::MessageBoxRecord& box) {
    return box.caption == "Ask" ? 7 : 1;
  };
  EXPECT_EQ(win->MessageBoxA(nullptr, "q", "Ask", 4), 7);
  ASSERT_EQ(win->session.messageBoxes.size(), 2u);
  EXPECT_EQ(win->session.messageBoxes[0].text, "text");
  EXPECT_EQ(win->session.messageBoxes[0].caption, "caption");
  EXPECT_EQ(win->session.messageBoxes[0].type, 0x30u);
}

TEST(SimSession, RegistryOpenCreateSetDeleteClose) {
  sim::ScopedSimWindows win;
  os::HKey key = nullptr;
  const char* sub = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  ASSERT_EQ(win->RegOpenKeyExA(os::kHKeyLocalMachine, sub, 0, os::kKeyAllAccess, &key), 0);
  EXPECT_EQ(win->session.OpenKeyCount(), 1);
  EXPECT_EQ(win->RegSetValueExA(key, "Morvane", 0, os::kRegSz, Bytes("a b"), 4), 0);
  EXPECT_EQ(win->session.StringValue(kRun, "morvane"), "a b");  // names ignore case
  EXPECT_EQ(win->RegSetValueExA(key, "MORVANE", 0, os::kRegSz, Bytes("c"), 2), 0);
  EXPECT_EQ(win->session.ValueCount(kRun), 1);  // replaced, not added
  EXPECT_EQ(win->session.StringValue(kRun, "Morvane"), "c");
  // A size without the NUL stores an unterminated string.
  EXPECT_EQ(win->RegSetValueExA(key, "Short", 0, os::kRegSz, Bytes("xy"), 2), 0);
  EXPECT_EQ(win->session.StringValue(kRun, "Short"), std::nullopt);
  EXPECT_EQ(win->session.Value(kRun, "Short")->data.size(), 2u);
  EXPECT_EQ(win->RegDeleteValueA(key, "Morvane"), 0);
  EXPECT_EQ(win->RegDeleteValueA(key, "Morvane"), static_cast<os::Long>(os::kErrorFileNotFound));
  EXPECT_EQ(win->RegCloseKey(key), 0);
  EXPECT_EQ(win->session.OpenKeyCount(), 0);
  EXPECT_EQ(win->RegCloseKey(key), static_cast<os::Long>(os::kErrorInvalidHandle));
  EXPECT_EQ(win->RegSetValueExA(key, "X", 0, os::kRegSz, Bytes("x"), 2),
            static_cast<os::Long>(os::kErrorInvalidHandle));
}

TEST(SimSession, RegistryMissingKeysAndCreation) {
  sim::ScopedSimWindows win;
  os::HKey key = nullptr;
  EXPECT_EQ(win->RegOpenKeyExA(os::kHKeyLocalMachine, "SOFTWARE\\Nobody", 0, os::kKeyRead, &key),
            static_cast<os::Long>(os::kErrorFileNotFound));
  EXPECT_EQ(win->RegOpenKeyExA(os::kHKeyLocalMachine, "\\SOFTWARE", 0, os::kKeyRead, &key),
            static_cast<os::Long>(os::kErrorBadPathname));
  os::Dword disposition = 0;
  ASSERT_EQ(win->RegCreateKeyExA(os::kHKeyLocalMachine, "SOFTWARE\\A\\B", 0, nullptr,
                                 os::kRegOptionNonVolatile, os::kKeyAllAccess, nullptr, &key,
                                 &disposition),
            0);
  EXPECT_EQ(disposition, os::kRegCreatedNewKey);
  EXPECT_TRUE(win->session.KeyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\A"));
  win->RegCloseKey(key);
  ASSERT_EQ(win->RegCreateKeyExA(os::kHKeyLocalMachine, "software\\a\\b", 0, nullptr, 0,
                                 os::kKeyAllAccess, nullptr, &key, &disposition),
            0);
  EXPECT_EQ(disposition, os::kRegOpenedExistingKey);
  win->RegCloseKey(key);
}

TEST(SimSession, RegistryRefusesWritesWhereTheUserHasNoRights) {
  sim::ScopedSimWindows win;
  win->session.DenyWrites("HKEY_LOCAL_MACHINE");
  os::HKey key = nullptr;
  const char* sub = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  EXPECT_EQ(win->RegOpenKeyExA(os::kHKeyLocalMachine, sub, 0, os::kKeyAllAccess, &key),
            static_cast<os::Long>(os::kErrorAccessDenied));
  EXPECT_EQ(win->RegCreateKeyExA(os::kHKeyLocalMachine, sub, 0, nullptr, 0, os::kKeyAllAccess,
                                 nullptr, &key, nullptr),
            static_cast<os::Long>(os::kErrorAccessDenied));
  EXPECT_EQ(win->RegCreateKeyExA(os::kHKeyLocalMachine, "SOFTWARE\\New", 0, nullptr, 0,
                                 os::kKeyRead, nullptr, &key, nullptr),
            static_cast<os::Long>(os::kErrorAccessDenied));
  // Reading stays allowed, but a key opened for reading takes no values.
  ASSERT_EQ(win->RegOpenKeyExA(os::kHKeyLocalMachine, sub, 0, os::kKeyRead, &key), 0);
  EXPECT_EQ(win->RegSetValueExA(key, "Morvane", 0, os::kRegSz, Bytes("x"), 2),
            static_cast<os::Long>(os::kErrorAccessDenied));
  EXPECT_EQ(win->RegDeleteValueA(key, "Morvane"), static_cast<os::Long>(os::kErrorAccessDenied));
  win->RegCloseKey(key);
  // The user's own hive stays writable.
  EXPECT_EQ(win->RegOpenKeyExA(os::kHKeyCurrentUser, sub, 0, os::kKeyAllAccess, &key), 0);
  win->RegCloseKey(key);
}

TEST(SimSession, InjectedRegistryFailuresReturnTheirCode) {
  sim::ScopedSimWindows win;
  win->FailCall("RegOpenKeyExA", os::kErrorAccessDenied);
  os::HKey key = nullptr;
  EXPECT_EQ(win->RegOpenKeyExA(os::kHKeyLocalMachine, "SOFTWARE", 0, os::kKeyRead, &key),
            static_cast<os::Long>(os::kErrorAccessDenied));
  EXPECT_EQ(win->RegOpenKeyExA(os::kHKeyLocalMachine, "SOFTWARE", 0, os::kKeyRead, &key), 0);
  win->RegCloseKey(key);
}
