// Each program we ship names its product, its purpose, its version and its copyright
// the way Windows reads them (the file's Properties, virus scanners).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

struct TVersionInfo {
  VS_FIXEDFILEINFO Fixed{};
  std::u16string Product, Description, Version, Copyright, OriginalName;
};

std::u16string Value(std::vector<BYTE>& block, const wchar_t* name) {
  const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
  void* text = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), path.c_str(), &text, &length) || length == 0) return u"";
  return std::u16string(static_cast<const char16_t*>(text));
}

bool Read(const std::wstring& file, TVersionInfo& info) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfoW(file.c_str(), 0, size, block.data())) return false;
  void* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", &fixed, &length) || length < sizeof(VS_FIXEDFILEINFO)) return false;
  info.Fixed = *static_cast<VS_FIXEDFILEINFO*>(fixed);
  info.Product = Value(block, L"ProductName");
  info.Description = Value(block, L"FileDescription");
  info.Version = Value(block, L"FileVersion");
  info.Copyright = Value(block, L"LegalCopyright");
  info.OriginalName = Value(block, L"OriginalFilename");
  return true;
}

TEST(VersionInfo, EveryShippedProgramCarriesIt) {
  // Relative to bin/, the tests' working folder.
  const std::vector<std::pair<std::wstring, std::u16string>> files{
      {L"CVLauncher.exe", u"CVLauncher.exe"},
      {L"cvlctl.exe", u"cvlctl.exe"},
      {L"..\\payloads\\patchtool.exe", u"patchtool.exe"},
      {L"..\\payloads\\PackingLibraryWrapper-Win32-Release.dll", u"PackingLibraryWrapper-Win32-Release.dll"},
      {L"..\\payloads\\Proc.exe", u"Proc.exe"},
      {L"..\\payloads\\LEProc.exe", u"LEProc.exe"},
      {L"..\\payloads\\LECommonLibrary.dll", u"LECommonLibrary.dll"},
      {L"..\\payloads\\LoaderDll.dll", u"LoaderDll.dll"},
      {L"..\\payloads\\LocaleEmulator.dll", u"LocaleEmulator.dll"},
      {L"..\\payloads\\WebView2Loader.dll", u"WebView2Loader.dll"},
  };
  for (const auto& [file, name] : files) {
    TVersionInfo info;
    ASSERT_TRUE(Read(file, info)) << "no version resource in " << std::string(file.begin(), file.end());
    EXPECT_EQ(info.Product, CVL_EXPECTED_PRODUCT);
    EXPECT_EQ(info.Version, CVL_EXPECTED_VERSION);
    EXPECT_EQ(info.Copyright, CVL_EXPECTED_COPYRIGHT);
    EXPECT_EQ(info.OriginalName, name);
    EXPECT_FALSE(info.Description.empty());
    EXPECT_EQ(info.Fixed.dwFileVersionMS, static_cast<DWORD>(CVL_EXPECTED_VERSION_MS));
    EXPECT_EQ(info.Fixed.dwFileVersionLS, static_cast<DWORD>(CVL_EXPECTED_VERSION_LS));
    const bool library = name.ends_with(u".dll");
    EXPECT_EQ(info.Fixed.dwFileType, static_cast<DWORD>(library ? VFT_DLL : VFT_APP));
  }
}

}  // namespace
