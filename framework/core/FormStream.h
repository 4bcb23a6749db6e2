#pragma once

// The binary form stream: a component tree with its published properties.
//
//   form       = "TPF0" object
//   object     = name(class) name(instance) property* 00 object* 00
//                (nested objects are the components placed inside this one)
//   name       = u8 length, then that many bytes (ASCII identifier; a class
//                name is never empty, an instance name may be)
//   property   = name(path) value        path: "Tag", "DIB.Width", ...
//   value      = tag payload, all integers little-endian:
//     01 False                         02 True
//     03 int8                          04 int16
//     05 extended: 10 bytes, the 80-bit value (64-bit significand with
//        explicit integer bit, then sign and 15-bit exponent)
//     06 int32                         07 nil (no reference, no handler)
//     08 string: u32 length, UTF-8 bytes
//     09 identifier: name
//     0A binary: u32 length, bytes
//     0B set: name* 00                 (each element a non-empty name)
//     0C collection: (01 property* 00)* 00
//
// A zero byte where a name is expected ends the list. The writer picks the
// smallest integer tag that holds the value; the reader takes any of them.
// Published properties come first (ancestors' first), then defined ones;
// unstored ones are left out. A component reference is the identifier of a
// component owned by the root (or of the root itself) and is resolved after
// the whole form is read; an event is the identifier of a method the root's
// class publishes.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "framework/core/Component.h"
#include "framework/core/Stream.h"

namespace framework {

namespace form {
inline constexpr char kSignature[4] = {'T', 'P', 'F', '0'};
enum Tag : std::uint8_t {
  kEnd = 0x00,
  kFalse = 0x01,
  kTrue = 0x02,
  kInt8 = 0x03,
  kInt16 = 0x04,
  kExtended = 0x05,
  kInt32 = 0x06,
  kNil = 0x07,
  kString = 0x08,
  kIdent = 0x09,
  kBinary = 0x0A,
  kSet = 0x0B,
  kCollection = 0x0C,
  kItem = 0x01,  // starts an item inside a collection
};
// Limits that keep a hostile stream from exhausting memory or the stack.
inline constexpr int kMaxDepth = 32;                    // objects and collection items
inline constexpr std::uint32_t kMaxString = 1u << 20;   // 1 MiB
inline constexpr std::uint32_t kMaxBinary = 64u << 20;  // 64 MiB

// The 80-bit extended format, independent of the compiler's long double.
void EncodeExtended(long double value, std::uint8_t out[10]);
long double DecodeExtended(const std::uint8_t in[10]);
}  // namespace form

// Reads a form stream. Errors are EReadError (EClassNotFound for an unknown
// class) with a message "Error reading <component>.<property>: <reason>";
// an error raised by a property setter arrives as such an EReadError with the
// original exception nested (std::rethrow_if_nested). After a failure nothing
// the read created remains: every component it made is destroyed.
class FormReader {
 public:
  explicit FormReader(TStream& stream) : stream_(stream) {}

  // Reads into an existing root whose class must be the stream's top class:
  // sets its name and properties, creates its components (owned by it), binds
  // events to its published methods, resolves references, calls Loaded.
  // Property changes already made to the root itself stay after a failure.
  void ReadRootComponent(TComponent& root);
  // Creates the top component by class name through the registry.
  std::unique_ptr<TComponent> ReadComponent();
  // Reads a bare property list (no signature, no object header, ended by 00)
  // into object; events bind to root's methods, references to root's
  // components.
  void ReadProperties(TPersistent& object, TComponent& root);

 private:
  TStream& stream_;
};

class FormWriter {
 public:
  explicit FormWriter(TStream& stream) : stream_(stream) {}

  // Writes the root and, nested as GetChildren gives them, every component it
  // owns. Components owned by others are left out.
  void WriteRootComponent(TComponent& root);
  // The counterpart of FormReader::ReadProperties.
  void WriteProperties(TPersistent& object);

 private:
  TStream& stream_;
};

// Conveniences over a memory buffer.
// Lasting: the bytes stay, unchanged, until the process ends (an embedded
// resource), so readers of binary values may keep them by address instead of
// copying them (TStream::Lasting).
enum class TFormBytes { Transient, Lasting };
void ReadForm(std::span<const std::uint8_t> bytes, TComponent& root, TFormBytes kind = TFormBytes::Transient);
std::unique_ptr<TComponent> ReadForm(std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> WriteForm(TComponent& root);

// Every binary value of a form in stream order, with the property path as
// stored ("DIB.Data") and the value's bytes where they lie in form; nothing is
// created. A malformed form raises EReadError (values met before the fault
// have been visited).
using BinaryValueVisitor = std::function<void(std::string_view path, std::span<const std::uint8_t> value)>;
void ForEachBinaryValue(std::span<const std::uint8_t> form, const BinaryValueVisitor& visit);

}  // namespace framework
