#include "framework/core/TextForm.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "framework/core/FormStream.h"
#include "framework/core/Persistent.h"
#include "framework/core/Stream.h"

namespace framework {

namespace {

using namespace form;

bool IsAlpha(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
bool IsIdent(std::string_view s) {
  if (s.empty() || !IsAlpha(s[0])) return false;
  for (char c : s)
    if (!IsAlpha(c) && !IsDigit(c)) return false;
  return true;
}
bool IsKeyword(std::string_view s) {
  return SameText(s, "True") || SameText(s, "False") || SameText(s, "nil");
}

class Parser {
 public:
  Parser(std::string_view text, const FileLoader& loader) : t_(text), loader_(loader) {}

  std::vector<std::uint8_t> Run() {
    out_.WriteBuffer(kSignature, 4);
    Space();
    if (AtEnd()) Fail("the text holds no object");
    Object(0);
    Space();
    if (!AtEnd()) Fail("unexpected text after the object");
    return std::move(out_.Bytes());
  }

 private:
  std::string_view t_;
  const FileLoader& loader_;
  std::size_t pos_ = 0;
  TMemoryStream out_;

  bool AtEnd() const { return pos_ >= t_.size(); }
  char Peek() const { return AtEnd() ? '\0' : t_[pos_]; }

  [[noreturn]] void Fail(const std::string& reason) const {
    int line = 1, column = 1;
    for (std::size_t i = 0; i < pos_ && i < t_.size(); ++i) {
      if (t_[i] == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    throw EParserError("line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + reason);
  }

  void Space() {
    while (!AtEnd()) {
      const char c = t_[pos_];
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        ++pos_;
      } else if (c == '/' && pos_ + 1 < t_.size() && t_[pos_ + 1] == '/') {
        while (!AtEnd() && t_[pos_] != '\n') ++pos_;
      } else {
        break;
      }
    }
  }

  void Expect(char c) {
    Space();
    if (Peek() != c) Fail(std::string("expected '") + c + "'");
    ++pos_;
  }

  std::string Ident() {
    Space();
    if (!IsAlpha(Peek())) Fail("expected a name");
    const std::size_t start = pos_;
    while (!AtEnd() && (IsAlpha(t_[pos_]) || IsDigit(t_[pos_]))) ++pos_;
    return std::string(t_.substr(start, pos_ - start));
  }

  void Name(const std::string& name) {
    if (name.size() > 255) Fail("a name is longer than 255 characters");
    out_.WriteU8(static_cast<std::uint8_t>(name.size()));
    out_.WriteBuffer(name.data(), name.size());
  }

  void Depth(int depth) {
    if (depth >= kMaxDepth) Fail("nested deeper than " + std::to_string(kMaxDepth) + " levels");
  }

  void Object(int depth) {
    Depth(depth);
    const std::string className = Ident();
    Space();
    const std::string name = IsAlpha(Peek()) ? Ident() : std::string();
    Space();
    if (Peek() != '{') Fail("expected '=' after a property name or '{' after an object's names");
    ++pos_;
    Name(className);
    Name(name);
    // Properties first: a name followed by '=' or '.'.
    for (;;) {
      Space();
      if (Peek() == '}' || AtEnd()) break;
      const std::size_t save = pos_;
      Ident();
      Space();
      const bool property = Peek() == '=' || Peek() == '.';
      pos_ = save;
      if (!property) break;
      Property(depth);
    }
    out_.WriteU8(kEnd);
    for (;;) {
      Space();
      if (Peek() == '}') break;
      if (AtEnd()) Fail("expected '}'");
      const std::size_t save = pos_;
      Ident();
      Space();
      if (Peek() == '=' || Peek() == '.') {
        pos_ = save;
        Fail("properties must come before the nested objects");
      }
      pos_ = save;
      Object(depth + 1);
    }
    ++pos_;
    out_.WriteU8(kEnd);
  }

  void Property(int depth) {
    std::string path = Ident();
    while (Space(), Peek() == '.') {
      ++pos_;
      path += '.';
      path += Ident();
    }
    Expect('=');
    Name(path);
    ParseValue(depth);
  }

  void Integer(std::int64_t v) {
    if (v >= -128 && v <= 127) {
      out_.WriteU8(kInt8);
      out_.WriteU8(static_cast<std::uint8_t>(v));
    } else if (v >= -32768 && v <= 32767) {
      out_.WriteU8(kInt16);
      out_.WriteU16(static_cast<std::uint16_t>(v));
    } else {
      out_.WriteU8(kInt32);
      out_.WriteU32(static_cast<std::uint32_t>(v));
    }
  }

  void Binary(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() > kMaxBinary) Fail("binary value longer than " + std::to_string(kMaxBinary) + " bytes");
    out_.WriteU8(kBinary);
    out_.WriteU32(static_cast<std::uint32_t>(bytes.size()));
    out_.WriteBuffer(bytes.data(), bytes.size());
  }

  std::string QuotedString() {
    Space();
    if (Peek() != '"') Fail("expected a string");
    ++pos_;
    std::string s;
    for (;;) {
      if (AtEnd()) Fail("unterminated string");
      const char c = t_[pos_++];
      if (c == '"') break;
      if (c == '\n') Fail("line break inside a string");
      if (c != '\\') {
        s += c;
        continue;
      }
      const char e = Peek();
      ++pos_;
      switch (e) {
        case '\\':
          s += '\\';
          break;
        case '"':
          s += '"';
          break;
        case 'n':
          s += '\n';
          break;
        case 'r':
          s += '\r';
          break;
        case 't':
          s += '\t';
          break;
        case 'x': {
          const int hi = HexValue(Peek());
          const int lo = pos_ + 1 < t_.size() ? HexValue(t_[pos_ + 1]) : -1;
          if (hi < 0 || lo < 0) Fail("\\x needs two hex digits");
          s += static_cast<char>(hi * 16 + lo);
          pos_ += 2;
          break;
        }
        default:
          Fail("unknown escape in a string");
      }
    }
    return s;
  }

  void Number() {
    const std::size_t start = pos_;
    if (Peek() == '-') ++pos_;
    if (!IsDigit(Peek())) Fail("expected a number");
    if (Peek() == '0' && pos_ + 1 < t_.size() && (t_[pos_ + 1] == 'x' || t_[pos_ + 1] == 'X')) {
      pos_ += 2;
      const std::size_t digits = pos_;
      while (HexValue(Peek()) >= 0) ++pos_;
      if (pos_ == digits || pos_ - digits > 8) Fail("expected up to 8 hex digits");
      const std::string text(t_.substr(digits, pos_ - digits));
      std::int64_t v = static_cast<std::int64_t>(std::strtoull(text.c_str(), nullptr, 16));
      if (t_[start] == '-') v = -v;
      if (v < std::numeric_limits<std::int32_t>::min() || v > 0xFFFFFFFFll) Fail("integer out of range");
      // Hex spells the 32 bits, so 0xFFFFFFFF is -1.
      if (v > std::numeric_limits<std::int32_t>::max())
        v = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
      return Integer(v);
    }
    bool real = false;
    while (IsDigit(Peek())) ++pos_;
    if (Peek() == '.') {
      real = true;
      ++pos_;
      if (!IsDigit(Peek())) Fail("expected digits after '.'");
      while (IsDigit(Peek())) ++pos_;
    }
    if (Peek() == 'e' || Peek() == 'E') {
      real = true;
      ++pos_;
      if (Peek() == '+' || Peek() == '-') ++pos_;
      if (!IsDigit(Peek())) Fail("expected an exponent");
      while (IsDigit(Peek())) ++pos_;
    }
    if (IsAlpha(Peek())) Fail("unexpected character after a number");
    const std::string text(t_.substr(start, pos_ - start));
    if (real) {
      const long double v = std::strtold(text.c_str(), nullptr);
      std::uint8_t b[10];
      EncodeExtended(v, b);
      out_.WriteU8(kExtended);
      out_.WriteBuffer(b, 10);
      return;
    }
    if (text.size() > 12) Fail("integer out of range");
    const long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
      Fail("integer out of range");
    Integer(v);
  }

  void ParseValue(int depth) {
    Space();
    const char c = Peek();
    if (c == '"') {
      const std::string s = QuotedString();
      if (s.size() > kMaxString) Fail("string longer than " + std::to_string(kMaxString) + " bytes");
      out_.WriteU8(kString);
      out_.WriteU32(static_cast<std::uint32_t>(s.size()));
      out_.WriteBuffer(s.data(), s.size());
    } else if (c == '-' || IsDigit(c)) {
      Number();
    } else if (c == '[') {
      ++pos_;
      out_.WriteU8(kSet);
      Space();
      if (Peek() == ']') {
        ++pos_;
      } else {
        for (;;) {
          Name(Ident());
          Space();
          if (Peek() == ']') {
            ++pos_;
            break;
          }
          Expect(',');
        }
      }
      out_.WriteU8(kEnd);
    } else if (c == '<') {
      ++pos_;
      std::vector<std::uint8_t> bytes;
      int high = -1;
      for (;;) {
        Space();
        if (AtEnd()) Fail("unterminated binary value");
        const char h = t_[pos_];
        if (h == '>') break;
        const int v = HexValue(h);
        if (v < 0) Fail("expected hex digits or '>'");
        ++pos_;
        if (high < 0) {
          high = v;
        } else {
          bytes.push_back(static_cast<std::uint8_t>(high * 16 + v));
          high = -1;
        }
      }
      if (high >= 0) Fail("odd number of hex digits");
      ++pos_;
      Binary(bytes);
    } else if (c == '@') {
      ++pos_;
      if (Ident() != "file") Fail("expected @file");
      Expect('(');
      const std::string name = QuotedString();
      Expect(')');
      if (!loader_) Fail("@file is not available here");
      std::vector<std::uint8_t> bytes;
      try {
        bytes = loader_(name);
      } catch (const std::exception& e) {
        Fail("cannot read \"" + name + "\": " + e.what());
      }
      Binary(bytes);
    } else if (c == '(') {
      ++pos_;
      out_.WriteU8(kCollection);
      for (;;) {
        Space();
        if (Peek() == ')') {
          ++pos_;
          break;
        }
        Expect('{');
        Depth(depth + 1);
        out_.WriteU8(kItem);
        for (;;) {
          Space();
          if (Peek() == '}') {
            ++pos_;
            break;
          }
          if (AtEnd()) Fail("expected '}'");
          Property(depth + 1);
        }
        out_.WriteU8(kEnd);
      }
      out_.WriteU8(kEnd);
    } else if (IsAlpha(c)) {
      const std::string id = Ident();
      if (SameText(id, "True")) {
        out_.WriteU8(kTrue);
      } else if (SameText(id, "False")) {
        out_.WriteU8(kFalse);
      } else if (SameText(id, "nil")) {
        out_.WriteU8(kNil);
      } else if (id == "ext" && (Space(), Peek() == '(')) {
        ++pos_;
        std::uint8_t b[10];
        for (int i = 0; i < 10; ++i) {
          Space();
          const int hi = HexValue(Peek());
          const int lo = pos_ + 1 < t_.size() ? HexValue(t_[pos_ + 1]) : -1;
          if (hi < 0 || lo < 0) Fail("ext() needs 20 hex digits");
          b[i] = static_cast<std::uint8_t>(hi * 16 + lo);
          pos_ += 2;
        }
        Expect(')');
        out_.WriteU8(kExtended);
        out_.WriteBuffer(b, 10);
      } else {
        out_.WriteU8(kIdent);
        Name(id);
      }
    } else {
      Fail("expected a value");
    }
  }
};

// Prints a binary form; fails with the byte offset of the first fault.
class Printer {
 public:
  Printer(std::span<const std::uint8_t> in, const BinarySink& sink) : in_(in), sink_(sink) {}

  std::string Run() {
    if (in_.size() < 4 || std::memcmp(in_.data(), kSignature, 4) != 0) Fail("no TPF0 signature");
    pos_ = 4;
    const std::uint8_t n = U8();
    if (n == 0) Fail("the form has no object");
    Object(n, 0);
    return std::move(out_);
  }

 private:
  std::span<const std::uint8_t> in_;
  const BinarySink& sink_;
  std::size_t pos_ = 0;
  std::string out_;

  [[noreturn]] void Fail(const std::string& reason) const {
    throw EReadError("Error reading form at byte " + std::to_string(pos_) + ": " + reason);
  }
  std::uint8_t U8() {
    if (pos_ >= in_.size()) Fail("unexpected end of stream");
    return in_[pos_++];
  }
  std::span<const std::uint8_t> Take(std::size_t n) {
    if (n > in_.size() - pos_) Fail("a value runs past the end of the stream");
    auto s = in_.subspan(pos_, n);
    pos_ += n;
    return s;
  }
  std::uint32_t U32() {
    auto b = Take(4);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
  }
  std::string RawName(std::uint8_t n) {
    auto b = Take(n);
    return std::string(b.begin(), b.end());
  }
  std::string IdentName(std::uint8_t n) {
    std::string s = RawName(n);
    if (!IsIdent(s)) Fail("invalid identifier");
    return s;
  }
  void Indent(int depth) { out_.append(static_cast<std::size_t>(depth) * 2, ' '); }

  void Object(std::uint8_t classLength, int depth) {
    if (depth >= kMaxDepth) Fail("nested too deep");
    const std::string cls = IdentName(classLength);
    const std::uint8_t n = U8();
    const std::string name = n ? IdentName(n) : std::string();
    Indent(depth);
    out_ += cls;
    if (!name.empty()) out_ += " " + name;
    out_ += " {\n";
    Properties(depth + 1);
    for (std::uint8_t c = U8(); c != 0; c = U8()) Object(c, depth + 1);
    Indent(depth);
    out_ += "}\n";
  }

  void Properties(int depth) {
    for (std::uint8_t n = U8(); n != 0; n = U8()) {
      const std::string path = RawName(n);
      std::size_t start = 0;
      for (;;) {
        const std::size_t dot = path.find('.', start);
        if (!IsIdent(std::string_view(path).substr(start, dot - start))) Fail("invalid property name");
        if (dot == std::string::npos) break;
        start = dot + 1;
      }
      Indent(depth);
      out_ += path + " = ";
      PrintValue(path, depth);
    }
  }

  void PrintValue(const std::string& path, int depth) {
    const std::uint8_t tag = U8();
    switch (tag) {
      case kFalse:
        out_ += "False\n";
        return;
      case kTrue:
        out_ += "True\n";
        return;
      case kNil:
        out_ += "nil\n";
        return;
      case kInt8:
        out_ += std::to_string(static_cast<std::int8_t>(U8())) + "\n";
        return;
      case kInt16: {
        auto b = Take(2);
        out_ += std::to_string(static_cast<std::int16_t>(b[0] | (b[1] << 8))) + "\n";
        return;
      }
      case kInt32:
        out_ += std::to_string(static_cast<std::int32_t>(U32())) + "\n";
        return;
      case kExtended:
        out_ += Extended(Take(10).data()) + "\n";
        return;
      case kString: {
        const std::uint32_t n = U32();
        auto b = Take(n);
        out_ += Quote(b) + "\n";
        return;
      }
      case kIdent: {
        const std::string id = IdentName(U8());
        if (IsKeyword(id)) Fail("identifier " + id + " cannot be printed");
        out_ += id + "\n";
        return;
      }
      case kSet: {
        out_ += "[";
        bool first = true;
        for (std::uint8_t n = U8(); n != 0; n = U8()) {
          out_ += (first ? "" : ", ") + IdentName(n);
          first = false;
        }
        out_ += "]\n";
        return;
      }
      case kBinary: {
        const std::uint32_t n = U32();
        Binary(path, Take(n), depth);
        return;
      }
      case kCollection: {
        if (depth >= kMaxDepth) Fail("nested too deep");
        out_ += "(\n";
        for (std::uint8_t t = U8(); t != kEnd; t = U8()) {
          if (t != kItem) Fail("invalid collection item marker");
          Indent(depth + 1);
          out_ += "{\n";
          Properties(depth + 2);
          Indent(depth + 1);
          out_ += "}\n";
        }
        Indent(depth);
        out_ += ")\n";
        return;
      }
      default:
        Fail("invalid value tag " + std::to_string(tag));
    }
  }

  static std::string Quote(std::span<const std::uint8_t> b) {
    std::string s = "\"";
    for (std::uint8_t c : b) {
      if (c == '"' || c == '\\') {
        s += '\\';
        s += static_cast<char>(c);
      } else if (c == '\n') {
        s += "\\n";
      } else if (c == '\r') {
        s += "\\r";
      } else if (c == '\t') {
        s += "\\t";
      } else if (c < 0x20 || c == 0x7F) {
        char hex[5];
        std::snprintf(hex, sizeof hex, "\\x%02x", c);
        s += hex;
      } else {
        s += static_cast<char>(c);
      }
    }
    return s + "\"";
  }

  static std::string Hex(std::span<const std::uint8_t> b) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (std::uint8_t c : b) {
      s += digits[c >> 4];
      s += digits[c & 15];
    }
    return s;
  }

  // The shortest decimal that gives back the same ten bytes, in plain
  // notation where that reads well; the bytes themselves when no decimal does.
  static std::string Extended(const std::uint8_t* bytes) {
    const long double v = DecodeExtended(bytes);
    auto same = [&](const char* text) {
      std::uint8_t back[10];
      EncodeExtended(std::strtold(text, nullptr), back);
      return std::memcmp(back, bytes, 10) == 0;
    };
    if (std::isfinite(v) && std::numeric_limits<long double>::digits >= 64) {
      char text[128];
      const long double magnitude = std::fabs(v);
      if (magnitude == 0 || (magnitude >= 1e-4L && magnitude < 1e15L)) {
        for (int decimals = 1; decimals <= 40; ++decimals) {
          std::snprintf(text, sizeof text, "%.*Lf", decimals, v);
          if (same(text)) return text;
        }
      }
      for (int precision = 1; precision <= 21; ++precision) {
        std::snprintf(text, sizeof text, "%.*Le", precision, v);
        if (same(text)) return text;
      }
    }
    return "ext(" + Hex(std::span<const std::uint8_t>(bytes, 10)) + ")";
  }

  void Binary(const std::string& path, std::span<const std::uint8_t> b, int depth) {
    if (sink_) {
      if (auto file = sink_(path, b)) {
        out_ += "@file(" +
                Quote(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(file->data()),
                                                    file->size())) +
                ")\n";
        return;
      }
    }
    if (b.size() <= 32) {
      // Appended, not "<" + ...: GCC 12 at -O3 warns falsely (-Wrestrict) on a literal plus a temporary.
      out_.append("<").append(Hex(b)).append(">\n");
      return;
    }
    out_ += "<\n";
    for (std::size_t i = 0; i < b.size(); i += 32) {
      Indent(depth + 1);
      for (std::size_t j = i; j < i + 32 && j < b.size(); j += 4) {
        if (j != i) out_ += ' ';
        out_ += Hex(b.subspan(j, std::min<std::size_t>(4, b.size() - j)));
      }
      out_ += '\n';
    }
    Indent(depth);
    out_ += ">\n";
  }
};

}  // namespace

std::vector<std::uint8_t> TextFormToBinary(std::string_view text, const FileLoader& loadFile) {
  return Parser(text, loadFile).Run();
}

std::string BinaryFormToText(std::span<const std::uint8_t> form, const BinarySink& sink) {
  return Printer(form, sink).Run();
}

}  // namespace framework
