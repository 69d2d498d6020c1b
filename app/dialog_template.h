// The main window's controls as a template: id, kind, text and place in dialog units.
#pragma once

#include <QRect>
#include <QSize>
#include <span>

namespace tarvex {

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
  QRect du;  // position and size in dialog units
  bool enabled;
  bool visible;
};

inline constexpr QSize MAIN_DIALOG_SIZE_DU{286, 129};
inline constexpr QSize ABOUT_DIALOG_SIZE_DU{170, 62};

// In template order, which is also the tab order.
std::span<const ControlTemplate> MainDialogTemplate();

}  // namespace tarvex
