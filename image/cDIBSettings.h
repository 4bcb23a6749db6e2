#pragma once

#include <string>

namespace image {

// Chooses the compressor used when pictures are written. The choice is
// process-wide; destroying the settings object returns to "store raw".
class TDIBSettings {
 public:
  TDIBSettings() = default;
  ~TDIBSettings();
  TDIBSettings(const TDIBSettings&) = delete;
  TDIBSettings& operator=(const TDIBSettings&) = delete;

  // The current compressor's identifier in its 38-character form, or empty.
  std::string DIBCompressor() const;
  // Selects the compressor with exactly this identifier; none when no
  // registered compressor matches.
  void SetDIBCompressor(const std::string& id);
};

}  // namespace image
