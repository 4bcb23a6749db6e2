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

const IdentMap& ColorIdents() {
  static const IdentMap map{{
      {"clBlack", clBlack},     {"clMaroon", clMaroon},
      {"clGreen", clGreen},     {"clOlive", clOlive},
      {"clNavy", clNavy},       {"clPurple", clPurple},
      {"clTeal", clTeal},       {"clGray", clGray},
      {"clSilver", clSilver},   {"clRed", clRed},
      {"clLime", clLime},       {"clYellow", clYellow},
      {"clBlue", clBlue},       {"clFuchsia", clFuchsia},
      {"clAqua", clAqua},       {"clWhite", clWhite},
      {"clWindow", clWindow},   {"clWindowText", clWindowText},
      {"clBtnFace", clBtnFace}, {"clBtnShadow", clBtnShadow},
      {"clBtnText", clBtnText}, {"clBtnHighlight", clBtnHighlight},
      {"clNone", clNone},       {"clDefault", clDefault},
  }};
  return map;
}

}  // namespace framework
