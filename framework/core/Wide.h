#pragma once

// Text for the system's wide-character (UTF-16) functions in the Windows
// build: the framework's strings are UTF-8.

#include <string>

namespace framework {

// text as UTF-16; invalid sequences become U+FFFD.
std::wstring Wide(const std::string& text);

}  // namespace framework
