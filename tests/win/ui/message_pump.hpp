// The monitors' message loop turn for in-process window tests: both builds'
// fixtures run it, each with its own text form and dispatch.
#pragma once

#include <windows.h>

namespace trelvane::test {

// Handles messages with `dispatch(msg)` until `done()` or `timeoutMs` passed.
// `Wide` picks the queue call of the build's text form.
template <bool Wide, class Done, class Dispatch>
bool PumpMessagesUntil(Done done, DWORD timeoutMs, Dispatch dispatch) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    MSG msg;
    while (Wide ? PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) : PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) continue;  // the window's end; the test looks at the window itself
      dispatch(msg);
    }
    if (done()) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now < 50 ? deadline - now : 50),
                              QS_ALLINPUT);
  }
}

}  // namespace trelvane::test
