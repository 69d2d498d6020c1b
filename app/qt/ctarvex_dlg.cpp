#include "app/qt/ctarvex_dlg.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <limits>

#include "app/qt/about_dlg.h"
#include "app/qt/app_icon.h"
#include "app/qt/dialog_units.h"
#include "app/qt/logo_control.h"
#include "app/qt/logo_pixels.h"
#include "ui/dialog_template.h"
#include "ui/port_choices.h"
#include "ui/ui_texts.h"

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

QStringList FoundAdapterNames() {
  QStringList names;
  for (const std::string& name : FoundSerialAdapters()) {
    names.append(QFile::decodeName(QByteArray::fromStdString(name)));
  }
  return names;
}

QStringList PortChoiceList(const QStringList& adapters) {
  std::vector<std::string> names;
  for (const QString& adapter : adapters) {
    names.push_back(LocalPath(adapter));
  }
  QStringList choices;
  for (const std::string& choice : PortChoices(names)) {
    choices.append(QFile::decodeName(QByteArray::fromStdString(choice)));
  }
  return choices;
}

// The first local file among those dragged; empty when there is none.
QString DraggedFile(const QMimeData* data) {
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) {
      return url.toLocalFile();
    }
  }
  return {};
}

}  // namespace

CtarvexDlg::CtarvexDlg(DialogSeams seams, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  if (seams.prompter == nullptr) {
    ownPrompter_ = std::make_unique<QtPrompter>();
    seams.prompter = ownPrompter_.get();
  }
  prompter_ = seams.prompter;
  if (!seams.listAdapters) {
    seams.listAdapters = FoundAdapterNames;
  }

  setWindowTitle(QString::fromUtf8(MAIN_CAPTION));
  setAcceptDrops(true);
  setWindowIcon(AppIcon());
  BuildControls(seams.listAdapters());
  UiThreadHooks hooks{
      .wake =
          [this] {
            QMetaObject::invokeMethod(
                this, [this] { logic_->RunPendingCalls(); }, Qt::QueuedConnection);
          },
      .onUiThread = [this] { return QThread::currentThread() == thread(); },
  };
  WindowView& view = *this;
  const QString programFolder =
      seams.programFolder.value_or(QCoreApplication::applicationDirPath());
  logic_ = std::make_unique<WindowLogic>(
      view, std::move(hooks),
      WindowSeams{std::move(seams.jobOptions), std::move(seams.makeBackend),
                  LocalPath(programFolder)});
}

CtarvexDlg::~CtarvexDlg() {
  logic_->ShutDown();
}

void CtarvexDlg::BuildControls(const QStringList& adapters) {
  const DialogBase base = DialogBaseFor(font());
  // Created in template order, which makes it the tab order too.
  for (const ControlTemplate& control : MainDialogTemplate()) {
    QWidget* widget = MakeControl(control, adapters);
    widget->setObjectName(QString::number(control.id));
    widget->setProperty("controlId", control.id);
    QRect geometry = DialogRectToPixels(ToQRect(control.du), base);
    if (control.kind == ControlKind::PortList) {
      geometry.setHeight(widget->sizeHint().height());  // the rest of the height is the list
    }
    widget->setGeometry(geometry);
    widget->setEnabled(control.enabled);
    widget->setVisible(control.visible);
    controls_[control.id] = widget;
  }
  setFixedSize(DialogSizeToPixels(ToQSize(MAIN_DIALOG_SIZE_DU), base));
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
      portList_->addItems(PortChoiceList(adapters));
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
  logic_->OnOpenImage();
}

void CtarvexDlg::OnBnClickedDownload() {
  logic_->OnDownload();
}

void CtarvexDlg::OnBnClickedTest() {
  logic_->OnTest();
}

std::unique_ptr<QMenu> CtarvexDlg::MakeWindowMenu() {
  auto menu = std::make_unique<QMenu>(this);
  menu->addAction(QString::fromUtf8(ABOUT_MENU_ENTRY), this, &CtarvexDlg::ShowAbout);
  return menu;
}

void CtarvexDlg::OpenImageFile(const QString& path) {
  logic_->OpenImage(LocalPath(path));
}

void CtarvexDlg::ShowAbout() {
  CAboutDlg about(this);
  about.exec();
}

// --- Window events ------------------------------------------------------------------------

void CtarvexDlg::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  if (!logic_->LogoDue(isMinimized())) {
    return;
  }
  // After this paint has finished: the attempt may show a modal message.
  QMetaObject::invokeMethod(
      this,
      [this] {
        logic_->AttemptLogo();
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

// A file is taken only while Open is available.
void CtarvexDlg::dragEnterEvent(QDragEnterEvent* event) {
  if (Control(ID_OPEN)->isEnabled() && !DraggedFile(event->mimeData()).isEmpty()) {
    event->acceptProposedAction();
  }
}

void CtarvexDlg::dropEvent(QDropEvent* event) {
  const QString path = DraggedFile(event->mimeData());
  if (!path.isEmpty()) {
    event->acceptProposedAction();
    OpenImageFile(path);
  }
}

void CtarvexDlg::done(int result) {
  logic_->ShutDown();
  QDialog::done(result);
}

// --- WindowView ---------------------------------------------------------------------------

void CtarvexDlg::SetControlText(int id, const std::string& utf8) {
  const QString text = FromUtf8(utf8);
  if (id == ID_STATUS) {
    statusLabel_->setText(text);
    emit StatusShown(text);
  } else if (id == ID_DOWNLOAD) {
    downloadButton_->setText(text);
  } else if (id == ID_IMAGE_PATH || id == ID_MODEL) {
    (id == ID_IMAGE_PATH ? pathEdit_ : modelEdit_)->setText(text);
  }
}

std::string CtarvexDlg::ControlText(int id) const {
  if (id == ID_DOWNLOAD) {
    return downloadButton_->text().toStdString();
  }
  if (id == ID_STATUS) {
    return statusLabel_->text().toStdString();
  }
  return {};
}

void CtarvexDlg::EnableControl(int id, bool enable) {
  if (QWidget* control = Control(id)) {
    control->setEnabled(enable);
  }
}

void CtarvexDlg::SetProgressRange(std::uint32_t low, std::uint32_t high) {
  progressBar_->setRange(ProgressValue(low), ProgressValue(high));
}

void CtarvexDlg::SetProgressPos(std::uint32_t pos) {
  progressBar_->setValue(ProgressValue(pos));
}

std::string CtarvexDlg::PortText() const {
  return LocalPath(PortName());
}

std::vector<std::string> CtarvexDlg::AskOpenFiles(const std::string& filter) {
  std::vector<std::string> paths;
  for (const QString& path : prompter_->AskOpenFiles(this, FromUtf8(filter))) {
    paths.push_back(LocalPath(path));
  }
  return paths;
}

void CtarvexDlg::ShowMessage(const std::string& utf8) {
  prompter_->ShowMessage(this, QString::fromUtf8(APP_NAME), FromUtf8(utf8));
}

bool CtarvexDlg::AskOkCancel(const std::string& utf8) {
  return prompter_->AskOkCancel(this, QString::fromUtf8(APP_NAME), FromUtf8(utf8));
}

int CtarvexDlg::DrawLogo(const std::string& path) {
  logoControl_->SetLogo(QImage());
  const QImage decoded(QFile::decodeName(QByteArray::fromStdString(path)));
  if (decoded.isNull()) {
    ShowMessage(MSG_NO_LOGO);
    return -1;
  }
  logoControl_->SetLogo(PremultiplyLogo(decoded));
  return 0;
}

std::string CtarvexDlg::LocalTextToUtf8(const std::string& local) const {
  return QString::fromLocal8Bit(local.data(), static_cast<qsizetype>(local.size())).toStdString();
}

}  // namespace tarvex
