#pragma once

#include <string>

#include "framework/core/Component.h"

namespace image {

// Chooses the compressor used when pictures are written; a stored form
// carries one to say how its pictures were made. The choice is process-wide
// and only writing consults it (a stored picture names its own compressor),
// so an editor reading its form changes nothing another instance reads.
// Destroying the settings returns to "store raw".
class TDIBSettings : public framework::TComponent {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TDIBSettings(framework::TComponent* owner = nullptr) : framework::TComponent(owner) {}
  ~TDIBSettings() override;

  // The current compressor's identifier in its 38-character form, or empty.
  std::string DIBCompressor() const;
  // Selects the compressor with exactly this identifier; none when no
  // registered compressor matches.
  void SetDIBCompressor(const std::string& id);
};

void RegisterSettingsClasses();

}  // namespace image
