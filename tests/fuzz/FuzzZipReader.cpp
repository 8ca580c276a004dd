// Any bytes read as a ZIP archive either raise EZipError or give entries whose data
// never exceeds their recorded size; entry names are either refused or stay relative.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/ZipPath.h"
#include "core/ZipReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    cvl::TZipReader reader(cvl::MemoryZipSource(std::string(reinterpret_cast<const char*>(data), size)));
    for (const cvl::TZipEntry& entry : reader.Entries()) {
      try {
        for (const auto& part : cvl::SafeEntryPath(entry.Name)) {
          if (part.empty() || part == u".." || part.find(u'/') != std::u16string::npos ||
              part.find(u'\\') != std::u16string::npos || part.find(u':') != std::u16string::npos) {
            __builtin_trap();
          }
        }
      } catch (const cvl::EZipError&) {
      }
      std::uint64_t produced = 0;
      try {
        reader.ReadEntry(entry, [&](std::string_view piece) { produced += piece.size(); });
      } catch (const cvl::EZipError&) {
      }
      if (produced > entry.UncompressedSize) __builtin_trap();
    }
  } catch (const cvl::EZipError&) {
  }
  return 0;
}
