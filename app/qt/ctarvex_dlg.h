// The main window on Qt: port list, image, progress, status and the Download / Test / Quit
// buttons. What it does lives in WindowLogic; this class draws it and routes the commands.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "app/qt/prompter.h"
#include "engine/download_job.h"
#include "link/port_backend.h"
#include "ui/window_logic.h"
#include "ui/window_view.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;

namespace tarvex {

class LogoControl;
struct ControlTemplate;

// What the window depends on; tests replace each part. Empty members take the real thing.
struct DialogSeams {
  Prompter* prompter = nullptr;  // file dialog and message boxes; not owned
  JobOptions jobOptions;         // e.g. a compressed time scale
  std::function<std::unique_ptr<PortBackend>()> makeBackend;
  std::function<QStringList()> listAdapters;  // the ports offered after COM8
  // Where the logo is looked for after the working folder: unset, the program's own folder;
  // empty, nowhere else.
  std::optional<QString> programFolder;
};

class CtarvexDlg : public QDialog, private WindowView {
  Q_OBJECT
 public:
  explicit CtarvexDlg(DialogSeams seams = {}, QWidget* parent = nullptr);
  ~CtarvexDlg() override;

  // Commands of the buttons and the window menu.
  void OnOpenImage();
  void OnBnClickedDownload();
  void OnBnClickedTest();
  void ShowAbout();
  // Opens `path` as Open would: the program's argument, a file dropped on the window.
  void OpenImageFile(const QString& path);

  // A control by its template id; null for an unknown id.
  QWidget* Control(int id) const;
  // The port Download and Test use: the selected entry, or the typed text when it names none.
  QString PortName() const;
  QString ImagePath() const { return QString::fromStdString(logic_->ImagePath()); }
  QString ModelText() const { return QString::fromStdString(logic_->ModelText()); }
  bool LogoAttempted() const { return logic_->LogoAttempted(); }
  // The window menu's entries (the about box), offered as the context menu.
  std::unique_ptr<QMenu> MakeWindowMenu();
  DownloadJob& Job() { return logic_->Job(); }

  void done(int result) override;

 signals:
  // The first paint's logo attempt has returned.
  void LogoAttemptFinished();
  // The status label now shows `text`.
  void StatusShown(const QString& text);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildControls(const QStringList& adapters);
  QWidget* MakeControl(const ControlTemplate& control, const QStringList& adapters);

  // WindowView
  void SetControlText(int id, const std::string& utf8) override;
  std::string ControlText(int id) const override;
  void EnableControl(int id, bool enable) override;
  void SetProgressRange(std::uint32_t low, std::uint32_t high) override;
  void SetProgressPos(std::uint32_t pos) override;
  std::string PortText() const override;
  std::vector<std::string> AskOpenFiles(const std::string& filter) override;
  void ShowMessage(const std::string& utf8) override;
  bool AskOkCancel(const std::string& utf8) override;
  int DrawLogo(const std::string& path) override;
  std::string LocalTextToUtf8(const std::string& local) const override;

  std::unique_ptr<Prompter> ownPrompter_;
  Prompter* prompter_ = nullptr;

  std::map<int, QWidget*> controls_;
  QPushButton* downloadButton_ = nullptr;
  QComboBox* portList_ = nullptr;
  QLineEdit* pathEdit_ = nullptr;
  QLineEdit* modelEdit_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
  QLabel* statusLabel_ = nullptr;
  LogoControl* logoControl_ = nullptr;

  std::unique_ptr<WindowLogic> logic_;  // last member: destroyed first, while the controls exist
};

}  // namespace tarvex
