#include "vst3/Utf16.h"

namespace vst3text {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The next code point of text from at, moving at past it.
char32_t NextCodePoint(std::string_view text, std::size_t& at) {
  const auto lead = static_cast<unsigned char>(text[at++]);
  if (lead < 0x80) return lead;
  int more = 0;
  char32_t point = 0;
  if ((lead & 0xE0) == 0xC0) {
    more = 1;
    point = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    more = 2;
    point = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    more = 3;
    point = lead & 0x07;
  } else {
    return kReplacement;
  }
  for (int i = 0; i < more; ++i) {
    if (at >= text.size() || (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80) return kReplacement;
    point = (point << 6) | (static_cast<unsigned char>(text[at++]) & 0x3F);
  }
  // Overlong forms, surrogates and points past Unicode are not text.
  constexpr char32_t kLeast[4] = {0, 0x80, 0x800, 0x10000};
  if (point < kLeast[more] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return kReplacement;
  return point;
}

void Append(std::string& out, char32_t point) {
  if (point < 0x80) {
    out += static_cast<char>(point);
  } else if (point < 0x800) {
    out += static_cast<char>(0xC0 | (point >> 6));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else if (point < 0x10000) {
    out += static_cast<char>(0xE0 | (point >> 12));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (point >> 18));
    out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  }
}

// A code point as one or two UTF-16 units; answers how many.
std::size_t Encode(char32_t point, char16_t (&units)[2]) {
  if (point < 0x10000) {
    units[0] = static_cast<char16_t>(point);
    return 1;
  }
  units[0] = static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
  units[1] = static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
  return 2;
}

}  // namespace

void CopyToUtf16(std::string_view text, char16_t* out, std::size_t capacity) {
  if (out == nullptr || capacity == 0) return;
  std::size_t n = 0;
  for (std::size_t at = 0; at < text.size();) {
    char16_t units[2];
    const std::size_t count = Encode(NextCodePoint(text, at), units);
    if (n + count + 1 > capacity) break;
    for (std::size_t i = 0; i < count; ++i) out[n++] = units[i];
  }
  out[n] = u'\0';
}

std::u16string Utf16Of(std::string_view text) {
  std::u16string out;
  for (std::size_t at = 0; at < text.size();) {
    char16_t units[2];
    out.append(units, Encode(NextCodePoint(text, at), units));
  }
  return out;
}

std::string Utf8Of(const char16_t* text, std::size_t limit) {
  std::string out;
  if (text == nullptr) return out;
  for (std::size_t i = 0; i < limit && text[i] != u'\0'; ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < limit && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      Append(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      Append(out, kReplacement);
    } else {
      Append(out, unit);
    }
  }
  return out;
}

}  // namespace vst3text
