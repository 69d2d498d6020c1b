// The main window's controls as a template: id, kind, text and place in dialog units. Both
// dialogs are laid out from it (the Windows resource script states the same values, and its test
// compares them).
#pragma once

#include <span>

namespace tarvex {

struct DuRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

struct DuSize {
  int width = 0;
  int height = 0;
};

enum class ControlKind {
  PushButton,
  PortList,      // editable combo box with a drop-down list
  ReadOnlyEdit,  // bordered, scrolls horizontally
  ProgressBar,
  StaticText,  // left-aligned label
  Picture,     // bitmap control
  LogoArea,    // where the logo file is drawn
};

struct ControlTemplate {
  int id;
  ControlKind kind;
  const char* text;
  DuRect du;  // position and size in dialog units
  bool enabled;
  bool visible;
};

inline constexpr DuSize MAIN_DIALOG_SIZE_DU{286, 129};
inline constexpr DuSize ABOUT_DIALOG_SIZE_DU{170, 62};

// In template order, which is also the tab order.
std::span<const ControlTemplate> MainDialogTemplate();

}  // namespace tarvex
