// Helpers of the process tests: the child program beside the test, waiting for a
// condition while the main thread's messages run, and counting the process's handles
// and threads.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace cvl::test {

// "\"<folder of this test>\ProcessChild.exe\" " followed by the arguments.
std::u16string ChildCommand(const std::u16string& arguments);
// A fresh empty folder under the temporary folder, for files the children make.
std::u16string TempFolder();
bool FileExists(const std::u16string& path);
// Makes an empty file (a signal to a waiting child).
void TouchFile(const std::u16string& path);

// Lets the main thread's messages run until the condition holds; false after the
// deadline.
bool PumpUntil(const std::function<bool()>& condition, DWORD deadlineMilliseconds = 60000);

DWORD HandleCount();
int ThreadCount();

}  // namespace cvl::test
