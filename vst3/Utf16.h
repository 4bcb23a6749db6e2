#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// VST3 hands text around as UTF-16 in fixed arrays; ours is UTF-8. The
// plug-in and our host kit convert with the same code.
namespace vst3text {

// Writes text into a host's array of capacity units (128 for a String128),
// cut at a whole character and always terminated. Malformed UTF-8 comes out
// as U+FFFD.
void CopyToUtf16(std::string_view text, char16_t* out, std::size_t capacity);

// A host's terminated UTF-16 text (at most limit units are read) as UTF-8;
// unpaired surrogates come out as U+FFFD.
std::string Utf8Of(const char16_t* text, std::size_t limit = 128);

// All of text as UTF-16, malformed UTF-8 as U+FFFD.
std::u16string Utf16Of(std::string_view text);

}  // namespace vst3text
