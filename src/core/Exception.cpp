#include "Exception.h"

#include <utility>

#include "Text.h"

namespace cvl {

Exception::Exception(std::string className, std::u16string message)
    : FClassName(std::move(className)), FMessage(std::move(message)), FWhat(Utf16ToUtf8(FMessage)) {}

}  // namespace cvl
