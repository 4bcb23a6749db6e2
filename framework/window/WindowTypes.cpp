#include "framework/window/WindowTypes.h"

#include "framework/graphics/Types.h"

namespace framework {

const IdentMap& CursorIdents() {
  static const IdentMap map{{
      {"crDefault", crDefault},     {"crNone", crNone},
      {"crArrow", crArrow},         {"crCross", crCross},
      {"crIBeam", crIBeam},         {"crSizeNESW", crSizeNESW},
      {"crSizeNS", crSizeNS},       {"crSizeNWSE", crSizeNWSE},
      {"crSizeWE", crSizeWE},       {"crUpArrow", crUpArrow},
      {"crHourGlass", crHourGlass}, {"crDrag", crDrag},
      {"crNoDrop", crNoDrop},       {"crHSplit", crHSplit},
      {"crVSplit", crVSplit},       {"crNo", crNo},
      {"crAppStart", crAppStart},   {"crHelp", crHelp},
      {"crHandPoint", crHandPoint}, {"crSizeAll", crSizeAll},
  }};
  return map;
}

}  // namespace framework
