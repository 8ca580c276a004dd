#include "DosCommandLines.h"

namespace cvl {

namespace {

constexpr char16_t kNul = 0;
constexpr char16_t kCr = 13;
constexpr char16_t kLf = 10;
constexpr char16_t kEolMarker = u'_';
constexpr char16_t kNoEolMarker = u' ';
constexpr std::u16string_view kCrLf = u"\r\n";

}  // namespace

TLineAssembler::TLineAssembler(ILineEvents& AEvents, bool AHasOutputLines, bool AReportChars)
    : FEvents(AEvents), FHasOutputLines(AHasOutputLines), FReportChars(AReportChars) {}

void TLineAssembler::ShowInOutput(const std::u16string& AText) {
  if (!FHasOutputLines) return;
  if (FPartialShown) {
    FEvents.OutputReplaceLast(AText);
  } else {
    FEvents.OutputAppend(AText);
  }
}

void TLineAssembler::EndLine(const std::u16string& ALine) {
  FEvents.NewOutput();
  FEvents.LinesAdd(ALine);
  ShowInOutput(ALine);
  FPartialShown = false;
  FEvents.NewLine(ALine, otEntireLine);
}

void TLineAssembler::DoReadLine(std::u16string_view APiece, const std::function<bool()>& AStopRequested) {
  if (APiece.empty()) return;
  std::u16string working = FPending;
  for (char16_t ch : APiece) {
    if (AStopRequested && AStopRequested()) return;
    if (FReportChars) FEvents.NewChar(ch);
    if (ch == kCr || ch == kLf) {
      // CR LF is one line break, also when the CR ended the previous piece.
      if (!(ch == kLf && FPrevious == kCr)) {
        EndLine(working);
        working.clear();
      }
    } else if (ch != kNul) {
      working.push_back(ch);
    }
    FPrevious = ch;
  }
  FPending = std::move(working);
  if (!FPending.empty()) {
    ShowInOutput(FPending);
    FEvents.NewLine(FPending, otBeginningOfLine);
    FPartialShown = true;
  }
}

void TLineAssembler::FinishPending() {
  if (FPending.empty()) return;
  FEvents.LinesAdd(FPending);
  ShowInOutput(FPending);
  FPartialShown = false;
  FEvents.NewLine(FPending, otEntireLine);
  FPending.clear();
}

void TLineAssembler::EchoInput(std::u16string_view AWritten) {
  std::u16string echo = FPending;
  echo.append(AWritten);
  ShowInOutput(echo);
  FPartialShown = false;
  FEvents.NewLine(echo, otEntireLine);
  FPending.clear();
}

std::u16string MakeInputEntry(std::u16string_view AValue, bool AEol) {
  std::u16string entry(1, AEol ? kEolMarker : kNoEolMarker);
  entry.append(AValue);
  return entry;
}

std::u16string InputEntryText(std::u16string_view AEntry) {
  if (AEntry.empty()) return {};
  std::u16string text(AEntry.substr(1));
  if (AEntry.front() == kEolMarker) text.append(kCrLf);
  return text;
}

std::size_t IncompleteDbcsTail(std::string_view ABytes, const std::function<bool(unsigned char)>& AIsLeadByte) {
  // A trail byte can look like a lead byte, so walk from the start.
  std::size_t i = 0;
  while (i < ABytes.size()) {
    if (AIsLeadByte(static_cast<unsigned char>(ABytes[i]))) {
      if (i + 1 == ABytes.size()) return 1;
      i += 2;
    } else {
      ++i;
    }
  }
  return 0;
}

std::size_t IncompleteUtf8Tail(std::string_view ABytes) {
  // Look back over at most three continuation bytes for the sequence's first byte.
  const std::size_t n = ABytes.size();
  for (std::size_t back = 1; back <= 4 && back <= n; ++back) {
    const auto byte = static_cast<unsigned char>(ABytes[n - back]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte
    std::size_t length = 1;
    if ((byte & 0xE0) == 0xC0) {
      length = 2;
    } else if ((byte & 0xF0) == 0xE0) {
      length = 3;
    } else if ((byte & 0xF8) == 0xF0) {
      length = 4;
    }
    return length > back ? back : 0;
  }
  return 0;
}

}  // namespace cvl
