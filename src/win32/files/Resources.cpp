#include "win32/files/Resources.h"

#include <shlwapi.h>

#include "core/Exception.h"
#include "core/Text.h"
#include "win32/base/WinText.h"

namespace cvl {

bool ResourceExists(const wchar_t* name, const wchar_t* type) {
  return ::FindResourceW(nullptr, name, type) != nullptr;
}

std::string LoadResourceBytes(const wchar_t* name, const wchar_t* type) {
  // The resource compiler stores names upper-cased and FindResource compares them
  // without regard to case, so "Carbon" finds CARBON.
  HRSRC found = ::FindResourceW(nullptr, name, type);
  HGLOBAL loaded = found != nullptr ? ::LoadResource(nullptr, found) : nullptr;
  const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (data == nullptr) {
    throw Exception("EResNotFound", FormatText(u"Resource %s not found", {FromWide(name)}));
  }
  return std::string(static_cast<const char*>(data), ::SizeofResource(nullptr, found));
}

TComPtr<IStream> StreamOnBytes(const std::string& bytes) {
  TComPtr<IStream> stream(
      ::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size())));
  if (!stream) throw Exception("EOutOfMemory", u"Out of memory");
  return stream;
}

}  // namespace cvl
