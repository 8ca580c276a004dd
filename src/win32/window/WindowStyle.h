// Visual styles carried as resources of type "CVSTYLE": small text files of our own,
// one "Key=#RRGGBB" line each (';' starts a comment line). A style colours the standard
// controls of the program's windows; drawn components keep their own colours.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace cvl {

struct TVisualStyle {
  std::u16string Name;
  COLORREF Window = RGB(0xF0, 0xF0, 0xF0);
  COLORREF WindowText = RGB(0, 0, 0);
  COLORREF Edit = RGB(0xFF, 0xFF, 0xFF);
  COLORREF EditText = RGB(0, 0, 0);
  COLORREF Button = RGB(0xE1, 0xE1, 0xE1);
  COLORREF ButtonText = RGB(0, 0, 0);
};

// Reads a style's text; keys it does not know and malformed lines are skipped.
TVisualStyle ParseVisualStyle(const std::string& text);

// The style of that name among the program's resources (any letter case), if any.
std::optional<TVisualStyle> FindVisualStyle(const std::u16string& name);

// Makes the named style the active one. Returns false, leaving the system's own look,
// when the program carries no style of that name.
bool TrySetVisualStyle(const std::u16string& name);
// The active style; the system's own colours until one is set.
const TVisualStyle& ActiveVisualStyle();

}  // namespace cvl
