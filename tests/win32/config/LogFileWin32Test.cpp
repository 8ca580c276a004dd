// The log of a real program: a child copied into a folder of its own, started with its
// current directory somewhere else.
#include <gtest/gtest.h>

#include "ConfigTestFolder.h"
#include "core/LogFile.h"
#include "core/SystemErrors.h"
#include "win32/base/ScopedHandle.h"
#include "win32/files/Paths.h"
#include "win32/files/Win32LocalFiles.h"

namespace cvl {
namespace {

constexpr DWORD ChildDeadlineMs = 120000;

// Copies the log writer into the folder and runs it there; gives its exit code.
DWORD RunLogWriter(const TConfigTestFolder& programFolder, const std::u16string& line,
                   const TConfigTestFolder& currentDirectory) {
  const std::wstring program = ToWide(programFolder.File(u"ConfigLogWriter.exe"));
  if (!::CopyFileW(ToWide(ExecutableDirectory() + u"ConfigLogWriter.exe").c_str(), program.c_str(), FALSE)) {
    ADD_FAILURE() << "cannot copy the log writer";
    return 99;
  }
  std::wstring commandLine = L"\"" + program + L"\" \"" + ToWide(line) + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        ToWide(currentDirectory.Directory()).c_str(), &startup, &info)) {
    ADD_FAILURE() << "cannot start the log writer";
    return 99;
  }
  TScopedHandle process(info.hProcess);
  TScopedHandle thread(info.hThread);
  EXPECT_EQ(::WaitForSingleObject(process.Get(), ChildDeadlineMs), WAIT_OBJECT_0);
  DWORD exitCode = 99;
  ::GetExitCodeProcess(process.Get(), &exitCode);
  return exitCode;
}

TEST(LogFileWin32, WrittenBesideTheProgramNotInTheCurrentDirectory) {
  TConfigTestFolder program, elsewhere;
  EXPECT_EQ(RunLogWriter(program, u"DownloadStatus is not correct: 3", elsewhere), 0u);
  EXPECT_EQ(RunLogWriter(program, u"Apply patch (directory, cmdline): D:\\V\\ patchtool.exe", elsewhere), 0u);
  EXPECT_EQ(TConfigTestFolder::Read(program.File(u"CVLauncher.log")),
            "DownloadStatus is not correct: 3\r\nApply patch (directory, cmdline): D:\\V\\ patchtool.exe\r\n");
  EXPECT_EQ(elsewhere.FileCount(), 0u);
}

TEST(LogFileWin32, Utf16LogKeepsItsMark) {
  TConfigTestFolder program, elsewhere;
  TConfigTestFolder::Write(program.File(u"CVLauncher.log"), Utf16LE(u"old\n"));
  EXPECT_EQ(RunLogWriter(program, u"new", elsewhere), 0u);
  EXPECT_EQ(TConfigTestFolder::Read(program.File(u"CVLauncher.log")), Utf16LE(u"old\r\nnew\r\n"));
}

TEST(LogFileWin32, ReadOnlyLogGivesTheErrorAndStaysAsItWas) {
  TConfigTestFolder program, elsewhere;
  const std::u16string log = program.File(u"CVLauncher.log");
  TConfigTestFolder::Write(log, "old\r\n");
  TConfigTestFolder::SetReadOnly(log);
  TWin32LocalFiles files(program.Directory());
  try {
    WriteLog(files, u"new");
    ADD_FAILURE() << "no error";
  } catch (const EFCreateError& e) {
    const std::u16string start = u"Cannot create file \"" + log + u"\". ";
    EXPECT_EQ(e.Message().substr(0, start.size()), start);
  }
  EXPECT_EQ(RunLogWriter(program, u"new", elsewhere), 1u);
  EXPECT_EQ(TConfigTestFolder::Read(log), "old\r\n");
  EXPECT_EQ(program.FileCount(), 2u);  // the log and the copied writer, nothing left beside
}

}  // namespace
}  // namespace cvl
