#include "tools/drvclean/driver_removal.hpp"

#include "tools/driver_platform/opened_key.hpp"

namespace trelvane::tools {
namespace {

constexpr wchar_t kCaption[] = L"Notification";
constexpr wchar_t kAdapterRegistration[] = L"Drivers\\BuiltIn\\USBSER";
// As the handheld gets it; the platform maps it.
constexpr DWORD kProbeAccess = 0;

}  // namespace

int RemoveDriverRegistration(DriverRegistry& registry, Notifier& notifier) noexcept {
  // The open only tells a missing key apart from a delete that fails.
  OpenedKey probe(registry);
  if (probe.Open(HKEY_LOCAL_MACHINE, kAdapterRegistration, kProbeAccess) != ERROR_SUCCESS) {
    notifier.Show(L"NO 'USBSER' entry in the Registry!", kCaption, MB_ICONINFORMATION);
    return kDriverRemovalExit;
  }
  probe.Close();

  if (registry.DeleteKey(HKEY_LOCAL_MACHINE, kAdapterRegistration) == ERROR_SUCCESS) {
    notifier.Show(L"Delete Registry Successfully!!", kCaption, MB_ICONINFORMATION);
  } else {
    notifier.Show(L"Delete Registry ERROR!", kCaption, MB_ICONERROR);
  }
  return kDriverRemovalExit;
}

}  // namespace trelvane::tools
