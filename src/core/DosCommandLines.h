// The console runner's text handling that needs no process: turning the child's output
// into lines (DoReadLine), turning an input entry into the text to write (DoSendLine up
// to the write), and finding a multi-byte character cut by a read boundary.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace cvl {

enum TOutputType { otEntireLine = 0, otBeginningOfLine = 1 };

// What the line assembly reports. The runner's worker posts each of these to the main
// thread, in call order.
class ILineEvents {
 public:
  virtual ~ILineEvents() = default;
  virtual void NewChar(char16_t ANewChar) = 0;
  virtual void LinesAdd(const std::u16string& ALine) = 0;
  virtual void NewLine(const std::u16string& ANewLine, TOutputType AOutputType) = 0;
  // The live mirror (OutputLines); only called when the run has one.
  virtual void OutputAppend(const std::u16string& AText) = 0;
  virtual void OutputReplaceLast(const std::u16string& AText) = 0;
  // A line break arrived: the since-last-output time limit starts again.
  virtual void NewOutput() = 0;
};

// The state of one run's output: the unfinished line, whether it stands as the last entry
// of OutputLines, and the previous character (for CR LF split across pieces).
class TLineAssembler {
 public:
  TLineAssembler(ILineEvents& AEvents, bool AHasOutputLines, bool AReportChars);

  // Assembles one piece of decoded output. AStopRequested is asked before each
  // character; when it answers true the rest of the piece is dropped and the unfinished
  // line keeps its value from before the piece.
  void DoReadLine(std::u16string_view APiece, const std::function<bool()>& AStopRequested);

  // At the end of a run: an unfinished line becomes a line of its own.
  void FinishPending();

  // Input echo (InputToOutput): the unfinished output line followed by the written text
  // is reported as an entire line, never added to Lines.
  void EchoInput(std::u16string_view AWritten);

  const std::u16string& Pending() const { return FPending; }

 private:
  void EndLine(const std::u16string& ALine);
  void ShowInOutput(const std::u16string& AText);

  ILineEvents& FEvents;
  bool FHasOutputLines;
  bool FReportChars;
  std::u16string FPending;
  bool FPartialShown = false;
  std::optional<char16_t> FPrevious;
};

// SendLine's queue entry: a marker ("_" for a line end to add, a blank for none) and the
// value.
std::u16string MakeInputEntry(std::u16string_view AValue, bool AEol);
// The text an entry asks to write, CR LF included; empty means nothing is written.
std::u16string InputEntryText(std::u16string_view AEntry);

// How many bytes at the end of a read start a character that the next read completes:
// for a double-byte code page, given its lead-byte test, and for UTF-8. Those bytes are
// held back and decoded with the next read, so no character is split in two.
std::size_t IncompleteDbcsTail(std::string_view ABytes, const std::function<bool(unsigned char)>& AIsLeadByte);
std::size_t IncompleteUtf8Tail(std::string_view ABytes);

}  // namespace cvl
