#include "app/qt/about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "app/qt/app_icon.h"
#include "app/qt/dialog_units.h"
#include "ui/dialog_template.h"
#include "ui/ui_texts.h"

namespace tarvex {

namespace {

constexpr QRect ICON_DU(14, 14, 21, 20);
constexpr QRect VERSION_LINE_DU(42, 14, 114, 8);
constexpr QRect SECOND_LINE_DU(42, 26, 114, 8);
constexpr QRect OK_BUTTON_DU(113, 41, 50, 14);
constexpr int ICON_SIZE = 32;  // pixels

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setWindowTitle(QString::fromUtf8(ABOUT_CAPTION));
  const DialogBase base = DialogBaseFor(font());

  auto* icon = new QLabel(this);
  icon->setPixmap(AppIcon().pixmap(ICON_SIZE, ICON_SIZE));
  icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  icon->setGeometry(DialogRectToPixels(ICON_DU, base));

  auto* versionLine = new QLabel(QString::fromUtf8(ABOUT_VERSION_LINE), this);
  versionLine->setGeometry(DialogRectToPixels(VERSION_LINE_DU, base));
  auto* secondLine = new QLabel(QString::fromUtf8(ABOUT_SECOND_LINE), this);
  secondLine->setGeometry(DialogRectToPixels(SECOND_LINE_DU, base));

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("1"));
  ok->setDefault(true);
  ok->setGeometry(DialogRectToPixels(OK_BUTTON_DU, base));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  ok->setFocus();

  setFixedSize(DialogSizeToPixels(ToQSize(ABOUT_DIALOG_SIZE_DU), base));
}

}  // namespace tarvex
