// The console runner's enumerations, event types, errors and texts.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "core/DosCommandLines.h"
#include "core/Exception.h"

namespace cvl {

class TDosCommand;

enum TEndStatus { esStop = 0, esProcess = 1, esStill_Active = 2, esNone = 3, esError = 4, esTime = 5 };

inline constexpr std::u16string_view SDosCommandStillRunning = u"DosCommand still running";
inline constexpr std::u16string_view SDosCommandNotRunning = u"DosCommand not running";
inline constexpr std::u16string_view SNoCommandLine = u"No Commandline to execute";
inline constexpr std::u16string_view SCreatePipeError = u"Error creating Pipe: %s";
inline constexpr std::u16string_view SCreateProcessError = u"Error creating Process: %s - (%s)";
inline constexpr std::u16string_view SCouldNotStartTimer = u"could not start timer";
inline constexpr std::u16string_view SCouldNotKillTimer = u"could not kill timer";
inline constexpr std::u16string_view SAssertionFailure = u"Assertion failure";

// Events. The sender is always the runner. The two converters run on the runner's own
// threads and must not touch the user interface; every other event runs on the main
// thread.
using TCharDecoding = std::function<std::u16string(TDosCommand& ASender, std::string_view ABuf)>;
using TCharEncoding = std::function<void(TDosCommand& ASender, std::u16string_view AChars, std::string& AOutBuf)>;
using TNewLineEvent = std::function<void(TDosCommand& ASender, const std::u16string& ANewLine, TOutputType AOutputType)>;
using TNewCharEvent = std::function<void(TDosCommand& ASender, char16_t ANewChar)>;
using TErrorEvent = std::function<void(TDosCommand& ASender, const Exception& AE, bool& AHandled)>;
using TTerminateProcessEvent = std::function<void(TDosCommand& ASender, bool& ACanTerminate)>;

// Usage errors of the runner.
class EDosCommand : public Exception {
 public:
  explicit EDosCommand(std::u16string_view message) : Exception("EDosCommand", std::u16string(message)) {}
};

// The pipes of a run could not be made; the text is the system's.
class ECreatePipeError : public Exception {
 public:
  explicit ECreatePipeError(std::u16string_view systemText);
};

// The child could not be started.
class ECreateProcessError : public Exception {
 public:
  ECreateProcessError(std::u16string_view commandLine, std::u16string_view systemText);
};

// The one-second time-limit timer could not be started or stopped.
class EProcessTimer : public Exception {
 public:
  explicit EProcessTimer(std::u16string_view message) : Exception("EProcessTimer", std::u16string(message)) {}
};

// A condition that cannot hold unless the platform misbehaves (a failed pipe read or
// input write).
class EAssertionFailed : public Exception {
 public:
  EAssertionFailed() : Exception("EAssertionFailed", std::u16string(SAssertionFailure)) {}
};

// A message box without owner: the exception's class name, CR LF, its message; the
// caption is the running program's file name. Blocks until dismissed.
void ShowExecuteError(const Exception& AE);

}  // namespace cvl
