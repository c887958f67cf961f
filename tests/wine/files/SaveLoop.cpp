// Saves register files in a loop through the real Windows, to be killed at random moments by
// crash-test.sh, and writes the contents a save may leave so the script can check the file.
//   SaveLoop prepare FOLDER          start file and the expected contents, in FOLDER
//   SaveLoop save FOLDER whole|pair  saves two register sets in turn until killed
//   SaveLoop load FOLDER             loads the file once, as the program's next run would
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "files/RegisterFile.h"
#include "os/Api.h"
#include "os/win32/WinApi.h"
#include "regs/Codec.h"

namespace {

// The file's lines before the program ever saved into it; they must survive every save.
const char kStartText[] = "; kept by every save\r\n[Keep]\r\nx=1\r\n";

void UseSet(int which) {
  for (const RegisterField& field : AllFields()) {
    auto index = static_cast<std::uint32_t>(&field - Fields);
    SetFieldCode(field, (index * 5 + static_cast<std::uint32_t>(which) * 3) % (1u << field.width));
  }
}

bool WriteText(const std::string& path, const std::string& text) {
  os::Api& win = os::Windows();
  os::Handle file = win.CreateFileA(path.c_str(), os::kGenericWrite, 0, os::kCreateAlways,
                                    os::kFileAttributeNormal);
  if (file == os::kInvalidHandle) return false;
  os::Dword written = 0;
  bool ok = win.WriteFile(file, text.data(), static_cast<os::Dword>(text.size()), &written) &&
            written == text.size();
  return win.CloseHandle(file) && ok;
}

int Fail(const char* what, const std::string& path) {
  std::fprintf(stderr, "SaveLoop: %s %s (error %lu)\n", what, path.c_str(),
               static_cast<unsigned long>(os::Windows().GetLastError()));
  return 2;
}

// Every state a save may leave: the start file, each whole set, and (saving section by
// section) each set's DRAM section with the other set's LINK section or with none.
int Prepare(const std::string& folder) {
  const std::string scratch = folder + "\\scratch.mvn";
  struct Step {
    const char* name;
    int start;  // -1: the start file, else the expected file of that set
    int set;
    bool dram, link;
  };
  // The saver alternates set 1 and set 2, so a section-by-section save over one set's file
  // may stop with the other set's DRAM section in it.
  const Step steps[] = {
      {"expect-a.mvn", -1, 1, true, true},
      {"expect-b.mvn", -1, 2, true, true},
      {"expect-a-dram.mvn", -1, 1, true, false},
      {"expect-b-dram-a-link.mvn", 0, 2, true, false},
      {"expect-a-dram-b-link.mvn", 1, 1, true, false},
  };
  std::vector<std::string> whole;
  for (const Step& step : steps) {
    std::string start = step.start < 0 ? kStartText : whole[static_cast<std::size_t>(step.start)];
    if (!WriteText(scratch, start)) return Fail("cannot write", scratch);
    UseSet(step.set);
    if ((step.dram && !SaveDramSection(scratch)) || (step.link && !SaveLinkSection(scratch))) {
      return Fail("cannot save", scratch);
    }
    std::string out = folder + "\\" + step.name;
    if (!os::Windows().MoveFileExA(scratch.c_str(), out.c_str(), os::kMovefileReplaceExisting)) {
      return Fail("cannot move", out);
    }
    if (step.dram && step.link) {
      // Read back what the save made of the start file.
      os::Handle file =
          os::Windows().CreateFileA(out.c_str(), os::kGenericRead, 1, os::kOpenExisting, 0);
      std::string text(4096, '\0');
      os::Dword read = 0;
      os::Windows().ReadFile(file, text.data(), static_cast<os::Dword>(text.size()), &read);
      os::Windows().CloseHandle(file);
      text.resize(read);
      whole.push_back(text);
    }
  }
  std::string target = folder + "\\target.mvn";
  return WriteText(target, kStartText) ? 0 : Fail("cannot write", target);
}

int SaveForever(const std::string& folder, bool whole) {
  const std::string target = folder + "\\target.mvn";
  const std::string running = folder + "\\running";
  // First of all, so that the script can tell a process Wine never ran from a failing save.
  const std::string started = folder + "\\started";
  if (!WriteText(started, "")) return Fail("cannot write", started);
  for (unsigned long round = 0;; ++round) {
    UseSet(round % 2 == 0 ? 1 : 2);
    bool saved =
        whole ? SaveRegisterFile(target) : (SaveDramSection(target) && SaveLinkSection(target));
    if (!saved) return Fail("cannot save", target);
    if (round == 0 && !WriteText(running, "")) return Fail("cannot write", running);
  }
}

// A load puts back a file whose save was interrupted between the two steps of its replace.
int LoadOnce(const std::string& folder) {
  const std::string target = folder + "\\target.mvn";
  return LoadRegisterFile(target) ? 0 : Fail("cannot load", target);
}

}  // namespace

int main(int argc, char** argv) {
  os::Install(&os::RealWindows());
  if (argc == 3 && std::strcmp(argv[1], "prepare") == 0) return Prepare(argv[2]);
  if (argc == 4 && std::strcmp(argv[1], "save") == 0) {
    return SaveForever(argv[2], std::strcmp(argv[3], "whole") == 0);
  }
  if (argc == 3 && std::strcmp(argv[1], "load") == 0) return LoadOnce(argv[2]);
  std::fprintf(stderr, "usage: SaveLoop prepare FOLDER | save FOLDER whole|pair | load FOLDER\n");
  return 2;
}
