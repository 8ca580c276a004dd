// The in-place edits of "CVLauncher.cfg" through the platform's profile functions, which
// keep comments, order and every other line of the file.
#pragma once

#include <cstdint>
#include <string>

#include "core/ProfileEdits.h"

namespace cvl {

// WritePrivateProfileStringW on the file's full path (a bare name would land in the
// Windows folder); Flush is the same function with all three texts null.
class TWin32ProfileWriter : public IProfileWriter {
 public:
  bool WriteString(const std::u16string& fileName, const std::u16string& section, const std::u16string& key,
                   const std::u16string& value) override;
  bool EraseSection(const std::u16string& fileName, const std::u16string& section) override;
  void Flush(const std::u16string& fileName) override;
};

// The write-backs on the real file; each raises EIniFileException on failure.
void SavePatchVersion(const std::u16string& configFileName, std::int32_t level);
void ClearLanguageUpdateFlag(const std::u16string& configFileName);
void ErasePreSection(const std::u16string& configFileName);

}  // namespace cvl
