// The write-backs into "CVLauncher.cfg" after start: single entries changed in place, so
// that comments, order and every other line of the file stay as they are.
#pragma once

#include <cstdint>
#include <string>

namespace cvl {

// The platform's profile-string editing (WritePrivateProfileStringW on Windows). Paths
// are full paths. Each edit returns false when the file could not be written.
class IProfileWriter {
 public:
  virtual ~IProfileWriter() = default;

  // Sets the key, adding the section or key when missing.
  virtual bool WriteString(const std::u16string& fileName, const std::u16string& section,
                           const std::u16string& key, const std::u16string& value) = 0;
  // Removes the section's header and all its lines.
  virtual bool EraseSection(const std::u16string& fileName, const std::u16string& section) = 0;
  // Drops what the platform caches of the file, so the next reader sees the disk.
  virtual void Flush(const std::u16string& fileName) = 0;
};

// Each raises EIniFileException ("Unable to write to <file>") when the edit fails.
void SavePatchVersion(IProfileWriter& writer, const std::u16string& configFileName, std::int32_t level);
void ClearLanguageUpdateFlag(IProfileWriter& writer, const std::u16string& configFileName);
// Once every prerequisite is installed.
void ErasePreSection(IProfileWriter& writer, const std::u16string& configFileName);

}  // namespace cvl
