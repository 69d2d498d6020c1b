#include "ui/dialog_template.h"

#include <array>

#include "ui/control_ids.h"

namespace tarvex {

namespace {

using enum ControlKind;

// The port list's 94 units include the dropped-down list; the field itself is as tall as its
// font needs.
constexpr std::array<ControlTemplate, 11> MAIN_DIALOG{{
    {ID_QUIT, PushButton, "Quit", {150, 97, 59, 20}, true, true},
    {ID_DOWNLOAD, PushButton, "Download", {19, 97, 57, 20}, false, true},
    {ID_PORT_LIST, PortList, "", {20, 13, 43, 94}, true, true},
    {ID_IMAGE_PATH, ReadOnlyEdit, "", {20, 35, 194, 16}, true, true},
    {ID_OPEN, PushButton, "Open", {236, 34, 32, 16}, true, true},
    {ID_PROGRESS, ProgressBar, "", {19, 60, 249, 17}, true, true},
    {ID_STATUS, StaticText, "", {22, 81, 113, 16}, true, true},
    {ID_MODEL, ReadOnlyEdit, "", {111, 12, 102, 15}, true, true},
    {ID_TEST, PushButton, "Test", {84, 97, 59, 20}, true, true},
    {ID_HIDDEN_PICTURE, Picture, "", {72, 105, 61, 17}, true, false},
    {ID_LOGO, LogoArea, "", {216, 100, 60, 17}, true, true},
}};

}  // namespace

std::span<const ControlTemplate> MainDialogTemplate() {
  return MAIN_DIALOG;
}

}  // namespace tarvex
