// RSB files: any file either loads or raises the format's errors; a loaded
// picture saves and loads again to the same size.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "framework/core/Exception.h"
#include "framework/core/Stream.h"
#include "image/DIBRSBFormat.h"
#include "image/cDIB.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  image::TMemoryDIB dib(2, 2);
  image::TDIBRSBFormat rsb;
  rsb.SetDIB(&dib);
  framework::TReadOnlyMemoryStream in(std::span<const std::uint8_t>(data, size));
  try {
    rsb.LoadFromStream(in);
  } catch (const framework::Exception&) {
    return 0;
  }
  framework::TMemoryStream file;
  rsb.SaveToStream(file);
  file.SetPosition(0);
  image::TMemoryDIB again;
  rsb.SetDIB(&again);
  rsb.LoadFromStream(file);
  if (again.Width() != dib.Width() || again.Height() != dib.Height() || again.Masked() != dib.Masked())
    std::abort();
  return 0;
}
