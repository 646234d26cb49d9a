// Every shipped program, read from its file as Explorer's Properties and the
// loader read it: the version resource names the product and the program and
// carries the build's version, and the windowed programs' manifests ask for
// the visual styles, no elevation and per-monitor DPI.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "trelvane_version.h"

namespace {

struct Program {
  const wchar_t* path;
  const wchar_t* originalName;
  bool windowed;
};

const Program kPrograms[] = {
    {TRELVANE_DESKTOP_EXE, L"trelvane.exe", true},   {TRELVANE_POCKET_EXE, L"trelvane-pocket.exe", true},
    {TRELVANE_PORTNAME_EXE, L"portname.exe", true},  {TRELVANE_DRVCLEAN_EXE, L"drvclean.exe", true},
    {TRELVANE_SIM_EXE, L"trelvane-sim.exe", false},  {TRELVANE_DECODE_EXE, L"trelvane-decode.exe", false},
};

std::wstring Widened(const char* text) { return std::wstring(text, text + strlen(text)); }

// One string of the file's US English, Unicode version block; empty if absent.
std::wstring VersionString(const std::vector<BYTE>& block, const wchar_t* name) {
  std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
  void* value = nullptr;
  UINT chars = 0;
  if (!VerQueryValueW(block.data(), query.c_str(), &value, &chars) || chars == 0) return L"";
  return static_cast<const wchar_t*>(value);
}

// The manifest the loader starts the program with (resource 1 of type 24).
std::string Manifest(const wchar_t* path) {
  HMODULE image = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!image) return "cannot load";
  std::string text;
  if (HRSRC found = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(image, found)));
    text.assign(bytes, SizeofResource(image, found));
  }
  FreeLibrary(image);
  return text;
}

TEST(ProgramResources, EveryProgramCarriesItsVersionAndEveryWindowedOneItsManifest) {
  for (const Program& program : kPrograms) {
    SCOPED_TRACE(program.originalName);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(program.path, &ignored);
    ASSERT_GT(size, 0u) << "no version resource";
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(program.path, 0, size, block.data()));

    EXPECT_EQ(VersionString(block, L"ProductName"), L"Trelvane");
    EXPECT_EQ(VersionString(block, L"OriginalFilename"), program.originalName);
    EXPECT_EQ(VersionString(block, L"ProductVersion"), Widened(TRELVANE_VERSION_TEXT));
    EXPECT_EQ(VersionString(block, L"FileVersion"), Widened(TRELVANE_VERSION_TEXT));
    EXPECT_EQ(VersionString(block, L"FileDescription").rfind(L"Trelvane ", 0), 0u);
    EXPECT_NE(VersionString(block, L"LegalCopyright").find(L"Trelvane developers"), std::wstring::npos);

    // The numbers Windows compares agree with the text's.
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    char dotted[64];
    snprintf(dotted, sizeof dotted, "%lu.%lu.%lu.%lu", static_cast<unsigned long>(HIWORD(fixed->dwFileVersionMS)),
             static_cast<unsigned long>(LOWORD(fixed->dwFileVersionMS)),
             static_cast<unsigned long>(HIWORD(fixed->dwFileVersionLS)),
             static_cast<unsigned long>(LOWORD(fixed->dwFileVersionLS)));
    EXPECT_STREQ(dotted, TRELVANE_VERSION_DOTTED);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);

    const std::string manifest = Manifest(program.path);
    if (!program.windowed) {
      EXPECT_EQ(manifest, "") << "a console tool has no windows to style";
      continue;
    }
    for (const char* wanted : {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                               "level=\"asInvoker\"", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                               "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", ">PerMonitorV2<", ">true</dpiAware>"}) {
      EXPECT_NE(manifest.find(wanted), std::string::npos) << "the manifest lacks " << wanted;
    }
  }
}

}  // namespace
