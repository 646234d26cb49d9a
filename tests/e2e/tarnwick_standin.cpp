// tarnwick.exe for the end-to-end test: a process of the name the handheld
// monitor refuses to start beside. It does nothing and ends after the given
// number of seconds (default 60), or when the test ends it.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
  const long seconds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 60;
  Sleep(static_cast<DWORD>(seconds > 0 ? seconds : 60) * 1000);
  return 0;
}
