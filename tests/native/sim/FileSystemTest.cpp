// Tests of the simulated file system and its Windows calls: path forms, dispositions,
// sharing, read-only files, unwritable folders, moves and the buffer conventions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "sim/SimWindows.h"

namespace {

using sim::ScopedSimWindows;

class FileSystemTest : public ::testing::Test {
 protected:
  ScopedSimWindows win;
  sim::FileSystem& fs = win->fs;

  std::string Full(const char* name) {
    char buffer[600];
    char* filePart = nullptr;
    os::Dword n = win->GetFullPathNameA(name, sizeof buffer, buffer, &filePart);
    return n == 0 ? std::string("<error>") : std::string(buffer, n);
  }
  os::Handle Open(const char* name, os::Dword access, os::Dword share, os::Dword creation,
                  os::Dword flags = os::kFileAttributeNormal) {
    return win->CreateFileA(name, access, share, creation, flags);
  }
  void Write(os::Handle h, const std::string& text) {
    os::Dword written = 0;
    ASSERT_TRUE(win->WriteFile(h, text.data(), static_cast<os::Dword>(text.size()), &written));
    ASSERT_EQ(written, text.size());
  }
};

TEST_F(FileSystemTest, FullPathsFollowWindowsRules) {
  fs.AddFolder("C:\\windows\\system32");
  ASSERT_TRUE(win->SetCurrentDirectoryA("C:\\windows\\system32"));
  // Expected values observed from GetFullPathNameA itself.
  EXPECT_EQ(Full("a\\\\b"), "C:\\windows\\system32\\a\\b");
  EXPECT_EQ(Full("C:\\a\\\\b"), "C:\\a\\b");
  EXPECT_EQ(Full("C:\\\\a"), "C:\\a");
  EXPECT_EQ(Full("C:\\a\\.\\b\\..\\c"), "C:\\a\\c");
  EXPECT_EQ(Full("C:a"), "C:\\windows\\system32\\a");
  EXPECT_EQ(Full("D:a"), "D:\\a");
  EXPECT_EQ(Full("\\x"), "C:\\x");
  EXPECT_EQ(Full("."), "C:\\windows\\system32");
  EXPECT_EQ(Full(".."), "C:\\windows");
  EXPECT_EQ(Full("..\\..\\..\\.."), "C:\\");
  EXPECT_EQ(Full("C:\\a\\b. . "), "C:\\a\\b");
  EXPECT_EQ(Full("C:\\a.\\b"), "C:\\a\\b");
  EXPECT_EQ(Full("C:\\a..\\b"), "C:\\a.\\b");
  EXPECT_EQ(Full("C:\\a \\b"), "C:\\a \\b");
  EXPECT_EQ(Full("\\\\.\\cpuz"), "\\\\.\\cpuz");
  EXPECT_EQ(Full("\\\\srv\\sh\\a\\..\\..\\b"), "\\\\srv\\sh\\b");
  EXPECT_EQ(Full("C:/a//b/"), "C:\\a\\b\\");
  EXPECT_EQ(Full("\"C:\\x.mvn\""), "C:\\windows\\system32\\\"C:\\x.mvn\"");
  EXPECT_EQ(Full("C:\\a\\...\\b"), "C:\\a\\..\\b");
  EXPECT_EQ(Full("a\\...."), "C:\\windows\\system32\\a\\");
  EXPECT_EQ(Full("C:.."), "C:\\windows");
}

// GetShortPathNameA: aliases for long names (capitals on the 9x family), names already 8.3
// kept, a missing file or folder failing as Windows does, and the buffer conventions.
TEST_F(FileSystemTest, ShortPathsOfExistingFilesOnly) {
  fs.AddFile("C:\\Program Files\\Morvane\\cpuz.vxd", "v");
  fs.AddFolder("C:\\Programme Daten");  // the second "PROGRA" stem in name order
  fs.AddFile("C:\\My Documents\\long name.text", "t");
  fs.AddFile("C:\\a+b.txt", "p");
  fs.AddFile("C:\\v1.2.3", "d");
  struct Case {
    const char* path;
    bool nine;           // the 9x family, else NT
    const char* result;  // null: fails with `error`
    os::Dword error;
  } cases[] = {
      {"C:\\Program Files\\Morvane\\cpuz.vxd", true, "C:\\PROGRA~1\\MORVANE\\CPUZ.VXD", 0},
      {"C:\\program files\\morvane\\CPUZ.VXD", true, "C:\\PROGRA~1\\MORVANE\\CPUZ.VXD", 0},
      {"C:\\Program Files\\Morvane\\cpuz.vxd", false, "C:\\PROGRA~1\\Morvane\\cpuz.vxd", 0},
      {"C:\\Programme Daten", true, "C:\\PROGRA~2", 0},
      {"C:\\My Documents\\long name.text", true, "C:\\MYDOCU~1\\LONGNA~1.TEX", 0},
      {"C:\\a+b.txt", true, "C:\\A_B~1.TXT", 0},
      {"C:\\v1.2.3", true, "C:\\V12~1.3", 0},
      {"C:\\WINDOWS", true, "C:\\WINDOWS", 0},
      {"cpuz.vxd", true, "C:\\PROGRA~1\\MORVANE\\CPUZ.VXD", 0},  // from the current folder
      {"C:\\WINDOWS\\cpuz.vxd", true, nullptr, os::kErrorFileNotFound},
      {"C:\\Gone\\cpuz.vxd", true, nullptr, os::kErrorPathNotFound},
      {"C:\\Program Files\\Morvane\\cpuz.vxd", false, "C:\\PROGRA~1\\Morvane\\cpuz.vxd", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    win->machine.SetPlatform(c.nine ? sim::Platform::Windows9x : sim::Platform::Nt32);
    char buffer[300];
    win->SetLastError(0);
    os::Dword n = win->GetShortPathNameA(c.path, buffer, sizeof buffer);
    if (c.result == nullptr) {
      EXPECT_EQ(n, 0u);
      EXPECT_EQ(win->GetLastError(), c.error);
    } else {
      ASSERT_EQ(n, std::strlen(c.result));
      EXPECT_STREQ(buffer, c.result);
    }
  }
  // A short buffer is left alone and the size needed, terminator included, answered.
  char small[8] = "keep";
  win->machine.SetPlatform(sim::Platform::Windows9x);
  EXPECT_EQ(win->GetShortPathNameA("C:\\Program Files", small, sizeof small), 12u);
  EXPECT_STREQ(small, "keep");
  // Short names lead back to the long ones; a long one is no short name.
  EXPECT_EQ(fs.LongPathOfShort("C:\\PROGRA~1\\MORVANE\\CPUZ.VXD"),
            "C:\\Program Files\\Morvane\\cpuz.vxd");
  EXPECT_EQ(fs.LongPathOfShort("C:\\progra~2"), "C:\\Programme Daten");
  EXPECT_EQ(fs.LongPathOfShort("C:\\Program Files\\Morvane\\cpuz.vxd"), "");
  EXPECT_EQ(fs.LongPathOfShort("C:\\PROGRA~3"), "");
}

TEST_F(FileSystemTest, FullPathBufferConventions) {
  char small[5];
  // Too small: the size needed, terminator included; nothing written.
  std::memset(small, 'x', sizeof small);
  EXPECT_EQ(win->GetFullPathNameA("abc", sizeof small, small, nullptr),
            std::strlen("C:\\Program Files\\Morvane\\abc") + 1);
  EXPECT_EQ(small[0], 'x');
  EXPECT_EQ(win->GetFullPathNameA("abc", 0, nullptr, nullptr),
            std::strlen("C:\\Program Files\\Morvane\\abc") + 1);

  char buffer[64];
  char* filePart = nullptr;
  os::Dword n = win->GetFullPathNameA("x.mvn", sizeof buffer, buffer, &filePart);
  EXPECT_EQ(n, std::strlen(buffer));
  EXPECT_STREQ(filePart, "x.mvn");
  win->GetFullPathNameA("C:\\a\\", sizeof buffer, buffer, &filePart);
  EXPECT_EQ(filePart, nullptr);

  EXPECT_EQ(win->GetFullPathNameA("", sizeof buffer, buffer, nullptr), 0u);
  EXPECT_EQ(win->GetLastError(), os::kErrorInvalidName);
  std::string longName(261, 'a');
  EXPECT_EQ(win->GetFullPathNameA(longName.c_str(), sizeof buffer, buffer, nullptr), 0u);
  EXPECT_EQ(win->GetLastError(), os::kErrorFilenameExcedRange);
}

TEST_F(FileSystemTest, FolderQueriesReturnLengthOrNeededSize) {
  char buffer[300];
  const std::string cur = "C:\\Program Files\\Morvane";
  EXPECT_EQ(win->GetCurrentDirectoryA(sizeof buffer, buffer), cur.size());
  EXPECT_EQ(buffer, cur);
  EXPECT_EQ(win->GetCurrentDirectoryA(static_cast<os::Dword>(cur.size()), buffer), cur.size() + 1);
  EXPECT_EQ(win->GetWindowsDirectoryA(buffer, sizeof buffer), 10u);
  EXPECT_STREQ(buffer, "C:\\WINDOWS");
  EXPECT_EQ(win->GetWindowsDirectoryA(buffer, 3), 11u);
  EXPECT_EQ(win->GetTempPathA(sizeof buffer, buffer), 16u);
  EXPECT_STREQ(buffer, "C:\\WINDOWS\\TEMP\\");
  EXPECT_EQ(win->GetTempPathA(16, buffer), 17u);
}

TEST_F(FileSystemTest, ModuleFileNameTruncatesAsTheVersionDoes) {
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(win->GetModuleFileNameA(nullptr, buffer, 5), 5u);
  EXPECT_EQ(win->GetLastError(), os::kErrorInsufficientBuffer);
  EXPECT_STREQ(buffer, "C:\\P");
  fs.moduleFileNameAsXp = true;
  std::memset(buffer, 'x', sizeof buffer);
  win->SetLastError(0);
  EXPECT_EQ(win->GetModuleFileNameA(nullptr, buffer, 5), 5u);
  EXPECT_EQ(std::string(buffer, 6), "C:\\Prx");  // not terminated
  EXPECT_EQ(win->GetLastError(), 0u);
  char full[100];
  EXPECT_EQ(win->GetModuleFileNameA(nullptr, full, sizeof full), fs.moduleFileName.size());
  EXPECT_EQ(full, fs.moduleFileName);
  EXPECT_EQ(win->GetModuleFileNameA(reinterpret_cast<os::HModule>(0x40), full, sizeof full), 0u);
  EXPECT_EQ(win->GetLastError(), os::kErrorModNotFound);
}

TEST_F(FileSystemTest, CurrentDirectoryChangesOnlyToFolders) {
  fs.AddFile("C:\\data\\file.txt", "x");
  EXPECT_FALSE(win->SetCurrentDirectoryA("C:\\nothere"));
  EXPECT_EQ(win->GetLastError(), os::kErrorFileNotFound);
  EXPECT_FALSE(win->SetCurrentDirectoryA("C:\\nothere\\x"));
  EXPECT_EQ(win->GetLastError(), os::kErrorPathNotFound);
  EXPECT_FALSE(win->SetCurrentDirectoryA("C:\\data\\file.txt"));
  EXPECT_EQ(win->GetLastError(), sim::kErrorDirectory);
  EXPECT_TRUE(win->SetCurrentDirectoryA("c:\\DATA\\"));
  EXPECT_EQ(fs.currentDirectory, "c:\\DATA");
  os::Handle h = Open("file.txt", os::kGenericRead, 0, os::kOpenExisting);
  EXPECT_NE(h, os::kInvalidHandle);
  win->CloseHandle(h);
}

TEST_F(FileSystemTest, CreationDispositions) {
  const char* name = "C:\\d\\f.txt";
  fs.AddFolder("C:\\d");
  EXPECT_EQ(Open(name, os::kGenericRead, 0, os::kOpenExisting), os::kInvalidHandle);
  EXPECT_EQ(win->GetLastError(), os::kErrorFileNotFound);
  EXPECT_EQ(Open(name, os::kGenericWrite, 0, os::kTruncateExisting), os::kInvalidHandle);
  EXPECT_EQ(win->GetLastError(), os::kErrorFileNotFound);

  os::Handle h = Open(name, os::kGenericWrite, 0, os::kCreateNew);
  ASSERT_NE(h, os::kInvalidHandle);
  EXPECT_EQ(win->GetLastError(), 0u);
  Write(h, "hello");
  win->CloseHandle(h);
  EXPECT_EQ(fs.Contents(name), "hello");

  EXPECT_EQ(Open(name, os::kGenericWrite, 0, os::kCreateNew), os::kInvalidHandle);
  EXPECT_EQ(win->GetLastError(), os::kErrorFileExists);

  h = Open(name, os::kGenericWrite, 0, os::kOpenAlways);
  EXPECT_EQ(win->GetLastError(), os::kErrorAlreadyExists);
  win->CloseHandle(h);
  EXPECT_EQ(fs.Contents(name), "hello");

  h = Open(name, os::kGenericRead, 0, os::kTruncateExisting);
  EXPECT_EQ(h, os::kInvalidHandle);  // truncation needs write access
  EXPECT_EQ(win->GetLastError(), os::kErrorInvalidParameter);

  h = Open(name, os::kGenericWrite, 0, os::kCreateAlways);
  EXPECT_EQ(win->GetLastError(), os::kErrorAlreadyExists);
  win->CloseHandle(h);
  EXPECT_EQ(fs.Contents(name), "");
  EXPECT_TRUE(fs.Exists(name));

  h = Open("C:\\d\\new.txt", os::kGenericWrite, 0, os::kOpenAlways);
  EXPECT_EQ(win->GetLastError(), 0u);
  win->CloseHandle(h);

  EXPECT_EQ(Open(name, os::kGenericWrite, 0, 0), os::kInvalidHandle);
  EXPECT_EQ(win->GetLastError(), os::kErrorInvalidParameter);
  EXPECT_EQ(win->OpenHandleCount(sim::HandleKind::File), 0);
}

TEST_F(FileSystemTest, NamesAndFoldersThatCannotBeOpened) {
  fs.AddFile("C:\\d\\f.txt", "x");
  struct Case {
    const char* name;
    os::Dword creation;
    os::Dword error;
  } cases[] = {
      {"C:\\nothere\\f.txt", os::kCreateAlways, os::kErrorPathNotFound},
      {"C:\\d\\f.txt\\a", os::kCreateAlways, os::kErrorPathNotFound},  // a file as a folder
      {"C:\\d", os::kOpenExisting, os::kErrorAccessDenied},            // a folder
      {"C:\\d\\f.txt\\", os::kOpenExisting, os::kErrorInvalidName},
      {"C:\\d\\a\"b", os::kCreateAlways, os::kErrorInvalidName},
      {"C:\\d\\a*b", os::kCreateAlways, os::kErrorInvalidName},
      {"C:\\d\\a|b", os::kCreateAlways, os::kErrorInvalidName},
      {"C:\\d\\a:b", os::kCreateAlways, os::kErrorInvalidName},
      {"C:\\d\\a\tb", os::kCreateAlways, os::kErrorInvalidName},
      {"", os::kOpenExisting, os::kErrorPathNotFound},
      {"Q:\\f.txt", os::kCreateAlways, os::kErrorPathNotFound},  // no such drive
      {"\\\\srv\\share\\f.txt", os::kCreateAlways, sim::kErrorBadNetPath},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Open(c.name, os::kGenericWrite, 0, c.creation), os::kInvalidHandle);
    EXPECT_EQ(win->GetLastError(), c.error);
  }
  EXPECT_EQ(win->CreateFileA(nullptr, os::kGenericRead, 0, os::kOpenExisting, 0),
            os::kInvalidHandle);
  EXPECT_EQ(win->GetLastError(), os::kErrorPathNotFound);

  // Names too long for MAX_PATH, given whole or made long by the current directory.
  std::string longName = "C:\\d\\" + std::string(255, 'b');
  EXPECT_EQ(Open(longName.c_str(), os::kGenericWrite, 0, os::kCreateAlways), os::kInvalidHandle);
  EXPECT_EQ(win->GetLastError(), os::kErrorFilenameExcedRange);
  EXPECT_EQ(Open(("C:\\" + std::string(256, 'c')).c_str(), os::kGenericWrite, 0, os::kCreateAlways),
            os::kInvalidHandle);
  EXPECT_EQ(win->GetLastError(), os::kErrorInvalidName);  // one name over 255 characters
  std::string component(250, 'c');
  EXPECT_EQ(Open(component.c_str(), os::kGenericWrite, 0, os::kCreateAlways), os::kInvalidHandle);
  EXPECT_EQ(win->GetLastError(), os::kErrorFilenameExcedRange);

  // Trailing blanks and dots are not part of a name.
  os::Handle h = Open("C:\\d\\f.txt  ", os::kGenericRead, 0, os::kOpenExisting);
  EXPECT_NE(h, os::kInvalidHandle);
  win->CloseHandle(h);
  h = Open("c:\\D\\F.TXT", os::kGenericRead, 0, os::kOpenExisting);
  EXPECT_NE(h, os::kInvalidHandle);
  win->CloseHandle(h);
}

TEST_F(FileSystemTest, ReadOnlyFilesAndUnwritableFolders) {
  fs.AddFile("C:\\d\\ro.txt", "old", os::kFileAttributeReadonly);
  fs.AddFile("C:\\d\\rw.txt", "old");
  for (os::Dword creation : {os::kOpenExisting, os::kOpenAlways, os::kCreateAlways}) {
    EXPECT_EQ(Open("C:\\d\\ro.txt", os::kGenericWrite, 0, creation), os::kInvalidHandle);
    EXPECT_EQ(win->GetLastError(), os::kErrorAccessDenied);
  }
  EXPECT_EQ(Open("C:\\d\\ro.txt", os::kGenericRead, 0, os::kCreateAlways), os::kInvalidHandle);
  os::Handle h = Open("C:\\d\\ro.txt", os::kGenericRead, 0, os::kOpenExisting);
  EXPECT_NE(h, os::kInvalidHandle);
  win->CloseHandle(h);
  EXPECT_FALSE(win->DeleteFileA("C:\\d\\ro.txt"));
  EXPECT_EQ(win->GetLastError(), os::kErrorAccessDenied);
  EXPECT_EQ(fs.Contents("C:\\d\\ro.txt"), "old");

  fs.SetFolderWritable("C:\\d", false);
  EXPECT_EQ(Open("C:\\d\\new.txt", os::kGenericWrite, 0, os::kCreateAlways), os::kInvalidHandle);
  EXPECT_EQ(win->GetLastError(), os::kErrorAccessDenied);
  EXPECT_FALSE(win->DeleteFileA("C:\\d\\rw.txt"));
  EXPECT_EQ(win->GetLastError(), os::kErrorAccessDenied);
  EXPECT_FALSE(win->MoveFileExA("C:\\d\\rw.txt", "C:\\d\\x.txt", 0));
  EXPECT_EQ(win->GetLastError(), os::kErrorAccessDenied);
  fs.AddFile("C:\\e\\in.txt", "new");
  EXPECT_FALSE(win->MoveFileExA("C:\\e\\in.txt", "C:\\d\\rw.txt", os::kMovefileReplaceExisting));
  EXPECT_EQ(win->GetLastError(), os::kErrorAccessDenied);
  // An existing file in it may still be rewritten.
  h = Open("C:\\d\\rw.txt", os::kGenericWrite, 0, os::kCreateAlways);
  ASSERT_NE(h, os::kInvalidHandle);
  Write(h, "new");
  win->CloseHandle(h);
  EXPECT_EQ(fs.Contents("C:\\d\\rw.txt"), "new");
  EXPECT_EQ(fs.List("C:\\d"), (std::vector<std::string>{"ro.txt", "rw.txt"}));
}

TEST_F(FileSystemTest, HiddenAttributeIsKeptAndMustBeRepeatedToOverwrite) {
  os::Handle h =
      Open("C:\\d.txt", os::kGenericWrite, 0, os::kCreateAlways, os::kFileAttributeHidden);
  ASSERT_NE(h, os::kInvalidHandle);
  win->CloseHandle(h);
  EXPECT_EQ(win->GetFileAttributesA("C:\\d.txt"),
            os::kFileAttributeHidden | sim::kFileAttributeArchive);
  EXPECT_EQ(Open("C:\\d.txt", os::kGenericWrite, 0, os::kCreateAlways), os::kInvalidHandle);
  EXPECT_EQ(win->GetLastError(), os::kErrorAccessDenied);
  h = Open("C:\\d.txt", os::kGenericWrite, 0, os::kCreateAlways, os::kFileAttributeHidden);
  EXPECT_NE(h, os::kInvalidHandle);
  win->CloseHandle(h);
  h = Open("C:\\d.txt", os::kGenericWrite, 0, os::kOpenExisting);  // no overwrite: no rule
  EXPECT_NE(h, os::kInvalidHandle);
  win->CloseHandle(h);
}

TEST_F(FileSystemTest, SharingConflictsWithOpenHandles) {
  fs.AddFile("C:\\f.txt", "data");
  os::Handle reader = Open("C:\\f.txt", os::kGenericRead, os::kFileShareRead, os::kOpenExisting);
  ASSERT_NE(reader, os::kInvalidHandle);
  // The first handle shares reading only.
  EXPECT_EQ(Open("C:\\f.txt", os::kGenericWrite, os::kFileShareRead | os::kFileShareWrite,
                 os::kOpenExisting),
            os::kInvalidHandle);
  EXPECT_EQ(win->GetLastError(), os::kErrorSharingViolation);
  // The second must share the first one's reading.
  EXPECT_EQ(Open("C:\\f.txt", os::kGenericRead, 0, os::kOpenExisting), os::kInvalidHandle);
  EXPECT_EQ(win->GetLastError(), os::kErrorSharingViolation);
  os::Handle second = Open("C:\\f.txt", os::kGenericRead, os::kFileShareRead, os::kOpenExisting);
  EXPECT_NE(second, os::kInvalidHandle);
  // Handles without data access never conflict.
  os::Handle query = Open("C:\\f.txt", 0, 0, os::kOpenExisting);
  EXPECT_NE(query, os::kInvalidHandle);
  EXPECT_FALSE(win->DeleteFileA("C:\\f.txt"));
  EXPECT_EQ(win->GetLastError(), os::kErrorSharingViolation);
  EXPECT_FALSE(win->MoveFileExA("C:\\f.txt", "C:\\g.txt", 0));
  EXPECT_EQ(win->GetLastError(), os::kErrorSharingViolation);
  EXPECT_EQ(fs.OpenCount("C:\\f.txt"), 3);
  for (os::Handle h : {reader, second, query}) EXPECT_TRUE(win->CloseHandle(h));
  EXPECT_FALSE(win->CloseHandle(reader));
  EXPECT_EQ(win->GetLastError(), os::kErrorInvalidHandle);
  EXPECT_TRUE(win->DeleteFileA("C:\\f.txt"));
}

TEST_F(FileSystemTest, DeletePendingUntilTheLastHandleCloses) {
  os::Handle h = Open("C:\\p.txt", os::kGenericWrite, os::kFileShareDelete, os::kCreateAlways);
  Write(h, "abc");
  EXPECT_TRUE(win->DeleteFileA("C:\\p.txt"));
  EXPECT_TRUE(fs.Exists("C:\\p.txt"));
  EXPECT_EQ(Open("C:\\p.txt", os::kGenericRead, 7, os::kOpenExisting), os::kInvalidHandle);
  EXPECT_EQ(win->GetLastError(), os::kErrorAccessDenied);
  Write(h, "def");  // the handle still works
  win->CloseHandle(h);
  EXPECT_FALSE(fs.Exists("C:\\p.txt"));

  h = Open("C:\\t.tmp", os::kGenericWrite, 0, os::kCreateNew, os::kFileFlagDeleteOnClose);
  ASSERT_NE(h, os::kInvalidHandle);
  EXPECT_TRUE(fs.Exists("C:\\t.tmp"));
  win->CloseHandle(h);
  EXPECT_FALSE(fs.Exists("C:\\t.tmp"));
  EXPECT_EQ(fs.UsedBytes(), 0u);
}

TEST_F(FileSystemTest, ReadWriteSeekAndSize) {
  os::Handle h = Open("C:\\f.bin", os::kGenericRead | os::kGenericWrite, 0, os::kCreateAlways);
  Write(h, "0123456789");
  EXPECT_EQ(win->SetFilePointer(h, 2, nullptr, os::kFileBegin), 2u);
  char buffer[16] = {};
  os::Dword read = 99;
  ASSERT_TRUE(win->ReadFile(h, buffer, 4, &read));
  EXPECT_EQ(std::string(buffer, read), "2345");
  EXPECT_EQ(win->SetFilePointer(h, -1, nullptr, os::kFileEnd), 9u);
  ASSERT_TRUE(win->ReadFile(h, buffer, 16, &read));
  EXPECT_EQ(std::string(buffer, read), "9");
  ASSERT_TRUE(win->ReadFile(h, buffer, 16, &read));  // at the end: success, nothing read
  EXPECT_EQ(read, 0u);

  EXPECT_EQ(win->SetFilePointer(h, -20, nullptr, os::kFileCurrent), os::kInvalidSetFilePointer);
  EXPECT_EQ(win->GetLastError(), sim::kErrorNegativeSeek);
  EXPECT_EQ(win->SetFilePointer(h, 0, nullptr, 7), os::kInvalidSetFilePointer);
  EXPECT_EQ(win->GetLastError(), os::kErrorInvalidParameter);

  // Writing beyond the end fills the gap with zeros.
  EXPECT_EQ(win->SetFilePointer(h, 12, nullptr, os::kFileBegin), 12u);
  Write(h, "x");
  os::Dword high = 7;
  EXPECT_EQ(win->GetFileSize(h, &high), 13u);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(fs.Contents("C:\\f.bin"), std::string("0123456789\0\0x", 13));

  os::Long distanceHigh = 1;
  EXPECT_EQ(win->SetFilePointer(h, 0, &distanceHigh, os::kFileBegin), 0u);  // 4 GiB
  EXPECT_EQ(distanceHigh, 1);
  EXPECT_FALSE(win->WriteFile(h, "y", 1, nullptr));  // beyond the disk
  EXPECT_EQ(win->GetLastError(), os::kErrorDiskFull);
  EXPECT_TRUE(win->FlushFileBuffers(h));
  win->CloseHandle(h);

  h = Open("C:\\f.bin", os::kGenericRead, 0, os::kOpenExisting);
  os::Dword written = 5;
  EXPECT_FALSE(win->WriteFile(h, "z", 1, &written));
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(win->GetLastError(), os::kErrorAccessDenied);
  EXPECT_FALSE(win->FlushFileBuffers(h));
  EXPECT_EQ(win->GetLastError(), os::kErrorAccessDenied);
  win->CloseHandle(h);
  h = Open("C:\\f.bin", os::kGenericWrite, 0, os::kOpenExisting);
  EXPECT_FALSE(win->ReadFile(h, buffer, 1, &read));
  EXPECT_EQ(win->GetLastError(), os::kErrorAccessDenied);
  win->CloseHandle(h);

  for (os::Handle bad : {os::Handle{nullptr}, os::kInvalidHandle, h}) {
    EXPECT_FALSE(win->ReadFile(bad, buffer, 1, &read));
    EXPECT_EQ(win->GetLastError(), os::kErrorInvalidHandle);
    EXPECT_EQ(win->GetFileSize(bad, nullptr), 0xFFFFFFFFu);
    EXPECT_EQ(win->SetFilePointer(bad, 0, nullptr, os::kFileBegin), os::kInvalidSetFilePointer);
    EXPECT_FALSE(win->FlushFileBuffers(bad));
  }
}

TEST_F(FileSystemTest, DiskFullWritesNothing) {
  fs.capacity = 8;
  os::Handle h = Open("C:\\f.bin", os::kGenericWrite, 0, os::kCreateAlways);
  Write(h, "12345");
  os::Dword written = 9;
  EXPECT_FALSE(win->WriteFile(h, "6789", 4, &written));
  EXPECT_EQ(win->GetLastError(), os::kErrorDiskFull);
  EXPECT_EQ(written, 0u);
  win->CloseHandle(h);
  EXPECT_EQ(fs.Contents("C:\\f.bin"), "12345");
}

TEST_F(FileSystemTest, MovesAndReplacements) {
  fs.AddFile("C:\\d\\new.tmp", "new", os::kFileAttributeHidden);
  fs.AddFile("C:\\d\\file.mvn", "old");
  EXPECT_FALSE(win->MoveFileExA("C:\\d\\new.tmp", "C:\\d\\file.mvn", 0));
  EXPECT_EQ(win->GetLastError(), os::kErrorAlreadyExists);
  EXPECT_FALSE(win->MoveFileA("C:\\d\\new.tmp", "C:\\d\\file.mvn"));
  EXPECT_EQ(win->GetLastError(), os::kErrorAlreadyExists);

  fs.SetReadOnly("C:\\d\\file.mvn", true);
  EXPECT_FALSE(win->MoveFileExA("C:\\d\\new.tmp", "C:\\d\\file.mvn", os::kMovefileReplaceExisting));
  EXPECT_EQ(win->GetLastError(), os::kErrorAccessDenied);
  fs.SetReadOnly("C:\\d\\file.mvn", false);

  os::Handle h = Open("C:\\d\\file.mvn", os::kGenericRead, 7, os::kOpenExisting);
  EXPECT_FALSE(win->MoveFileExA("C:\\d\\new.tmp", "C:\\d\\file.mvn", os::kMovefileReplaceExisting));
  EXPECT_EQ(win->GetLastError(), os::kErrorAccessDenied);  // the target is open
  win->CloseHandle(h);

  EXPECT_TRUE(win->MoveFileExA("C:\\d\\new.tmp", "c:\\d\\FILE.mvn",
                               os::kMovefileReplaceExisting | os::kMovefileWriteThrough));
  EXPECT_EQ(fs.Contents("C:\\d\\file.mvn"), "new");
  EXPECT_FALSE(fs.Exists("C:\\d\\new.tmp"));
  EXPECT_EQ(fs.List("C:\\d"), std::vector<std::string>{"FILE.mvn"});
  EXPECT_EQ(fs.Attributes("C:\\d\\file.mvn"), os::kFileAttributeHidden);  // the source's

  EXPECT_FALSE(win->MoveFileExA("C:\\d\\none", "C:\\d\\x", 0));
  EXPECT_EQ(win->GetLastError(), os::kErrorFileNotFound);
  EXPECT_FALSE(win->MoveFileExA("C:\\none\\a", "C:\\d\\x", 0));
  EXPECT_EQ(win->GetLastError(), os::kErrorPathNotFound);
  EXPECT_FALSE(win->MoveFileExA("C:\\d\\file.mvn", "C:\\none\\x", 0));
  EXPECT_EQ(win->GetLastError(), os::kErrorPathNotFound);
  EXPECT_FALSE(win->MoveFileExA("C:\\d\\file.mvn", nullptr, 0));
  EXPECT_EQ(win->GetLastError(), os::kErrorInvalidParameter);

  // Other drives need the copy flag; MoveFileA has it.
  fs.AddFolder("D:\\");
  EXPECT_FALSE(win->MoveFileExA("C:\\d\\file.mvn", "D:\\file.mvn", 0));
  EXPECT_EQ(win->GetLastError(), sim::kErrorNotSameDevice);
  EXPECT_TRUE(win->MoveFileA("C:\\d\\file.mvn", "D:\\file.mvn"));
  EXPECT_EQ(fs.Contents("D:\\file.mvn"), "new");

  // Folders move with everything in them.
  fs.AddFile("C:\\a\\b\\c.txt", "c");
  EXPECT_TRUE(win->MoveFileExA("C:\\a", "C:\\z", 0));
  EXPECT_EQ(fs.Contents("C:\\z\\b\\c.txt"), "c");
  EXPECT_FALSE(fs.Exists("C:\\a\\b"));
  EXPECT_FALSE(win->MoveFileExA("C:\\z", "C:\\z\\b\\in", 0));
}

TEST_F(FileSystemTest, AttributesAndDeletion) {
  fs.AddFile("C:\\d\\f.txt", "x");
  EXPECT_EQ(win->GetFileAttributesA("C:\\d\\f.txt"), os::kFileAttributeNormal);
  EXPECT_EQ(win->GetFileAttributesA("C:\\d\\"), os::kFileAttributeDirectory);
  EXPECT_EQ(win->GetFileAttributesA("C:\\d\\none"), os::kInvalidFileAttributes);
  EXPECT_EQ(win->GetLastError(), os::kErrorFileNotFound);
  EXPECT_EQ(win->GetFileAttributesA("C:\\none\\none"), os::kInvalidFileAttributes);
  EXPECT_EQ(win->GetLastError(), os::kErrorPathNotFound);

  EXPECT_FALSE(win->DeleteFileA("C:\\d"));
  EXPECT_EQ(win->GetLastError(), os::kErrorAccessDenied);
  EXPECT_FALSE(win->DeleteFileA("C:\\d\\none"));
  EXPECT_EQ(win->GetLastError(), os::kErrorFileNotFound);
  EXPECT_FALSE(win->DeleteFileA("C:\\none\\none"));
  EXPECT_EQ(win->GetLastError(), os::kErrorPathNotFound);
  EXPECT_TRUE(win->DeleteFileA("c:\\d\\F.TXT"));
  EXPECT_FALSE(fs.Exists("C:\\d\\f.txt"));
}

TEST_F(FileSystemTest, DevicesGoToTheMachineAndFailuresAreInjected) {
  EXPECT_EQ(Open("\\\\.\\cpuz", os::kGenericRead | os::kGenericWrite, 0, os::kOpenExisting),
            os::kInvalidHandle);
  EXPECT_EQ(win->GetLastError(), os::kErrorFileNotFound);  // no driver is running
  EXPECT_EQ(win->OpenHandleCount(sim::HandleKind::File), 0);

  win->FailCall("WriteFile", os::kErrorDiskFull, 1);
  os::Handle h = Open("C:\\f.txt", os::kGenericWrite, 0, os::kCreateAlways);
  Write(h, "a");
  os::Dword written = 3;
  EXPECT_FALSE(win->WriteFile(h, "b", 1, &written));
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(win->GetLastError(), os::kErrorDiskFull);
  Write(h, "c");
  win->CloseHandle(h);
  EXPECT_EQ(fs.Contents("C:\\f.txt"), "ac");
  EXPECT_EQ(win->CallCount("WriteFile"), 3);

  for (const char* call : {"CreateFileA", "DeleteFileA", "MoveFileExA", "GetFullPathNameA",
                           "GetCurrentDirectoryA", "GetFileAttributesA"}) {
    win->FailCall(call, os::kErrorGenFailure);
  }
  char buffer[300];
  EXPECT_EQ(Open("C:\\f.txt", os::kGenericRead, 0, os::kOpenExisting), os::kInvalidHandle);
  EXPECT_FALSE(win->DeleteFileA("C:\\f.txt"));
  EXPECT_FALSE(win->MoveFileExA("C:\\f.txt", "C:\\g.txt", 0));
  EXPECT_EQ(win->GetFullPathNameA("x", sizeof buffer, buffer, nullptr), 0u);
  EXPECT_EQ(win->GetCurrentDirectoryA(sizeof buffer, buffer), 0u);
  EXPECT_EQ(win->GetFileAttributesA("C:\\f.txt"), os::kInvalidFileAttributes);
  EXPECT_EQ(win->GetLastError(), os::kErrorGenFailure);
  EXPECT_TRUE(fs.Exists("C:\\f.txt"));
}

TEST_F(FileSystemTest, SetUpHelpers) {
  fs.AddFile("C:\\x\\y\\z.txt", "z");
  EXPECT_TRUE(fs.Exists("C:\\x\\y"));
  EXPECT_EQ(fs.Attributes("C:\\x"), os::kFileAttributeDirectory);
  fs.AddFile("C:\\x\\y\\z.txt", "again");
  EXPECT_EQ(fs.Contents("c:\\x\\Y\\z.txt"), "again");
  fs.Remove("C:\\x");
  EXPECT_FALSE(fs.Exists("C:\\x\\y\\z.txt"));
  EXPECT_FALSE(fs.Exists("C:\\x"));
  EXPECT_TRUE(fs.Exists("C:\\WINDOWS\\TEMP"));
  EXPECT_TRUE(fs.Exists("C:\\Program Files\\Morvane"));
}

}  // namespace

namespace {

// ReplaceFileA whole and stopped halfway, with and without a backup name, as the system
// leaves the two files in each case.
TEST_F(FileSystemTest, ReplacementsWholeAndStoppedHalfway) {
  struct Case {
    os::Dword stop;
    bool backup;
    std::vector<std::string> names;  // what the folder holds afterwards
    const char* atName;              // the data under file.mvn ("" when absent)
  };
  const Case cases[] = {
      {0, false, {"file.mvn"}, "new"},
      {0, true, {"file.mvn", "file.old"}, "new"},
      {os::kErrorUnableToMoveReplacement, false, {"new.tmp"}, ""},
      {os::kErrorUnableToMoveReplacement, true, {"file.mvn", "new.tmp"}, "old"},
      {os::kErrorUnableToMoveReplacement2, false, {"new.tmp", "~RF*.TMP"}, ""},
      {os::kErrorUnableToMoveReplacement2, true, {"file.old", "new.tmp"}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.stop) + (c.backup ? " with a backup" : " without"));
    fs.Remove("C:\\d");
    fs.AddFile("C:\\d\\file.mvn", "old", os::kFileAttributeHidden);
    fs.AddFile("C:\\d\\new.tmp", "new");
    fs.replaceStopsWith = c.stop;
    os::Bool ok = win->ReplaceFileA("C:\\d\\file.mvn", "C:\\d\\new.tmp",
                                    c.backup ? "C:\\d\\file.old" : nullptr, 0);
    EXPECT_EQ(ok != 0, c.stop == 0);
    if (c.stop != 0) {
      EXPECT_EQ(win->GetLastError(), c.stop);
    }
    std::vector<std::string> names = fs.List("C:\\d");
    for (std::string& name : names) {
      if (name.rfind("~RF", 0) == 0 && name.size() > 7 && name.substr(name.size() - 4) == ".TMP") {
        name = "~RF*.TMP";  // a name of the system's own choosing
      }
    }
    EXPECT_EQ(names, c.names);
    EXPECT_EQ(fs.Contents("C:\\d\\file.mvn"), c.atName);
    if (c.backup && c.stop != os::kErrorUnableToMoveReplacement) {
      EXPECT_EQ(fs.Contents("C:\\d\\file.old"), "old");
    }
    // The new data has taken the old file's attributes wherever it went.
    std::string at = c.stop == 0 ? "C:\\d\\file.mvn" : "C:\\d\\new.tmp";
    if (!(c.stop == os::kErrorUnableToMoveReplacement && c.backup)) {
      EXPECT_EQ(fs.Attributes(at), os::kFileAttributeHidden);
    }
    EXPECT_EQ(fs.replaceStopsWith, 0u);
  }
}

}  // namespace
