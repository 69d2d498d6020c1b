#include "app/ctarvex_dlg.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <atomic>
#include <limits>

#include "app/about_dlg.h"
#include "app/app_icon.h"
#include "app/dialog_template.h"
#include "app/dialog_units.h"
#include "app/logo_control.h"
#include "app/logo_pixels.h"
#include "app/port_choices.h"
#include "app/ui_texts.h"
#include "image/image_loader.h"

namespace tarvex {

namespace {

constexpr int POPUP_MARGIN = 24;  // pixels beside the longest port name in the dropped list

int ProgressValue(std::uint32_t value) {
  return static_cast<int>(std::min<std::uint32_t>(value, std::numeric_limits<int>::max()));
}

QString FromUtf8(const std::string& utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string LocalPath(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

}  // namespace

CtarvexDlg::CtarvexDlg(DialogSeams seams, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      caller_(*this) {
  if (seams.prompter == nullptr) {
    ownPrompter_ = std::make_unique<QtPrompter>();
    seams.prompter = ownPrompter_.get();
  }
  prompter_ = seams.prompter;
  if (!seams.makeBackend) {
    seams.makeBackend = MakeNativePortBackend;
  }
  if (!seams.listAdapters) {
    seams.listAdapters = FoundSerialAdapters;
  }

  setWindowTitle(QString::fromUtf8(MAIN_CAPTION));
  setWindowIcon(AppIcon());
  BuildControls(seams.listAdapters());
  job_ = std::make_unique<DownloadJob>(*this, seams.makeBackend(), std::move(seams.jobOptions));
}

CtarvexDlg::~CtarvexDlg() {
  ShutDownJob();
}

void CtarvexDlg::BuildControls(const QStringList& adapters) {
  const DialogBase base = DialogBaseFor(font());
  // Created in template order, which makes it the tab order too.
  for (const ControlTemplate& control : MainDialogTemplate()) {
    QWidget* widget = MakeControl(control, adapters);
    widget->setObjectName(QString::number(control.id));
    widget->setProperty("controlId", control.id);
    QRect geometry = DialogRectToPixels(control.du, base);
    if (control.kind == ControlKind::PortList) {
      geometry.setHeight(widget->sizeHint().height());  // the rest of the height is the list
    }
    widget->setGeometry(geometry);
    widget->setEnabled(control.enabled);
    widget->setVisible(control.visible);
    controls_[control.id] = widget;
  }
  setFixedSize(DialogSizeToPixels(MAIN_DIALOG_SIZE_DU, base));
}

QWidget* CtarvexDlg::MakeControl(const ControlTemplate& control, const QStringList& adapters) {
  const QString text = QString::fromUtf8(control.text);
  switch (control.kind) {
    case ControlKind::PushButton: {
      auto* button = new QPushButton(text, this);
      // No button is the default, so Enter never presses one (and never closes the window).
      button->setAutoDefault(false);
      if (control.id == ID_QUIT) {
        connect(button, &QPushButton::clicked, this, &QDialog::reject);
      } else if (control.id == ID_DOWNLOAD) {
        downloadButton_ = button;
        connect(button, &QPushButton::clicked, this, &CtarvexDlg::OnBnClickedDownload);
      } else if (control.id == ID_TEST) {
        connect(button, &QPushButton::clicked, this, &CtarvexDlg::OnBnClickedTest);
      } else if (control.id == ID_OPEN) {
        connect(button, &QPushButton::clicked, this, &CtarvexDlg::OnOpenImage);
      }
      return button;
    }
    case ControlKind::PortList: {
      portList_ = new QComboBox(this);
      portList_->setEditable(true);
      portList_->setInsertPolicy(QComboBox::NoInsert);  // typed text is used, never added
      portList_->addItems(PortChoices(adapters));
      portList_->setCurrentIndex(0);
      // Adapter paths are longer than the field; let the dropped list show them whole.
      QAbstractItemView* list = portList_->view();
      list->setMinimumWidth(list->sizeHintForColumn(0) + POPUP_MARGIN);
      return portList_;
    }
    case ControlKind::ReadOnlyEdit: {
      auto* edit = new QLineEdit(text, this);
      edit->setReadOnly(true);
      (control.id == ID_IMAGE_PATH ? pathEdit_ : modelEdit_) = edit;
      return edit;
    }
    case ControlKind::ProgressBar:
      progressBar_ = new QProgressBar(this);
      progressBar_->setTextVisible(false);
      progressBar_->setRange(0, 100);
      progressBar_->setValue(0);
      return progressBar_;
    case ControlKind::StaticText:
      statusLabel_ = new QLabel(text, this);
      statusLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return statusLabel_;
    case ControlKind::Picture: {
      auto* picture = new QLabel(this);
      picture->setPixmap(QPixmap(QStringLiteral(":/tarvex/logo.png")));
      return picture;
    }
    case ControlKind::LogoArea:
      logoControl_ = new LogoControl(this);
      return logoControl_;
  }
  return nullptr;
}

QWidget* CtarvexDlg::Control(int id) const {
  const auto found = controls_.find(id);
  return found == controls_.end() ? nullptr : found->second;
}

QString CtarvexDlg::PortName() const {
  return portList_->currentText().trimmed();
}

// --- Commands -----------------------------------------------------------------------------

void CtarvexDlg::OnOpenImage() {
  const QStringList chosen = prompter_->AskOpenFiles(this, QString::fromUtf8(OPEN_FILE_FILTER));
  // Several files may be chosen; the first one is opened.
  if (chosen.isEmpty() || QFileInfo(chosen.front()).fileName().isEmpty()) {
    return;
  }
  const QString previousPath = imagePath_;
  imagePath_ = QFileInfo(chosen.front()).absoluteFilePath();
  pathEdit_->setText(imagePath_);

  const ImageLoad load = LoadImage(LocalPath(imagePath_));
  if (!load.ok()) {
    ShowPrompterMessage(QString::fromUtf8(TEXT_FILE_ERROR));
    // The job still holds the previous image; the path box shows that one again, so what
    // the window shows is what a Download sends.
    imagePath_ = previousPath;
    pathEdit_->setText(imagePath_);
    return;
  }
  modelText_ = QString::fromLocal8Bit(load.image->modelText);
  // A running download keeps its own copy; this image is for the next one.
  job_->SetImage(*load.image);
  // While a download runs the button is its Cancel and the job decides its state.
  if (downloadButton_->text() == QLatin1String(TEXT_DOWNLOAD)) {
    downloadButton_->setEnabled(true);
  }
  modelEdit_->setText(modelText_);
}

void CtarvexDlg::OnBnClickedDownload() {
  job_->OnBnClickedDownload(LocalPath(PortName()));
}

void CtarvexDlg::OnBnClickedTest() {
  job_->OnBnClickedTest(LocalPath(PortName()));
}

std::unique_ptr<QMenu> CtarvexDlg::MakeWindowMenu() {
  auto menu = std::make_unique<QMenu>(this);
  menu->addAction(QString::fromUtf8(ABOUT_MENU_ENTRY), this, &CtarvexDlg::ShowAbout);
  return menu;
}

void CtarvexDlg::ShowAbout() {
  CAboutDlg about(this);
  about.exec();
}

int CtarvexDlg::DrawLogo(const QString& path) {
  logoControl_->SetLogo(QImage());
  const QImage decoded(path);
  if (decoded.isNull()) {
    ShowPrompterMessage(QString::fromUtf8(MSG_NO_LOGO));
    return -1;
  }
  logoControl_->SetLogo(PremultiplyLogo(decoded));
  return 0;
}

// --- Window events ------------------------------------------------------------------------

void CtarvexDlg::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  if (logoAttempted_ || logoScheduled_ || isMinimized()) {
    return;
  }
  // After this paint has finished: the attempt may show a modal message. A repaint meanwhile
  // starts no second attempt.
  logoScheduled_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        DrawLogo(QString::fromUtf8(LOGO_FILE));
        logoAttempted_ = true;
        emit LogoAttemptFinished();
      },
      Qt::QueuedConnection);
}

void CtarvexDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();  // Enter never closes the window
    return;
  }
  QDialog::keyPressEvent(event);  // Escape closes it
}

void CtarvexDlg::contextMenuEvent(QContextMenuEvent* event) {
  // Desktops give Qt no window menu to extend, so its About entry lives here.
  MakeWindowMenu()->exec(event->globalPos());
}

void CtarvexDlg::done(int result) {
  ShutDownJob();
  QDialog::done(result);
}

void CtarvexDlg::ShutDownJob() {
  if (!job_) {
    return;
  }
  // The cancel path without the question, while worker calls are still served.
  if (job_->IsRunning()) {
    job_->Stop();
  }
  // A worker may be waiting for this thread right now; release it, and every later call, so
  // that joining it cannot hang.
  caller_.StopServing();
  job_->WaitForWorker();
  caller_.ResumeServing();
}

// --- JobView ------------------------------------------------------------------------------

// Each call takes its own copies: a caller released at shutdown may return before it has run.

void CtarvexDlg::SetStatusText(const std::string& utf8) {
  caller_.Call([this, text = FromUtf8(utf8)] {
    statusLabel_->setText(text);
    emit StatusShown(text);
  });
}

void CtarvexDlg::SetProgressRange(std::uint32_t low, std::uint32_t high) {
  caller_.Call(
      [this, low, high] { progressBar_->setRange(ProgressValue(low), ProgressValue(high)); });
}

void CtarvexDlg::SetProgressPos(std::uint32_t pos) {
  caller_.Call([this, pos] { progressBar_->setValue(ProgressValue(pos)); });
}

void CtarvexDlg::EnableControl(int id, bool enable) {
  caller_.Call([this, id, enable] {
    if (QWidget* control = Control(id)) {
      control->setEnabled(enable);
    }
  });
}

void CtarvexDlg::SetDownloadText(const std::string& utf8) {
  caller_.Call([this, text = FromUtf8(utf8)] { downloadButton_->setText(text); });
}

void CtarvexDlg::ShowMessage(const std::string& utf8) {
  caller_.Call([this, text = FromUtf8(utf8)] { ShowPrompterMessage(text); });
}

bool CtarvexDlg::AskOkCancel(const std::string& utf8) {
  // Atomic: a caller released at shutdown reads it while the question may still be open.
  auto ok = std::make_shared<std::atomic<bool>>(false);  // a released call counts as Cancel
  caller_.Call([this, ok, text = FromUtf8(utf8)] {
    *ok = prompter_->AskOkCancel(this, QString::fromUtf8(APP_NAME), text);
  });
  return *ok;
}

void CtarvexDlg::NotifyReceived() {
  // The link is write-only: received bytes are noticed and otherwise left alone.
}

void CtarvexDlg::ShowPrompterMessage(const QString& text) {
  prompter_->ShowMessage(this, QString::fromUtf8(APP_NAME), text);
}

}  // namespace tarvex
