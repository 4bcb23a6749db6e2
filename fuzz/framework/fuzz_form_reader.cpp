// The binary form reader against arbitrary bytes: it may refuse the input
// with an EReadError, never anything else, and must leave the root as it was
// (no component left, no field dangling, nothing leaked). What it accepts it
// must write back and read again. The text printer gets the same bytes.

#include <cstdint>
#include <cstdlib>
#include <span>

#include "framework/core/FormStream.h"
#include "framework/core/TextForm.h"
#include "tests/framework/core/FakeComponents.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool registered = (fake::RegisterFakes(), true);
  (void)registered;
  const std::span<const std::uint8_t> bytes(data, size);

  fake::TForm form;
  bool accepted = true;
  try {
    framework::ReadForm(bytes, form);
  } catch (const framework::EReadError&) {
    accepted = false;
  }
  if (!accepted && (form.ComponentCount() != 0 || form.button1 || form.images || form.IsLoading()))
    std::abort();
  if (accepted) {
    // Written back, it reads again and writes the same bytes.
    const std::vector<std::uint8_t> once = framework::WriteForm(form);
    fake::TForm again;
    framework::ReadForm(once, again);
    if (framework::WriteForm(again) != once) std::abort();
  }

  // Created by class name: the same rules, through the other entry.
  try {
    auto top = framework::ReadForm(bytes);
  } catch (const framework::EReadError&) {
  }

  try {
    const std::string text = framework::BinaryFormToText(bytes);
    // What prints, parses (the printer emits only what the parser reads).
    framework::TextFormToBinary(text);
  } catch (const framework::EReadError&) {
  }
  return 0;
}
