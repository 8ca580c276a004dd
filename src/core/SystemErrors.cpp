#include "SystemErrors.h"

#include "IntegerText.h"
#include "Text.h"

namespace cvl {

EFOpenError::EFOpenError(std::u16string_view path, std::u16string_view reason)
    : Exception("EFOpenError", FormatText(FOpenErrorText, {path, reason})) {}

EFCreateError::EFCreateError(std::u16string_view path, std::u16string_view reason)
    : Exception("EFCreateError", FormatText(FCreateErrorText, {path, reason})) {}

EConvertError::EConvertError(std::u16string_view text)
    : Exception("EConvertError", FormatText(InvalidIntegerText, {text})) {}

ERegistryException::ERegistryException(std::u16string_view valueName)
    : Exception("ERegistryException", FormatText(InvalidRegistryDataTypeText, {valueName})) {}

EIniFileException::EIniFileException(std::u16string_view fileName)
    : Exception("EIniFileException", FormatText(IniFileWriteErrorText, {fileName})) {}

std::int32_t StrToInt(std::u16string_view text) {
  const auto value = TryStrToInt(text);
  if (!value) throw EConvertError(text);
  return *value;
}

}  // namespace cvl
