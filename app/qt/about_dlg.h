// The about box: icon, name and version, OK.
#pragma once

#include <QDialog>

namespace tarvex {

class CAboutDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace tarvex
