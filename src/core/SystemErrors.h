// The errors the launcher shares with the system's own runtime: the file, conversion,
// registry and profile errors, with the texts users see in the error box.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "Exception.h"

namespace cvl {

inline constexpr std::u16string_view FOpenErrorText = u"Cannot open file \"%s\". %s";
inline constexpr std::u16string_view FCreateErrorText = u"Cannot create file \"%s\". %s";
inline constexpr std::u16string_view InvalidIntegerText = u"'%s' is not a valid integer value";
inline constexpr std::u16string_view InvalidRegistryDataTypeText = u"Invalid data type for '%s'";
inline constexpr std::u16string_view IniFileWriteErrorText = u"Unable to write to %s";

// An existing file that cannot be opened for reading; reason is the system's text.
class EFOpenError : public Exception {
 public:
  EFOpenError(std::u16string_view path, std::u16string_view reason);
};

// A file that cannot be created or replaced; reason is the system's text.
class EFCreateError : public Exception {
 public:
  EFCreateError(std::u16string_view path, std::u16string_view reason);
};

// A text that the standard conversion does not take as an integer.
class EConvertError : public Exception {
 public:
  explicit EConvertError(std::u16string_view text);
};

// A registry value of a type the reader does not take.
class ERegistryException : public Exception {
 public:
  explicit ERegistryException(std::u16string_view valueName);
};

// A profile edit that the platform could not write.
class EIniFileException : public Exception {
 public:
  explicit EIniFileException(std::u16string_view fileName);
};

// The standard conversion (TryStrToInt), raising EConvertError for a text it rejects.
std::int32_t StrToInt(std::u16string_view text);

}  // namespace cvl
