// The corrections dialog's settings, kept for the next time under
// HKEY_CURRENT_USER\Software\Trelvane\Corrections: Host, Mountpoint and User
// (REG_SZ), Port and GgaSeconds (REG_DWORD), and the password only as
// Password (REG_BINARY), encrypted for this user by the system's data
// protection: never in plain text.
#pragma once

#include "net/ntrip_client.hpp"

namespace trelvane::net {

// What was saved; the defaults (port 2101, every 10 s) for what is missing,
// and an empty password when it cannot be decrypted (another user's).
CasterSettings LoadCasterSettings();
// False when the key could not be written or the password not encrypted
// (the password is then not kept at all).
bool SaveCasterSettings(const CasterSettings& settings);

}  // namespace trelvane::net
