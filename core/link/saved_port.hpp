// The handheld monitor keeps the last port it opened under HKEY_CURRENT_USER
// "Software\Trelvane", value "ComPort" (REG_SZ, the name with its zero).
#pragma once

namespace trelvane::link {

// Writes `portName` as the saved port. Failures are not looked at.
void SaveComPort(const wchar_t* portName);

}  // namespace trelvane::link
