// The log-on registration only from a place no other user can change: the access lists of
// real installations (XP's and Vista's defaults of a folder made under C:\, Program Files),
// owners, network drives and volumes without access lists, over the simulated Windows; a
// silent start from such a place writes nothing; the descriptor reader against damaged bytes.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/Startup.h"
#include "files/SafePlace.h"
#include "files/StartupSettings.h"
#include "hw/driver/Protocol.h"
#include "sim/Northbridge.h"
#include "tests/native/hw/DriverFixture.h"

namespace {

using sim::Ace;
using sim::Security;

constexpr char kRun[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

enum class Windows { Xp, Seven, Ninety8 };

struct Place {
  const char* what;
  Windows windows;
  const char* folder;  // the program's folder, made after `arrange`
  std::function<void(sim::SimWindows&)> arrange;
  const char* exposed;  // what the refusal names; null: it registers
};

void Use(sim::SimWindows& win, Windows windows) {
  win.machine.SetPlatform(windows == Windows::Xp      ? sim::Platform::Nt32
                          : windows == Windows::Seven ? sim::Platform::Nt64
                                                      : sim::Platform::Windows9x);
}

TEST(SafePlace, TheLogonRegistrationOnlyFromAPlaceOnlyAdministratorsCanChange) {
  const Place places[] = {
      {"XP: a folder made under C:\\", Windows::Xp, "C:\\Morvane",
       [](sim::SimWindows& w) { w.fs.SetSecurity("C:\\", sim::XpRootDefault()); }, "C:\\Morvane"},
      {"Vista and later: a folder made under C:\\", Windows::Seven, "C:\\Morvane",
       [](sim::SimWindows& w) { w.fs.SetSecurity("C:\\", sim::VistaRootDefault()); },
       "C:\\Morvane"},
      {"Vista and later: Program Files", Windows::Seven, "C:\\Program Files\\Morvane",
       [](sim::SimWindows& w) {
         w.fs.SetSecurity("C:\\", sim::VistaRootDefault());
         w.fs.AddFolder("C:\\Program Files");
         w.fs.SetSecurity("C:\\Program Files", sim::ProgramFilesDefault());
         w.fs.Reinherit("C:\\Program Files\\Morvane");
       },
       nullptr},
      {"XP: Program Files, which Power Users may modify", Windows::Xp,
       "C:\\Program Files\\Morvane",
       [](sim::SimWindows& w) {
         w.fs.SetSecurity("C:\\", sim::XpRootDefault());
         w.fs.AddFolder("C:\\Program Files");
         w.fs.SetSecurity("C:\\Program Files", sim::XpProgramFilesDefault());
         w.fs.Reinherit("C:\\Program Files\\Morvane");
       },
       nullptr},
      {"Vista and later: XP's Program Files entries, whose Power Users count as anyone",
       Windows::Seven, "C:\\Program Files\\Morvane",
       [](sim::SimWindows& w) {
         w.fs.AddFolder("C:\\Program Files");
         w.fs.SetSecurity("C:\\Program Files", sim::XpProgramFilesDefault());
         w.fs.Reinherit("C:\\Program Files\\Morvane");
       },
       "C:\\Program Files\\Morvane"},
      {"a safe folder under a parent users may change", Windows::Seven, "C:\\Tools\\Morvane",
       [](sim::SimWindows& w) {
         w.fs.SetSecurity("C:\\", sim::VistaRootDefault());
         w.fs.AddFolder("C:\\Tools\\Morvane");
         w.fs.SetSecurity("C:\\Tools\\Morvane", sim::SafeDefault());  // its own entries only
       },
       "C:\\Tools"},
      {"a folder owned by a standard user", Windows::Seven, "C:\\Program Files\\Morvane",
       [](sim::SimWindows& w) {
         w.fs.AddFolder("C:\\Program Files\\Morvane");
         Security mine = sim::SafeDefault();
         mine.owner = sim::kSidStandardUser;
         w.fs.SetSecurity("C:\\Program Files\\Morvane", mine);
       },
       "C:\\Program Files\\Morvane"},
      {"the running administrator's own folder", Windows::Seven, "C:\\Program Files\\Morvane",
       [](sim::SimWindows& w) {
         w.fs.AddFolder("C:\\Program Files\\Morvane");
         Security own = sim::SafeDefault();
         own.owner = sim::kSidAdministrator;
         own.dacl->push_back({sim::kAccessAllowed, 0, sim::kFileAll, sim::kSidAdministrator});
         w.fs.SetSecurity("C:\\Program Files\\Morvane", own);
       },
       nullptr},
      {"a program file a named user may write", Windows::Xp, "C:\\Program Files\\Morvane",
       [](sim::SimWindows& w) {
         w.fs.AddFile("C:\\Program Files\\Morvane\\morvane.exe", "MZ");
         Security file = w.fs.SecurityOf("C:\\Program Files\\Morvane\\morvane.exe");
         file.dacl->push_back({sim::kAccessAllowed, 0, sim::kFileModify, sim::kSidStandardUser});
         w.fs.SetSecurity("C:\\Program Files\\Morvane\\morvane.exe", file);
       },
       "C:\\Program Files\\Morvane\\morvane.exe"},
      {"a start-up file a standard user left there", Windows::Seven,
       "C:\\Program Files\\Morvane",
       [](sim::SimWindows& w) {
         w.fs.AddFile("C:\\Program Files\\Morvane\\startup.mvn", "[DRAM]\r\n");
         Security left;
         left.owner = sim::kSidStandardUser;
         left.dacl = std::vector<Ace>{{sim::kAccessAllowed, 0, sim::kFileAll, sim::kSidSystem},
                                      {sim::kAccessAllowed, 0, sim::kFileAll, sim::kSidStandardUser}};
         w.fs.SetSecurity("C:\\Program Files\\Morvane\\startup.mvn", left);
       },
       "C:\\Program Files\\Morvane\\startup.mvn"},
      {"everyone may change it (no access list)", Windows::Xp, "C:\\Program Files\\Morvane",
       [](sim::SimWindows& w) {
         w.fs.AddFolder("C:\\Program Files\\Morvane");
         Security open;
         w.fs.SetSecurity("C:\\Program Files\\Morvane", open);
       },
       "C:\\Program Files\\Morvane"},
      {"entries that deny, or only pass on, change nothing", Windows::Seven,
       "C:\\Program Files\\Morvane",
       [](sim::SimWindows& w) {
         w.fs.AddFolder("C:\\Program Files\\Morvane");
         Security s = sim::SafeDefault();
         s.dacl->push_back({sim::kAccessDenied, 0, sim::kFileAll, sim::kSidUsers});
         // Passed on to new folders inside only, not to the files beside the program.
         s.dacl->push_back({sim::kAccessAllowed, sim::kContainerInherit | sim::kInheritOnly,
                            sim::kFileModify, sim::kSidUsers});
         w.fs.SetSecurity("C:\\Program Files\\Morvane", s);
       },
       nullptr},
      {"a network drive", Windows::Seven, "N:\\Morvane",
       [](sim::SimWindows& w) {
         w.fs.volumes['N'] = {os::kDriveRemote, "NTFS", 0x2 | 0x8};
       },
       "N:\\"},
      {"a USB stick", Windows::Seven, "F:\\Morvane",
       [](sim::SimWindows& w) { w.fs.volumes['F'] = {os::kDriveRemovable, "FAT32", 0x2}; },
       "F:\\"},
      {"Vista and later: a FAT32 data volume", Windows::Seven, "E:\\Morvane",
       [](sim::SimWindows& w) { w.fs.volumes['E'] = {os::kDriveFixed, "FAT32", 0x2}; }, "E:\\"},
      {"XP: a FAT32 data volume", Windows::Xp, "E:\\Morvane",
       [](sim::SimWindows& w) { w.fs.volumes['E'] = {os::kDriveFixed, "FAT32", 0x2}; }, "E:\\"},
      // Nothing can be protected there: it registers as it always did.
      {"XP: a FAT32 system volume", Windows::Xp, "C:\\Morvane",
       [](sim::SimWindows& w) { w.fs.volumes['C'] = {os::kDriveFixed, "FAT32", 0x2}; }, nullptr},
      {"Vista and later: a FAT32 system volume", Windows::Seven, "C:\\Morvane",
       [](sim::SimWindows& w) { w.fs.volumes['C'] = {os::kDriveFixed, "FAT32", 0x2}; }, "C:\\"},
      {"Windows 98", Windows::Ninety8, "C:\\Morvane",
       [](sim::SimWindows& w) { w.fs.SetSecurity("C:\\", sim::XpRootDefault()); }, nullptr},
  };
  for (const Place& p : places) {
    SCOPED_TRACE(p.what);
    sim::ScopedSimWindows win;
    Use(*win, p.windows);
    p.arrange(*win);
    win->fs.AddFolder(p.folder);
    const std::string folder = std::string(p.folder) + "\\";
    StartupResult result = ApplyStartupSettings(folder + "\\morvane.exe", folder + "\\startup.mvn");
    const bool task = win->session.FindTask("Morvane") != nullptr;
    const bool runValue = win->session.StringValue(kRun, "Morvane").has_value();
    if (p.exposed == nullptr) {
      EXPECT_EQ(result.outcome, StartupResult::Outcome::Done) << result.exposed;
      EXPECT_TRUE(task || runValue);
      continue;
    }
    EXPECT_EQ(result.outcome, StartupResult::Outcome::UnsafePlace);
    EXPECT_EQ(result.exposed, p.exposed);
    EXPECT_FALSE(task);
    EXPECT_FALSE(runValue);
    // The box says which place and what to do.
    const std::string text = UnsafePlaceText(result.exposed);
    std::string quoted = "\"";
    quoted += p.exposed;
    quoted += '"';
    EXPECT_NE(text.find(quoted), std::string::npos);
    EXPECT_NE(text.find("Program Files"), std::string::npos);
  }
}

class UnsafeStart : public DriverFixture {};

TEST_F(UnsafeStart, ASilentStartFromAPlaceOthersCanChangeWritesNothing) {
  // The old advice: the program copied to C:\Morvane, registered there by an earlier version.
  win.fs.SetSecurity("C:\\", sim::VistaRootDefault());
  win.fs.AddFolder("C:\\Morvane");
  win.fs.moduleFileName = "C:\\Morvane\\morvane.exe";
  win.fs.AddFile(win.fs.moduleFileName, program);
  win.fs.AddFile("C:\\Morvane\\startup.mvn", "[DRAM]\r\nTcl=2\r\n");
  win.machine.SetPlatform(sim::Platform::Nt64);
  SimNbReset();
  const std::uint32_t before = SimNbConfigRead(2, 0x88);
  struct : Application {
    std::optional<Exception> Initialize(const std::string&) override { return std::nullopt; }
    std::optional<Exception> RunWindowed() override { return std::nullopt; }
  } app;
  win.session.commandLine = "C:\\Morvane\\\\morvane.exe C:\\Morvane\\\\startup.mvn";
  EXPECT_EQ(MorvaneMain(app), 0);
  ASSERT_EQ(win.session.messageBoxes.size(), 1u);
  // The program file there took Authenticated Users' right to modify from its folder.
  EXPECT_EQ(win.session.messageBoxes[0].text, UnsafeStartText("C:\\Morvane\\morvane.exe"));
  EXPECT_EQ(win.session.messageBoxes[0].caption, "Morvane");
  // Neither the driver nor a register was touched.
  EXPECT_TRUE(win.machine.requests.empty());
  EXPECT_EQ(win.machine.FindService("cpuz"), nullptr);
  EXPECT_EQ(SimNbConfigRead(2, 0x88), before);
  FreeDeviceDriver();
}

TEST(SafePlace, TheDescriptorReaderTakesNothingOutsideTheBytesItIsGiven) {
  const std::vector<std::uint8_t> whole =
      sim::SelfRelative(sim::ProgramFilesDefault(),
                        os::kOwnerSecurityInformation | os::kDaclSecurityInformation);
  Descriptor d;
  ASSERT_TRUE(ParseSelfRelative(whole.data(), whole.size(), &d));
  EXPECT_EQ(d.owner, sim::kSidTrustedInstaller);
  ASSERT_EQ(d.entries.size(), 7u);
  EXPECT_EQ(d.entries[5].sid, sim::kSidUsers);
  EXPECT_EQ(d.entries[5].mask, sim::kFileReadExecute);
  // Every shorter copy, and every single byte set to all ones, is read safely: refused, or
  // read as something (never past its end, which the heap copy of exactly that size shows
  // under the sanitizers).
  for (std::size_t size = 0; size < whole.size(); ++size) {
    std::vector<std::uint8_t> part(whole.begin(), whole.begin() + static_cast<long>(size));
    Descriptor out;
    ParseSelfRelative(part.data(), part.size(), &out);
  }
  for (std::size_t at = 0; at < whole.size(); ++at) {
    std::vector<std::uint8_t> bad = whole;
    bad[at] = 0xFF;
    Descriptor out;
    ParseSelfRelative(bad.data(), bad.size(), &out);
  }
  // A null access list lets everyone in.
  Security none;
  const std::vector<std::uint8_t> open =
      sim::SelfRelative(none, os::kOwnerSecurityInformation | os::kDaclSecurityInformation);
  ASSERT_TRUE(ParseSelfRelative(open.data(), open.size(), &d));
  EXPECT_TRUE(d.nullDacl);
  EXPECT_TRUE(OthersMayChange(d, ObjectKind::Root, {sim::kSidAdministrators}));
}

}  // namespace
