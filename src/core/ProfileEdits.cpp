#include "ProfileEdits.h"

#include "ConfigNames.h"
#include "SystemErrors.h"
#include "Text.h"

namespace cvl {
namespace {

// The cache is flushed whether or not the edit was written, so that a failed edit does
// not linger in memory as if it were in the file.
void FlushAndCheck(IProfileWriter& writer, const std::u16string& configFileName, bool written) {
  writer.Flush(configFileName);
  if (!written) throw EIniFileException(configFileName);
}

}  // namespace

void SavePatchVersion(IProfileWriter& writer, const std::u16string& configFileName, std::int32_t level) {
  const bool written = writer.WriteString(configFileName, std::u16string(OptionsSection),
                                          std::u16string(PatchVersionKey), IntToText(level));
  FlushAndCheck(writer, configFileName, written);
}

void ClearLanguageUpdateFlag(IProfileWriter& writer, const std::u16string& configFileName) {
  const bool written = writer.WriteString(configFileName, std::u16string(OptionsSection),
                                          std::u16string(UpdateClientLanguageKey), u"0");
  FlushAndCheck(writer, configFileName, written);
}

void ErasePreSection(IProfileWriter& writer, const std::u16string& configFileName) {
  const bool written = writer.EraseSection(configFileName, std::u16string(PreSection));
  FlushAndCheck(writer, configFileName, written);
}

}  // namespace cvl
