#pragma once

// The readable text form, kept in the repository and turned into the binary
// form stream (FormStream.h) at build time. It mirrors the binary form one to
// one and knows no classes, so any text that parses has exactly one binary
// form, and the printer gives back text that parses to the same bytes.
//
//   // a comment runs to the end of the line
//   TPluginWindow PluginWindow {          class name, then the instance name
//     Caption = "Plonkrift6"              (which may be left out)
//     Tag = 7                             integer (also 0x1F, -5)
//     Scale = 100.0                       extended: has a '.' or an exponent;
//     Odd = ext(00000000000000C80540)     or the ten stream bytes in hex
//     Visible = True                      True / False
//     Mode = tmAuto                       identifier (enumeration, colour,
//     OnClick = ButtonClick               method or component name)
//     Target = nil                        no reference, no handler
//     Anchors = [akLeft, akBottom]        set
//     DIB.Width = 29                      property of a sub-object
//     DIB.Data = <0400 0200 ff00ff00>     binary: hex digits, blanks ignored
//     DIB.Data = @file("stepon.pic")      binary: the bytes of a file
//     Items = (                           collection: one {...} per item
//       { DisplayName = "first" }
//       { }
//     )
//     TChild child1 {                     nested objects come after the
//     }                                   properties
//   }
//
// Strings are UTF-8 between double quotes with the escapes \\ \" \n \r \t
// and \xHH. Numbers are read and printed in the "C" locale.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "framework/core/Exception.h"

namespace framework {

// A syntax error in a text form: "line L, column C: reason".
class EParserError : public Exception {
 public:
  using Exception::Exception;
};

// Gives the bytes of the file named in @file("..."); raises on failure.
using FileLoader = std::function<std::vector<std::uint8_t>(const std::string& name)>;
// Offered each binary value while printing (with the property's path);
// returns a file name to print as @file("name") after storing the bytes
// there, or nothing to print the bytes in hex.
using BinarySink =
    std::function<std::optional<std::string>(const std::string& path, std::span<const std::uint8_t> bytes)>;

// Raises EParserError; @file without a loader is an error.
std::vector<std::uint8_t> TextFormToBinary(std::string_view text, const FileLoader& loadFile = {});
// Raises EReadError for a stream that is not a well-formed form.
std::string BinaryFormToText(std::span<const std::uint8_t> form, const BinarySink& sink = {});

}  // namespace framework
