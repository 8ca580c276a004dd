// The install location under HKEY_LOCAL_MACHINE, from keys this test makes in the test
// prefix under a name of its own (the launcher's real key is left to the launcher).
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "core/SystemErrors.h"
#include "win32/base/ScopedHandle.h"
#include "win32/base/WinText.h"
#include "win32/files/Registry.h"
#include "win32/platform/Win32FormCreatePlatform.h"

namespace cvl {
namespace {

class RegistryTest : public ::testing::Test {
 protected:
  // The same literal WOW6432Node path the launcher opens from its 32-bit process.
  const std::u16string FKey = u"SOFTWARE\\WOW6432Node\\CorvantheTest" + FromWide(std::to_wstring(::GetCurrentProcessId()));

  void SetUp() override {
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, ToWide(FKey).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                FKeyHandle.Receive(), nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    FKeyHandle.Close();
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, ToWide(FKey).c_str());
  }

  void SetString(const wchar_t* name, DWORD type, const std::wstring& text) {
    ::RegSetValueExW(FKeyHandle.Get(), name, 0, type, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }

  TScopedRegKey FKeyHandle;
};

TEST_F(RegistryTest, StringValuesReadAsStored) {
  SetString(L"InstallPath", REG_SZ, L"C:\\Games\\Vardune");
  SetString(L"InstallPathZephrane", REG_EXPAND_SZ, L"%SystemDrive%\\Zephrane\\");
  SetString(L"Empty", REG_SZ, L"");
  // A root-relative path, as the launcher names its key, through the platform it uses.
  TWin32FormCreatePlatform platform;
  const std::u16string rooted = u"\\" + FKey;
  EXPECT_EQ(platform.ReadLocalMachineString(rooted, u"InstallPath"), u"C:\\Games\\Vardune");
  EXPECT_EQ(platform.ReadLocalMachineString(rooted, u"installpath"), u"C:\\Games\\Vardune");
  EXPECT_EQ(platform.ReadLocalMachineString(rooted, u"InstallPathZephrane"), u"%SystemDrive%\\Zephrane\\");
  EXPECT_EQ(platform.ReadLocalMachineString(rooted, u"Empty"), u"");
}

TEST_F(RegistryTest, MissingKeyOrValueIsEmpty) {
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, FKey, u"InstallPath"), u"");
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, FKey + u"\\Missing", u"InstallPath"), u"");
}

TEST_F(RegistryTest, OtherTypesGiveTheError) {
  const DWORD number = 5;
  ::RegSetValueExW(FKeyHandle.Get(), L"InstallPath", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                   sizeof number);
  ::RegSetValueExW(FKeyHandle.Get(), L"Binary", 0, REG_BINARY, reinterpret_cast<const BYTE*>("ab"), 2);
  for (const std::u16string name : {u"InstallPath", u"Binary"}) {
    try {
      ReadRegistryString(HKEY_LOCAL_MACHINE, FKey, name);
      ADD_FAILURE() << "no error";
    } catch (const ERegistryException& e) {
      EXPECT_EQ(e.Message(), u"Invalid data type for '" + name + u"'");
    }
  }
}

}  // namespace
}  // namespace cvl
