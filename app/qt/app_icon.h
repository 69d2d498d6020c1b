// The application icon, from the PNGs built into the program.
#pragma once

#include <QIcon>

namespace tarvex {

QIcon AppIcon();

}  // namespace tarvex
