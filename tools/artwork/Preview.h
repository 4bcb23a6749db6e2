// A picture of the whole editor as it looks at the default parameter values,
// composed from the generated pictures at the places of the editor's layout.
#pragma once

#include <array>

#include "tools/artwork/Pictures.h"

namespace artwork {

using PictureSet = std::array<Surface, kPictureCount>;

// With `infoShown`, the information screen has been moved into the window.
Surface composePreview(const PictureSet& pictures, const Layout& layout, bool infoShown);

}  // namespace artwork
