// Stands in for the platform's help viewer: writes the command line it was
// started with to "peghelp.txt" in its current directory.
#include <windows.h>

#include <cstring>

int main() {
  const char* commandLine = GetCommandLineA();
  HANDLE out = CreateFileA("peghelp.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(out, commandLine, static_cast<DWORD>(std::strlen(commandLine)), &written, nullptr);
  CloseHandle(out);
  return 0;
}
