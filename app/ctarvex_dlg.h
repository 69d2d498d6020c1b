// The main window: port list, image, progress, status and the Download / Test / Quit buttons.
// It owns the download job and is the job's view.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>

#include "app/gui_thread_caller.h"
#include "app/prompter.h"
#include "link/port_backend.h"
#include "protocol/download_job.h"
#include "protocol/job_view.h"

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
};

class CtarvexDlg : public QDialog, public JobView {
  Q_OBJECT
 public:
  explicit CtarvexDlg(DialogSeams seams = {}, QWidget* parent = nullptr);
  ~CtarvexDlg() override;

  // Commands of the buttons and the window menu.
  void OnOpenImage();
  void OnBnClickedDownload();
  void OnBnClickedTest();
  void ShowAbout();
  // Loads the logo file and shows it in the logo area; 0 when shown, -1 when it cannot be loaded.
  int DrawLogo(const QString& path);

  // JobView: worker calls run on the window's thread and return when done.
  void SetStatusText(const std::string& utf8) override;
  void SetProgressRange(std::uint32_t low, std::uint32_t high) override;
  void SetProgressPos(std::uint32_t pos) override;
  void EnableControl(int id, bool enable) override;
  void SetDownloadText(const std::string& utf8) override;
  void ShowMessage(const std::string& utf8) override;
  bool AskOkCancel(const std::string& utf8) override;
  void NotifyReceived() override;

  // A control by its template id; null for an unknown id.
  QWidget* Control(int id) const;
  // The port Download and Test use: the selected entry, or the typed text when it names none.
  QString PortName() const;
  QString ImagePath() const { return imagePath_; }
  QString ModelText() const { return modelText_; }
  bool LogoAttempted() const { return logoAttempted_; }
  // The window menu's entries (the about box), offered as the context menu.
  std::unique_ptr<QMenu> MakeWindowMenu();
  DownloadJob& Job() { return *job_; }

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

 private:
  void BuildControls(const QStringList& adapters);
  QWidget* MakeControl(const ControlTemplate& control, const QStringList& adapters);
  void ShowPrompterMessage(const QString& text);
  // Stops a running job without asking, stops serving worker calls, then joins the worker.
  void ShutDownJob();

  std::unique_ptr<Prompter> ownPrompter_;
  Prompter* prompter_ = nullptr;
  GuiThreadCaller caller_;

  std::map<int, QWidget*> controls_;
  QPushButton* downloadButton_ = nullptr;
  QComboBox* portList_ = nullptr;
  QLineEdit* pathEdit_ = nullptr;
  QLineEdit* modelEdit_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
  QLabel* statusLabel_ = nullptr;
  LogoControl* logoControl_ = nullptr;

  QString imagePath_;
  QString modelText_;
  bool logoAttempted_ = false;
  bool logoScheduled_ = false;

  std::unique_ptr<DownloadJob> job_;  // last member: destroyed first, while the controls exist
};

}  // namespace tarvex
