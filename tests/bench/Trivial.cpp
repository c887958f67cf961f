// The smallest Win32 program: the yardstick for what starting any program under Wine costs.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  return 0;
}
