#include "LogFile.h"

#include "TextEncoding.h"

namespace cvl {

void WriteLog(ILocalFiles& files, const std::u16string& line) {
  const std::u16string path = files.ProgramDirectory() + std::u16string(LogFileName);
  TTextEncoding encoding = TTextEncoding::Ansi;
  std::u16string text;
  if (const std::optional<std::string> bytes = files.ReadWholeFile(path)) {
    const TDecodedText decoded = DecodeText(*bytes, files.AnsiCodePage());
    encoding = decoded.Encoding;
    // Re-joined line by line, so that LF-only or CR-only breaks become CR LF.
    for (const std::u16string& old : SplitLines(decoded.Text)) text += old + u"\r\n";
  }
  text += line + u"\r\n";
  files.WriteWholeFile(path, EncodeText(text, encoding, files.AnsiCodePage()));
}

}  // namespace cvl
