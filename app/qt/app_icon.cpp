#include "app/qt/app_icon.h"

#include <QString>

namespace tarvex {

QIcon AppIcon() {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 256}) {
    icon.addFile(QStringLiteral(":/tarvex/icons/tarvex-%1.png").arg(size), QSize(size, size));
  }
  return icon;
}

}  // namespace tarvex
