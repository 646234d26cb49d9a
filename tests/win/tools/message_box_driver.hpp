// Runs a one-shot program under test, waits for the message box it shows,
// reads it as a person would (caption, text, icon), presses OK and collects
// the exit code.
#pragma once

#include <windows.h>

#include <string>

namespace trelvane::tools::testing {

enum class BoxIcon { kUnknown, kInformation, kError };

struct AnsweredBox {
  std::string problem;  // empty when the run went as far as the exit code
  std::wstring caption;
  std::wstring text;
  BoxIcon icon = BoxIcon::kUnknown;
  DWORD exitCode = 0;
};

// `exe` is a Windows path. Waits at most a few seconds for each step; a
// program still running then is terminated.
AnsweredBox RunAndAnswerMessageBox(const std::wstring& exe);

}  // namespace trelvane::tools::testing
