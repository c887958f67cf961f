// The VxD loader's rules as a build-time host program: checks each LE file given and prints
// either one line saying what it holds or one "FAIL" line for each rule it breaks.
#include <cstdio>
#include <string>

#include "tools/HostFiles.h"
#include "tools/LeRules.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: mvn_le_check FILE.vxd...\n"
               "Checks each file against the rules by which Windows 98 and Me load a dynamic VxD.\n",
               stderr);
    return 2;
  }
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    le::RulesReport report;
    try {
      report = le::CheckLoaderRules(hostfiles::ReadAll<le::LeError>(argv[i]));
    } catch (const le::LeError& error) {
      report.faults.push_back(error.what());
    }
    if (report.faults.empty()) {
      std::printf("%s: the loader's rules hold: %s\n", argv[i], report.summary.c_str());
      continue;
    }
    for (const std::string& fault : report.faults) std::printf("FAIL %s: %s\n", argv[i], fault.c_str());
    status = 1;
  }
  return status;
}
