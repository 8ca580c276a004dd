// In-memory files beside a made-up program folder, for the native tests of the
// configuration and the log.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "core/AnsiCodePage.h"
#include "core/LocalFiles.h"
#include "core/SystemErrors.h"

namespace cvl {

class TFakeLocalFiles : public ILocalFiles {
 public:
  std::u16string Directory = u"C:\\Launcher\\";
  std::map<std::u16string, std::string> Files;
  bool FailReads = false;
  bool FailWrites = false;
  int Writes = 0;

  std::u16string ProgramDirectory() override { return Directory; }

  std::optional<std::string> ReadWholeFile(const std::u16string& path) override {
    const auto found = Files.find(path);
    if (found == Files.end()) return std::nullopt;
    if (FailReads) throw EFOpenError(path, u"Access is denied.");
    return found->second;
  }

  void WriteWholeFile(const std::u16string& path, std::string_view bytes) override {
    if (FailWrites) throw EFCreateError(path, u"Access is denied.");
    ++Writes;
    Files[path] = std::string(bytes);
  }

  const IAnsiCodePage& AnsiCodePage() override { return FCodePage; }

 private:
  TWindows1252CodePage FCodePage;
};

}  // namespace cvl
