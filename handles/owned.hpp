// The one owner of a kernel handle (file, port, event, thread, process,
// snapshot), a registry key, a socket or a socket event: whoever holds the
// Owned closes what it holds when it lets go, so every path out of a
// function, early returns included, releases it once. What differs between
// the kinds is only what "none" is and which call closes one; that is the
// kind's traits.
//
// GDI objects and device contexts have their own owners (handles/gdi.hpp),
// which also count them for the leak checks.
#pragma once

#include <windows.h>

namespace trelvane::handles {

template <class Kind>
class Owned {
 public:
  using Handle = typename Kind::Handle;

  Owned() = default;
  explicit Owned(Handle handle) : handle_(handle) {}
  Owned(Owned&& other) noexcept : handle_(other.Release()) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() { Reset(); }

  Handle Get() const { return handle_; }
  bool Valid() const { return Kind::Valid(handle_); }
  // The handle is the caller's from here.
  Handle Release() {
    const Handle handle = handle_;
    handle_ = Kind::kNone;
    return handle;
  }
  // Closes what is held, if anything, and gives the place for a call that
  // makes a new one (RegOpenKeyEx's last argument, say).
  Handle* Receive() {
    Reset();
    return &handle_;
  }
  // Closes what is held, if anything, and holds `handle` instead.
  void Reset(Handle handle = Kind::kNone) {
    if (Kind::Valid(handle_)) Kind::Close(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_ = Kind::kNone;
};

// Files, ports, events, threads, processes: null and INVALID_HANDLE_VALUE
// both mean none, since the calls that make them answer one or the other.
struct KernelHandle {
  using Handle = HANDLE;
  static constexpr HANDLE kNone = nullptr;
  static bool Valid(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) { CloseHandle(handle); }
};

using OwnedHandle = Owned<KernelHandle>;

// An open registry key.
struct RegistryKeyKind {
  using Handle = HKEY;
  static constexpr HKEY kNone = nullptr;
  static bool Valid(HKEY key) { return key != nullptr; }
  static void Close(HKEY key) { RegCloseKey(key); }
};

using RegistryKey = Owned<RegistryKeyKind>;

}  // namespace trelvane::handles
