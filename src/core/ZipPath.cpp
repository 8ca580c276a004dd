#include "ZipPath.h"

#include "Text.h"
#include "ZipReader.h"

namespace cvl {
namespace {

[[noreturn]] void Refuse(std::u16string_view name, std::u16string_view why) {
  throw EZipError(u"unsafe entry \"" + std::u16string(name) + u"\" (" + std::u16string(why) + u")");
}

bool IsDeviceName(std::u16string_view part) {
  const std::u16string base = UpperAscii(part.substr(0, part.find(u'.')));
  static constexpr std::u16string_view kDevices[] = {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"};
  for (const auto device : kDevices) {
    if (base == device) return true;
  }
  return base.size() == 4 && (base.rfind(u"COM", 0) == 0 || base.rfind(u"LPT", 0) == 0) && base[3] >= u'0' &&
         base[3] <= u'9';
}

void CheckCharacters(std::u16string_view name, std::u16string_view part) {
  for (const char16_t c : part) {
    if (c < 0x20 || c == u'<' || c == u'>' || c == u'"' || c == u'|' || c == u'?' || c == u'*') {
      Refuse(name, u"a character Windows cannot store");
    }
  }
  if (IsDeviceName(part)) Refuse(name, u"a device name");
}

}  // namespace

std::vector<std::u16string> SafeEntryPath(std::u16string_view name) {
  std::u16string path(name);
  for (char16_t& c : path) {
    if (c == u'\\') c = u'/';
  }
  if (!path.empty() && path[0] == u'/') Refuse(name, u"an absolute path");
  if (path.find(u':') != std::u16string::npos) Refuse(name, u"a drive or stream name");
  std::vector<std::u16string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(u'/', start);
    if (end == std::u16string::npos) end = path.size();
    const std::u16string_view part = std::u16string_view(path).substr(start, end - start);
    if (part == u"..") {
      if (parts.empty()) Refuse(name, u"it climbs out of the target folder");
      parts.pop_back();
    } else if (!part.empty() && part != u".") {
      CheckCharacters(name, part);
      parts.emplace_back(part);
    }
    start = end + 1;
  }
  return parts;
}

}  // namespace cvl
