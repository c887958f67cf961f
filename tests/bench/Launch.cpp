// Times programs from inside a running Wine session, so that Wine's own start is not counted:
//   mvn_bench_launch exit N COMMANDLINE     average milliseconds from start to exit
//   mvn_bench_launch window N COMMANDLINE   average milliseconds from start to the first
//                                           visible top-level window (closed again each time)
//   mvn_bench_launch hold SECONDS | release  keeps the Wine session (and the loaded driver)
//                                           alive between the timed runs
//   mvn_bench_launch rounds N exit|window COMMANDLINE [exit|window COMMANDLINE]...
//                                           N interleaved rounds, each timing every command
//                                           once in turn; prints one line per round (the
//                                           milliseconds of each command) and the medians
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Search {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK TakeFirstVisible(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<Search*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == s->pid && IsWindowVisible(window) && GetWindow(window, GW_OWNER) == nullptr) {
    s->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND VisibleWindowOf(DWORD pid) {
  Search search{pid, nullptr};
  EnumWindows(TakeFirstVisible, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Milliseconds of one run, or -1 when it did not get there within a minute.
double TimeOnce(const std::string& commandLine, bool toWindow) {
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi)) {
    std::fprintf(stderr, "cannot start (error %lu): %s\n", GetLastError(), commandLine.c_str());
    return -1;
  }
  bool reached = false;
  HWND window = nullptr;
  for (int i = 0; i < 60000 && !reached; ++i) {
    if (toWindow) {
      window = VisibleWindowOf(pi.dwProcessId);
      reached = window != nullptr;
      if (!reached && WaitForSingleObject(pi.hProcess, 1) == WAIT_OBJECT_0) break;
    } else {
      reached = WaitForSingleObject(pi.hProcess, 1) == WAIT_OBJECT_0;
    }
  }
  QueryPerformanceCounter(&end);
  if (window != nullptr) PostMessageA(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(pi.hProcess, 20000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  if (!reached) return -1;
  return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

// Interleaved, so that a slow spell of the machine falls on every program alike, and every
// other round in reverse order, so that no program always follows the same one (a window
// closing still costs the machine something while the next program starts).
int Rounds(int rounds, int argc, char** argv) {
  const int commands = argc / 2;
  std::vector<std::vector<double>> times(static_cast<std::size_t>(commands));
  std::vector<double> row(static_cast<std::size_t>(commands));
  for (int round = 1; round <= rounds; ++round) {
    for (int turn = 0; turn < commands; ++turn) {
      int c = round % 2 == 1 ? turn : commands - 1 - turn;
      double ms = TimeOnce(argv[2 * c + 1], std::string(argv[2 * c]) == "window");
      if (ms < 0) {
        std::printf("round %d: failed\n", round);
        return 1;
      }
      times[static_cast<std::size_t>(c)].push_back(ms);
      row[static_cast<std::size_t>(c)] = ms;
      Sleep(200);  // let the previous process's windows go
    }
    std::printf("round %d:", round);
    for (double ms : row) std::printf(" %.1f", ms);
    std::printf("\n");
    std::fflush(stdout);
  }
  std::printf("median:");
  for (auto& runs : times) {
    std::sort(runs.begin(), runs.end());
    std::size_t n = runs.size();
    std::printf(" %.1f", n % 2 ? runs[n / 2] : (runs[n / 2 - 1] + runs[n / 2]) / 2);
  }
  std::printf("\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 5 && argc % 2 == 1 && std::string(argv[1]) == "rounds") {
    return Rounds(std::atoi(argv[2]), argc - 3, argv + 3);
  }
  if (argc == 3 && std::string(argv[1]) == "hold") {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "MvnBenchHold");
    WaitForSingleObject(event, static_cast<DWORD>(std::atoi(argv[2])) * 1000);
    return 0;
  }
  if (argc == 2 && std::string(argv[1]) == "release") {
    HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, "MvnBenchHold");
    if (event != nullptr) SetEvent(event);
    return 0;
  }
  if (argc < 4) {
    std::fprintf(stderr, "usage: mvn_bench_launch exit|window RUNS COMMANDLINE\n");
    return 2;
  }
  bool toWindow = std::string(argv[1]) == "window";
  int runs = std::atoi(argv[2]);
  double total = 0;
  for (int i = 0; i < runs; ++i) {
    double ms = TimeOnce(argv[3], toWindow);
    if (ms < 0) {
      std::printf("failed\n");
      return 1;
    }
    total += ms;
    Sleep(200);  // let the previous process's windows go
  }
  std::printf("%.1f\n", total / runs);
  return 0;
}
