// The launcher's errors: a class name and a message, like the system's own error boxes
// show them.
#pragma once

#include <exception>
#include <string>

namespace cvl {

class Exception : public std::exception {
 public:
  Exception(std::string className, std::u16string message);

  const std::string& ClassName() const noexcept { return FClassName; }
  const std::u16string& Message() const noexcept { return FMessage; }
  // The message in UTF-8.
  const char* what() const noexcept override { return FWhat.c_str(); }

 private:
  std::string FClassName;
  std::u16string FMessage;
  std::string FWhat;
};

// A protected value that does not decrypt (see DecryptString).
class EDecryptError : public Exception {
 public:
  explicit EDecryptError(std::u16string message) : Exception("EDecryptError", std::move(message)) {}
};

}  // namespace cvl
