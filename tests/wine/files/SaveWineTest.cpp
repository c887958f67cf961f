// Register-file saves through the real Windows, run under Wine: a file another process holds
// open for a moment is waited for, a hidden file stays hidden, and a UTF-16 file with sections
// of the user's own stays UTF-16 with its byte-order mark, every key readable by the system's
// own profile functions before and after.
//
// Started as "mvn_files_save_test --hold PATH MILLISECONDS EVENT", it is that other process:
// it opens PATH (sharing reading only), signals EVENT and closes the file after the time.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "files/RegisterFile.h"
#include "os/Api.h"
#include "os/win32/WinApi.h"
#include "regs/Codec.h"
#include "regs/Tables.h"

namespace {

std::string ReadBytes(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<absent>";
  std::string data;
  char chunk[4096];
  DWORD read = 0;
  while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read != 0) data.append(chunk, read);
  CloseHandle(file);
  return data;
}

bool WriteBytes(const std::string& path, const std::string& bytes, DWORD attributes) {
  HANDLE file =
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
  return CloseHandle(file) && ok;
}

std::vector<std::string> List(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return names;
}

// UTF-16 LE with its byte-order mark, from ASCII text and explicit UTF-16 units.
std::string Utf16(const std::u16string& text) {
  std::string out = "\xFF\xFE";
  for (char16_t unit : text) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
  }
  return out;
}
std::u16string Ascii16(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

std::vector<std::uint32_t> Codes() {
  std::vector<std::uint32_t> codes;
  for (const RegisterField& field : AllFields()) codes.push_back(FieldCode(field));
  return codes;
}

void Fill(std::uint32_t seed) {
  for (PciRegister& reg : Registers) reg.value = 0;
  for (const RegisterField& field : AllFields()) {
    auto index = static_cast<std::uint32_t>(&field - Fields);
    SetFieldCode(field, (index * 5 + seed) % (1u << field.width));
  }
}

// Every field's code as the system's profile reader sees the file, "-" for a key it lacks.
std::vector<std::string> SystemReads(const std::string& path) {
  std::vector<std::string> values;
  for (const RegisterField& field : AllFields()) {
    char value[64];
    const char* section = &field - Fields < 25 ? "DRAM" : "LINK";
    GetPrivateProfileStringA(section, field.key, "-", value, sizeof value, path.c_str());
    values.emplace_back(value);
  }
  return values;
}
std::vector<std::string> AsText(const std::vector<std::uint32_t>& codes) {
  std::vector<std::string> text;
  for (std::uint32_t code : codes) text.push_back(std::to_string(code));
  return text;
}

class SaveWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    os::Install(&os::RealWindows());
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
    dir_ = std::string(temp) + "mvn-save-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir_.c_str(), nullptr);
    file_ = dir_ + "\\regs.mvn";
  }
  void TearDown() override {
    for (const std::string& name : List(dir_)) {
      std::string path = dir_ + "\\" + name;
      SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(path.c_str());
    }
    RemoveDirectoryA(dir_.c_str());
  }

  // Starts another process holding the file open for `milliseconds`; returns once it holds it.
  HANDLE HoldInAnotherProcess(int milliseconds) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string event = "mvn-save-hold-" + std::to_string(GetCurrentProcessId());
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, event.c_str());
    std::string command = std::string("\"") + self + "\" --hold \"" + file_ + "\" " +
                          std::to_string(milliseconds) + " " + event;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
      CloseHandle(ready);
      return nullptr;
    }
    CloseHandle(process.hThread);
    HANDLE both[2] = {ready, process.hProcess};
    DWORD which = WaitForMultipleObjects(2, both, FALSE, 60000);
    CloseHandle(ready);
    if (which != WAIT_OBJECT_0) {
      CloseHandle(process.hProcess);
      return nullptr;
    }
    return process.hProcess;
  }

  std::string dir_;
  std::string file_;
};

// Held for a moment (shorter than the save's wait of about a second): the save succeeds.
// Held for longer: "Save Error", and the old file whole with nothing left beside it.
TEST_F(SaveWineTest, AFileHeldOpenByAnotherProcessForAMoment) {
  const std::string old = "[DRAM]\r\nTcl=1\r\n";
  ASSERT_TRUE(WriteBytes(file_, old, FILE_ATTRIBUTE_NORMAL));
  HANDLE holder = HoldInAnotherProcess(250);
  ASSERT_NE(holder, nullptr);
  // The save starts while the other process holds the file.
  Fill(4);
  std::vector<std::uint32_t> saved = Codes();
  ASSERT_TRUE(SaveRegisterFile(file_));
  WaitForSingleObject(holder, 60000);
  CloseHandle(holder);
  Fill(9);
  ASSERT_TRUE(LoadRegisterFile(file_));
  EXPECT_EQ(Codes(), saved);
  EXPECT_EQ(List(dir_), std::vector<std::string>{"regs.mvn"});

  const std::string before = ReadBytes(file_);
  holder = HoldInAnotherProcess(8000);
  ASSERT_NE(holder, nullptr);
  // While it is held, the system will not open it for replacing.
  HANDLE probe =
      CreateFileA(file_.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(probe, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
  Fill(2);
  EXPECT_FALSE(SaveRegisterFile(file_));
  EXPECT_EQ(ReadBytes(file_), before);
  EXPECT_EQ(List(dir_), std::vector<std::string>{"regs.mvn"});
  TerminateProcess(holder, 0);
  WaitForSingleObject(holder, 60000);
  CloseHandle(holder);
}

TEST_F(SaveWineTest, AHiddenFileStaysHidden) {
  ASSERT_TRUE(WriteBytes(file_, "; mine\r\n[DRAM]\r\nTcl=1\r\n", FILE_ATTRIBUTE_HIDDEN));
  Fill(6);
  ASSERT_TRUE(SaveRegisterFile(file_));
  DWORD attributes = GetFileAttributesA(file_.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(attributes & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(ReadBytes(file_).substr(0, 8), "; mine\r\n");
  EXPECT_EQ(SystemReads(file_), AsText(Codes()));
}

// Saved by hand in Notepad as "Unicode", with sections of the user's own.
TEST_F(SaveWineTest, AUtf16FileWithTheUsersOwnSections) {
  Fill(3);
  std::u16string dram = u"[DRAM]\r\n", link = u"[LINK]\r\n";
  for (const RegisterField& field : AllFields()) {
    std::u16string& section = &field - Fields < 25 ? dram : link;
    section += Ascii16(std::string(field.key) + "=" + std::to_string(FieldCode(field)) + "\r\n");
  }
  const std::u16string mine = u"; r\u00E9glages \u2603\r\n[Mine]\r\nname=\u6F22\u5B57\r\n";
  const std::u16string theirs = u"[Theirs]\r\nx=\u00E9\r\n";
  ASSERT_TRUE(WriteBytes(file_, Utf16(mine + dram + theirs + link), FILE_ATTRIBUTE_NORMAL));
  const std::vector<std::string> written = AsText(Codes());
  // The system reads every key; so does the program.
  ASSERT_EQ(SystemReads(file_), written);
  Fill(1);
  ASSERT_TRUE(LoadRegisterFile(file_));
  EXPECT_EQ(AsText(Codes()), written);

  Fill(7);
  ASSERT_TRUE(SaveDramSection(file_) && SaveLinkSection(file_));
  const std::string bytes = ReadBytes(file_);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(bytes.substr(0, Utf16(mine).size()), Utf16(mine));
  EXPECT_NE(bytes.find(Utf16(theirs).substr(2)), std::string::npos);
  EXPECT_EQ(SystemReads(file_), AsText(Codes()));
  char other[32];
  GetPrivateProfileStringA("Theirs", "x", "-", other, sizeof other, file_.c_str());
  EXPECT_STRNE(other, "-");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--hold") == 0) {
    HANDLE file =
        CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[4]);
    if (file == INVALID_HANDLE_VALUE || ready == nullptr) return 1;
    SetEvent(ready);
    Sleep(static_cast<DWORD>(std::atoi(argv[3])));
    CloseHandle(file);
    return 0;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
