#include "editor/FormLayout.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <span>
#include <stdexcept>

#include "framework/core/Exception.h"
#include "framework/core/FormStream.h"
#include "framework/core/Persistent.h"
#include "framework/core/TextForm.h"
#include "plugin/Parameters.h"

namespace formlayout {

namespace {

using namespace framework::form;

// Walks the binary form the parser made. The parser only makes well-formed
// streams, so a fault here is a fault of this walker.
class Walker {
 public:
  explicit Walker(std::span<const std::uint8_t> in) : in_(in) {}

  Layout Run() {
    pos_ = 4;  // "TPF0"
    Component root;
    Object(U8(), "", root);
    layout_.clientWidth = root.width;
    layout_.clientHeight = root.height;
    return std::move(layout_);
  }

 private:
  std::span<const std::uint8_t> in_;
  std::size_t pos_ = 0;
  Layout layout_;
  int depth_ = 0;

  [[noreturn]] void Fail(const char* reason) const {
    throw framework::EReadError("Error reading form at byte " + std::to_string(pos_) + ": " + reason);
  }
  std::uint8_t U8() {
    if (pos_ >= in_.size()) Fail("unexpected end of stream");
    return in_[pos_++];
  }
  std::uint32_t U32() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(U8()) << (8 * i);
    return v;
  }
  void Skip(std::size_t n) {
    if (n > in_.size() - pos_) Fail("a value runs past the end of the stream");
    pos_ += n;
  }
  std::string Name(std::uint8_t length) {
    const std::size_t start = pos_;
    Skip(length);
    return std::string(in_.begin() + static_cast<std::ptrdiff_t>(start),
                       in_.begin() + static_cast<std::ptrdiff_t>(pos_));
  }

  // Reads one object: the form's own properties go to `self`; each nested
  // object is listed after its parent.
  void Object(std::uint8_t classLength, const std::string& parent, Component& self) {
    if (++depth_ > kMaxDepth) Fail("nested too deep");
    self.className = Name(classLength);
    self.name = Name(U8());
    self.parent = parent;
    const bool root = depth_ == 1;
    for (std::uint8_t n = U8(); n != kEnd; n = U8()) {
      const std::string path = Name(n);
      int* field = nullptr;
      if (path == "Tag") field = &self.tag;
      if (path == "Left") field = &self.left;
      if (path == "Top") field = &self.top;
      if (path == (root ? "ClientWidth" : "Width")) field = &self.width;
      if (path == (root ? "ClientHeight" : "Height")) field = &self.height;
      if (path == "IndexMain.DIBIndex") field = &self.picture;
      if (path == "NumGlyphs") field = &self.frames;
      if (path == "Opacity") field = &self.opacity;
      Value(field);
    }
    for (std::uint8_t c = U8(); c != kEnd; c = U8()) {
      // Listed before its own children, and looked up by index since the
      // list grows while they are read.
      const std::size_t at = layout_.components.size();
      layout_.components.emplace_back();
      Component child;
      Object(c, self.name, child);
      layout_.components[at] = std::move(child);
    }
    --depth_;
  }

  // Reads one value; an integer goes to `field` when one is given.
  void Value(int* field) {
    const std::uint8_t tag = U8();
    std::int64_t integer = 0;
    bool isInteger = false;
    switch (tag) {
      case kFalse:
      case kTrue:
      case kNil:
        break;
      case kInt8:
        integer = static_cast<std::int8_t>(U8());
        isInteger = true;
        break;
      case kInt16: {
        const std::uint16_t low = U8();
        integer = static_cast<std::int16_t>(low | (U8() << 8));
        isInteger = true;
        break;
      }
      case kInt32:
        integer = static_cast<std::int32_t>(U32());
        isInteger = true;
        break;
      case kExtended:
        Skip(10);
        break;
      case kString:
      case kBinary:
        Skip(U32());
        break;
      case kIdent:
        Skip(U8());
        break;
      case kSet:
        for (std::uint8_t n = U8(); n != kEnd; n = U8()) Skip(n);
        break;
      case kCollection:
        for (std::uint8_t t = U8(); t != kEnd; t = U8()) {
          if (t != kItem) Fail("invalid collection item marker");
          for (std::uint8_t n = U8(); n != kEnd; n = U8()) {
            Skip(n);
            Value(nullptr);
          }
        }
        break;
      default:
        Fail("invalid value tag");
    }
    if (field != nullptr) {
      if (!isInteger) Fail("expected an integer");
      *field = static_cast<int>(integer);
    }
  }
};

std::string BindingText(const parameters::ControlBinding& b) {
  std::string text = "slot " + std::to_string(b.slot) + " \"" + parameters::name(b.slot) + "\"";
  // A rate button carries its number of bars, not its slot.
  if (b.tag != b.slot) text = std::to_string(b.tag) + " bars of " + text;
  return text;
}

}  // namespace

const Component* Layout::find(std::string_view name) const {
  for (const Component& c : components)
    if (framework::SameText(c.name, name)) return &c;
  return nullptr;
}

const Component& Layout::at(std::string_view name) const {
  if (const Component* c = find(name)) return *c;
  throw std::out_of_range("the form has no component " + std::string(name));
}

Layout ReadLayout(std::string_view text) {
  const std::vector<std::uint8_t> binary =
      framework::TextFormToBinary(text, [](const std::string&) { return std::vector<std::uint8_t>{}; });
  return Walker(binary).Run();
}

Layout ReadLayoutFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  const std::string text(std::istreambuf_iterator<char>(in), {});
  return ReadLayout(text);
}

std::vector<std::string> CheckBindings(const Layout& layout) {
  std::vector<std::string> faults;
  for (const Component& c : layout.components) {
    const parameters::ControlBinding* binding = nullptr;
    for (const parameters::ControlBinding& b : parameters::kControls)
      if (framework::SameText(b.control, c.name)) binding = &b;
    if (binding == nullptr) {
      if (c.tag != 0)
        faults.push_back(c.name + ": Tag " + std::to_string(c.tag) +
                         ", expected none (it shows no parameter)");
    } else if (c.tag != binding->tag) {
      faults.push_back(c.name + ": Tag " + std::to_string(c.tag) + ", expected " +
                       std::to_string(binding->tag) + " (" + BindingText(*binding) + ")");
    }
  }
  for (const parameters::ControlBinding& b : parameters::kControls)
    if (layout.find(b.control) == nullptr)
      faults.push_back(std::string(b.control) + ": not in the form (" + BindingText(b) + ")");
  return faults;
}

}  // namespace formlayout
