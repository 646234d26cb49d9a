// The handheld monitor keeps the last port it opened under HKEY_CURRENT_USER
// "Software\Trelvane", value "ComPort" (REG_SZ, the name with its zero).
#pragma once

namespace trelvane::link {

// Writes `portName` as the saved port. Failures are not looked at.
void SaveComPort(const wchar_t* portName);

// Capacity of the saved port as it is read back: 512 bytes of value and a
// terminator of our own.
constexpr int kSavedPortChars = 257;

// Reads the saved port into `portName`. Returns 1 when the key opened and the
// value was read (a value longer than 512 bytes counts as unread), else 0.
// The text is always terminated, whether or not the stored one was.
int LoadComPort(wchar_t (&portName)[kSavedPortChars]);

}  // namespace trelvane::link
