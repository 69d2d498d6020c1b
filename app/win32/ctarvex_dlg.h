// The main window on Windows: the dialog of the program's resources (template 102). What it does
// lives in WindowLogic; this class routes the dialog's messages and commands to it and carries
// out its view calls on the controls.
#pragma once

#include <windows.h>
//
#include <shellapi.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/win32/logo_picture.h"
#include "app/win32/prompter.h"
#include "ui/window_logic.h"
#include "ui/window_view.h"

namespace tarvex {

// What the window depends on; tests replace each part. Empty members take the real thing.
struct DialogSeams {
  Prompter* prompter = nullptr;  // file dialog and message boxes; not owned
  JobOptions jobOptions;         // e.g. a compressed time scale
  std::function<std::unique_ptr<PortBackend>()> makeBackend;
  std::function<std::vector<std::string>()> listAdapters;  // the ports offered after COM8
  // Where the logo is looked for after the working folder (UTF-8): unset, the program's own
  // folder; empty, nowhere else.
  std::optional<std::string> programFolder;
  // For the documentation: once the first paint's logo attempt is over, the window is saved to
  // this PNG file and closed. Empty: a normal run.
  std::wstring screenshotPath;
  // Opened as Open would once the window is up (UTF-8; the program's argument). Empty: none.
  std::string openAtStart;
};

class CtarvexDlg : private WindowView {
 public:
  explicit CtarvexDlg(DialogSeams seams = {});
  ~CtarvexDlg() override;
  CtarvexDlg(const CtarvexDlg&) = delete;
  CtarvexDlg& operator=(const CtarvexDlg&) = delete;

  // Runs the dialog modally; returns when it has ended (Quit or Escape).
  INT_PTR DoModal();
  // Creates the dialog without running it (the caller pumps messages); null on failure.
  HWND Create();

  HWND Window() const { return hwnd_; }
  WindowLogic& Logic() { return *logic_; }

  // Commands of the buttons and the window menu.
  void OnOpenImage() { logic_->OnOpenImage(); }
  void OnBnClickedDownload() { logic_->OnDownload(); }
  void OnBnClickedTest() { logic_->OnTest(); }
  // Opens the first of the files dropped on the window as Open would.
  void OnDropFiles(HDROP drop);
  // The window menu's entries (the about box), offered as the context menu since the window has
  // no window menu. The caller destroys it.
  HMENU MakeWindowMenu() const;
  void ShowAbout();

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK LogoProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  BOOL OnInitDialog();
  void AddAboutToWindowMenu();
  void FillPortList();
  bool OnCommand(WORD id, WORD code);
  bool OnSysCommand(WPARAM command);
  void OnContextMenu(LPARAM screenPoint);
  void OnPaint();
  void PaintMinimized();
  void EndWindow(INT_PTR result);
  void AfterLogoAttempt();
  void TakeScreenshot();
  void PaintLogoOver(HWND control) const;
  HWND Item(int id) const;

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
  std::function<std::vector<std::string>()> listAdapters_;
  std::wstring screenshotPath_;
  std::string openAtStart_;
  HICON appIcon_ = nullptr;
  HWND hwnd_ = nullptr;
  DWORD uiThread_ = 0;
  bool modal_ = false;
  WNDPROC logoDefaultProc_ = nullptr;
  std::unique_ptr<LogoPicture> logo_;
  std::unique_ptr<WindowLogic> logic_;  // last member: destroyed first, while the window exists
};

}  // namespace tarvex
