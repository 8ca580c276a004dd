#include <gtest/gtest.h>

#include "FakeLocalFiles.h"
#include "core/LogFile.h"
#include "core/SystemErrors.h"

namespace cvl {
namespace {

const std::u16string LogPath = u"C:\\Launcher\\CVLauncher.log";

TEST(LogFile, FirstLinesAreAnsiWithoutMark) {
  TFakeLocalFiles files;
  WriteLog(files, u"DownloadStatus is not correct: 3");
  EXPECT_EQ(files.Files.at(LogPath), "DownloadStatus is not correct: 3\r\n");
  WriteLog(files, u"Apply patch (directory, cmdline): D:\\G\\ patchtool.exe");
  WriteLog(files, u"caf\u00e9 \u20ac \u4e2d");  // what the code page lacks becomes "?"
  EXPECT_EQ(files.Files.at(LogPath),
            "DownloadStatus is not correct: 3\r\n"
            "Apply patch (directory, cmdline): D:\\G\\ patchtool.exe\r\n"
            "caf\xE9 \x80 ?\r\n");
}

TEST(LogFile, ExistingFileKeepsItsEncodingAndGetsCrLf) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "new\r\n"},
      {"a\nb\n", "a\r\nb\r\nnew\r\n"},
      {"a\rb", "a\r\nb\r\nnew\r\n"},
      {"a\r\n\r\nb\r\n", "a\r\n\r\nb\r\nnew\r\n"},
      {"\xEF\xBB\xBF" "caf\xC3\xA9\n", "\xEF\xBB\xBF" "caf\xC3\xA9\r\nnew\r\n"},
      {"\xEF\xBB\xBF", "\xEF\xBB\xBFnew\r\n"},
      {std::string("\xFF\xFEx\0\n\0", 6), std::string("\xFF\xFEx\0\r\0\n\0n\0e\0w\0\r\0\n\0", 18)},
      {std::string("\xFE\xFF\0x\0\n", 6), std::string("\xFE\xFF\0x\0\r\0\n\0n\0e\0w\0\r\0\n", 18)},
  };
  for (const auto& [before, after] : cases) {
    TFakeLocalFiles files;
    files.Files[LogPath] = before;
    WriteLog(files, u"new");
    EXPECT_EQ(files.Files.at(LogPath), after);
  }
}

TEST(LogFile, ErrorsReachTheCallerAndLeaveTheFile) {
  TFakeLocalFiles files;
  files.Files[LogPath] = "old\r\n";
  files.FailReads = true;
  EXPECT_THROW(WriteLog(files, u"new"), EFOpenError);
  files.FailReads = false;
  files.FailWrites = true;
  EXPECT_THROW(WriteLog(files, u"new"), EFCreateError);
  EXPECT_EQ(files.Files.at(LogPath), "old\r\n");
}

}  // namespace
}  // namespace cvl
