// Whole-file reads and atomic writes on real files, and the creation handler's reading
// and rewrite of "CVLauncher.cfg" in a program folder of the test's own.
#include <gtest/gtest.h>

#include "ConfigTestFolder.h"
#include "core/FormCreate.h"
#include "core/SystemErrors.h"
#include "win32/base/ScopedHandle.h"
#include "win32/files/FileRead.h"
#include "win32/files/FileWrite.h"
#include "win32/platform/Win32FormCreatePlatform.h"

namespace cvl {
namespace {

// The settings the creation handler reads; an error fails the test.
TLauncherSettings Read(IFormCreatePlatform& platform) {
  TFormCreateResult read = FormCreate(platform);
  if (read.Error) std::rethrow_exception(read.Error);
  return std::move(read.Settings);
}

// The message names the path, then the system's reason (not empty).
void ExpectFileError(const Exception& e, const std::u16string& lead, const std::u16string& path) {
  const std::u16string start = lead + u" \"" + path + u"\". ";
  EXPECT_EQ(e.Message().substr(0, start.size()), start);
  EXPECT_GT(e.Message().size(), start.size());
}

TEST(LocalFiles, ReadWholeFile) {
  TConfigTestFolder folder;
  const std::u16string path = folder.File(u"a.bin");
  EXPECT_EQ(ReadWholeFile(path), std::nullopt);
  EXPECT_EQ(ReadWholeFile(folder.File(u"missing\\a.bin")), std::nullopt);
  const std::string bytes("\xFF\xFE\0\r\n x", 7);
  TConfigTestFolder::Write(path, bytes);
  EXPECT_EQ(ReadWholeFile(path), bytes);

  // Another program holding the file open for writing.
  TScopedHandle writer(::CreateFileW(ToWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(writer);
  try {
    ReadWholeFile(path);
    ADD_FAILURE() << "no error";
  } catch (const EFOpenError& e) {
    ExpectFileError(e, u"Cannot open file", path);
  }
}

TEST(LocalFiles, AtomicWriteReplacesAndLeavesNothingBeside) {
  TConfigTestFolder folder;
  const std::u16string path = folder.File(u"a.txt");
  WriteFileAtomically(path, "first");
  WriteFileAtomically(path, "second, longer");
  EXPECT_EQ(TConfigTestFolder::Read(path), "second, longer");
  WriteFileAtomically(path, "");
  EXPECT_EQ(TConfigTestFolder::Read(path), "");
  EXPECT_EQ(folder.FileCount(), 1u);
}

TEST(LocalFiles, FailedWriteKeepsTheOldFile) {
  TConfigTestFolder folder;
  const std::u16string path = folder.File(u"a.txt");
  TConfigTestFolder::Write(path, "old");
  TConfigTestFolder::SetReadOnly(path);
  const std::u16string missingFolder = folder.File(u"missing\\a.txt");
  for (const std::u16string& target : {path, missingFolder}) {
    try {
      WriteFileAtomically(target, "new");
      ADD_FAILURE() << "no error";
    } catch (const EFCreateError& e) {
      ExpectFileError(e, u"Cannot create file", target);
    }
  }
  EXPECT_EQ(TConfigTestFolder::Read(path), "old");
  EXPECT_EQ(folder.FileCount(), 1u);
}

TEST(LocalFiles, CreationHandlerTidiesAUtf16File) {
  TConfigTestFolder folder;
  const std::u16string config = folder.File(u"CVLauncher.cfg");
  const std::string untidy = Utf16LE(u"; c\r\n[Options]\nLanguage = 0\r\n\r\n[Pre]\r\n");
  TConfigTestFolder::Write(config, untidy);
  TWin32FormCreatePlatform platform(folder.Directory());
  const TLauncherSettings state = Read(platform);
  EXPECT_EQ(state.FConfigFileName, config);
  EXPECT_FALSE(state.FEnglishClient);
  EXPECT_EQ(TConfigTestFolder::Read(config), Utf16LE(u"[Options]\r\nLanguage=0\r\n\r\n"));
  EXPECT_EQ(folder.FileCount(), 1u);
}

TEST(LocalFiles, CreationHandlerMakesAnEmptyFileWhenThereIsNone) {
  TConfigTestFolder folder;
  TWin32FormCreatePlatform platform(folder.Directory());
  const TLauncherSettings state = Read(platform);
  EXPECT_TRUE(state.FEnglishClient);
  EXPECT_TRUE(TConfigTestFolder::Exists(folder.File(u"CVLauncher.cfg")));
  EXPECT_EQ(TConfigTestFolder::Read(folder.File(u"CVLauncher.cfg")), "");
}

TEST(LocalFiles, ReadOnlyConfigurationGivesTheErrorAndStaysAsItWas) {
  TConfigTestFolder folder;
  const std::u16string config = folder.File(u"CVLauncher.cfg");
  const std::string untidy = "; comment\r\n[Options]\r\nPatchVersion = 4\r\n";
  TConfigTestFolder::Write(config, untidy);
  TConfigTestFolder::SetReadOnly(config);
  TWin32FormCreatePlatform platform(folder.Directory());
  TFormCreateResult read = FormCreate(platform);
  const TLauncherSettings& state = read.Settings;
  try {
    if (read.Error) std::rethrow_exception(read.Error);
    ADD_FAILURE() << "no error";
  } catch (const EFCreateError& e) {
    ExpectFileError(e, u"Cannot create file", config);
  }
  EXPECT_EQ(state.FClientActualPatchVersion, 4);
  EXPECT_EQ(TConfigTestFolder::Read(config), untidy);
  EXPECT_EQ(folder.FileCount(), 1u);
}

}  // namespace
}  // namespace cvl
