#pragma once

#include <stdexcept>
#include <string>

namespace framework {

// Base of every error the toolkit raises. Each carries a fixed English message
// that callers and tests compare verbatim.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// Reading past the end of a stream, or a stream that cannot grow.
class EReadError : public Exception {
 public:
  using Exception::Exception;
};

class EWriteError : public Exception {
 public:
  using Exception::Exception;
};

}  // namespace framework
