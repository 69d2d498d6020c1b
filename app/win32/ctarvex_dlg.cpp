#include "app/win32/ctarvex_dlg.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <utility>

#include "app/win32/about_dlg.h"
#include "app/win32/resource.h"
#include "app/win32/window_picture.h"
#include "platform/wide_text.h"
#include "ui/minimized_icon.h"
#include "ui/port_choices.h"
#include "ui/ui_texts.h"

namespace tarvex {

namespace {

// Posted to the dialog: run the worker calls waiting for this thread.
constexpr UINT WM_APP_RUN_CALLS = WM_APP + 1;
// Posted after the first normal paint: attempt the logo once that paint is over.
constexpr UINT WM_APP_ATTEMPT_LOGO = WM_APP + 2;
// Posted from WM_INITDIALOG: open the program's argument once the window is up.
constexpr UINT WM_APP_OPEN_AT_START = WM_APP + 3;
constexpr WORD SYSTEM_COMMAND_MASK = 0xFFF0;
constexpr UINT_PTR SCREENSHOT_TIMER = 1;
constexpr UINT SCREENSHOT_SETTLE_MS = 300;  // lets the window finish its first paints

HINSTANCE Instance() {
  return GetModuleHandleW(nullptr);
}

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(std::max(length, 0)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

std::wstring Trimmed(std::wstring text) {
  const auto notSpace = [](wchar_t c) { return !std::iswspace(c); };
  text.erase(text.begin(), std::find_if(text.begin(), text.end(), notSpace));
  text.erase(std::find_if(text.rbegin(), text.rend(), notSpace).base(), text.end());
  return text;
}

std::wstring LoadText(UINT id) {
  const wchar_t* text = nullptr;
  // With a zero length the call hands out a pointer into the resource itself.
  const int length = LoadStringW(Instance(), id, reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 && text != nullptr ? std::wstring(text, static_cast<std::size_t>(length))
                                       : std::wstring();
}

// The folder of the running program, UTF-8; empty when it cannot be told.
std::string ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      return {};
    }
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);  // truncated: a long path
  }
  return win32::ToUtf8(std::filesystem::path(path).parent_path().wstring());
}

}  // namespace

CtarvexDlg::CtarvexDlg(DialogSeams seams)
    : appIcon_(LoadIconW(Instance(), MAKEINTRESOURCEW(IDR_MAINFRAME))),
      uiThread_(GetCurrentThreadId()) {
  if (seams.prompter == nullptr) {
    ownPrompter_ = std::make_unique<SystemPrompter>();
    seams.prompter = ownPrompter_.get();
  }
  prompter_ = seams.prompter;
  listAdapters_ = seams.listAdapters ? std::move(seams.listAdapters) : FoundSerialAdapters;
  screenshotPath_ = std::move(seams.screenshotPath);
  openAtStart_ = std::move(seams.openAtStart);
  UiThreadHooks hooks{
      .wake = [this] { PostMessageW(hwnd_, WM_APP_RUN_CALLS, 0, 0); },
      .onUiThread = [this] { return GetCurrentThreadId() == uiThread_; },
  };
  WindowView& view = *this;
  std::string programFolder = seams.programFolder ? *seams.programFolder : ProgramFolder();
  logic_ = std::make_unique<WindowLogic>(
      view, std::move(hooks),
      WindowSeams{std::move(seams.jobOptions), std::move(seams.makeBackend),
                  std::move(programFolder)});
}

CtarvexDlg::~CtarvexDlg() {
  logic_->ShutDown();
  if (hwnd_ != nullptr && !modal_) {
    DestroyWindow(hwnd_);
  }
}

INT_PTR CtarvexDlg::DoModal() {
  modal_ = true;
  return DialogBoxParamW(Instance(), MAKEINTRESOURCEW(IDD_TARVEX_DIALOG), nullptr, DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

HWND CtarvexDlg::Create() {
  modal_ = false;
  return CreateDialogParamW(Instance(), MAKEINTRESOURCEW(IDD_TARVEX_DIALOG), nullptr, DialogProc,
                            reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CtarvexDlg::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    reinterpret_cast<CtarvexDlg*>(lParam)->hwnd_ = hwnd;
  }
  auto* self = reinterpret_cast<CtarvexDlg*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  return self == nullptr ? FALSE : self->HandleMessage(message, wParam, lParam);
}

INT_PTR CtarvexDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_SYSCOMMAND:
      return OnSysCommand(wParam) ? TRUE : FALSE;
    case WM_CONTEXTMENU:
      OnContextMenu(lParam);
      return TRUE;
    case WM_PAINT:
      OnPaint();
      return TRUE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(appIcon_);
    case WM_COMMAND:
      return OnCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    case WM_APP_RUN_CALLS:
      logic_->RunPendingCalls();
      return TRUE;
    case WM_APP_ATTEMPT_LOGO:
      AfterLogoAttempt();
      return TRUE;
    case WM_APP_OPEN_AT_START:
      logic_->OpenImage(openAtStart_);
      return TRUE;
    case WM_DROPFILES:
      OnDropFiles(reinterpret_cast<HDROP>(wParam));
      return TRUE;
    case WM_TIMER:
      if (wParam == SCREENSHOT_TIMER) {
        TakeScreenshot();
      }
      return TRUE;
    case WM_NCDESTROY:
      hwnd_ = nullptr;
      return FALSE;
    default:
      (void)lParam;
      return FALSE;
  }
}

BOOL CtarvexDlg::OnInitDialog() {
  AddAboutToWindowMenu();
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(appIcon_));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(appIcon_));
  FillPortList();
  // The logo area keeps the logo through its own repaints.
  HWND logo = Item(IDC_LOGO);
  SetWindowLongPtrW(logo, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  logoDefaultProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(logo, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LogoProc)));
  DragAcceptFiles(hwnd_, TRUE);
  if (!openAtStart_.empty()) {
    // After the window is up, so that a rejected image's message has its owner on the screen.
    PostMessageW(hwnd_, WM_APP_OPEN_AT_START, 0, 0);
  }
  return TRUE;  // the system focuses the first control that takes it
}

void CtarvexDlg::AddAboutToWindowMenu() {
  HMENU menu = GetSystemMenu(hwnd_, FALSE);
  const std::wstring entry = LoadText(IDS_ABOUTBOX);
  if (menu == nullptr || entry.empty()) {
    return;
  }
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, entry.c_str());
}

void CtarvexDlg::FillPortList() {
  HWND list = Item(IDC_PORT_LIST);
  for (const std::string& name : PortChoices(listAdapters_())) {
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(win32::ToWide(name).c_str()));
  }
  SendMessageW(list, CB_SETCURSEL, 0, 0);
}

bool CtarvexDlg::OnCommand(WORD id, WORD code) {
  if (code != BN_CLICKED) {
    return false;
  }
  switch (id) {
    case IDC_OPEN:
      OnOpenImage();
      return true;
    case IDC_DOWNLOAD:
      OnBnClickedDownload();
      return true;
    case IDC_TEST:
      OnBnClickedTest();
      return true;
    case IDCANCEL:  // Quit, Escape, closing the window
      EndWindow(IDCANCEL);
      return true;
    case IDOK:  // Enter: no button is the default, and the window never closes on it
      return true;
    default:
      return false;
  }
}

void CtarvexDlg::OnDropFiles(HDROP drop) {
  const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
  std::wstring path(length + 1, L'\0');
  path.resize(DragQueryFileW(drop, 0, path.data(), length + 1));
  DragFinish(drop);
  if (!path.empty()) {
    logic_->OpenImage(win32::ToUtf8(path));
  }
}

bool CtarvexDlg::OnSysCommand(WPARAM command) {
  if ((command & SYSTEM_COMMAND_MASK) != IDM_ABOUTBOX) {
    return false;
  }
  ShowAbout();
  return true;
}

HMENU CtarvexDlg::MakeWindowMenu() const {
  HMENU menu = CreatePopupMenu();
  if (menu != nullptr) {
    AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, LoadText(IDS_ABOUTBOX).c_str());
  }
  return menu;
}

void CtarvexDlg::OnContextMenu(LPARAM screenPoint) {
  POINT at{GET_X_LPARAM(screenPoint), GET_Y_LPARAM(screenPoint)};
  if (screenPoint == -1) {  // from the keyboard: at the window's corner
    RECT window{};
    GetWindowRect(hwnd_, &window);
    at = {window.left, window.top};
  }
  HMENU menu = MakeWindowMenu();
  const BOOL chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x,
                                     at.y, 0, hwnd_, nullptr);
  DestroyMenu(menu);
  if (chosen == IDM_ABOUTBOX) {
    ShowAbout();
  }
}

void CtarvexDlg::ShowAbout() {
  CAboutDlg about;
  about.DoModal(hwnd_);
}

void CtarvexDlg::OnPaint() {
  if (IsIconic(hwnd_)) {
    PaintMinimized();
    return;
  }
  PAINTSTRUCT paint;
  BeginPaint(hwnd_, &paint);
  EndPaint(hwnd_, &paint);
  if (logic_->LogoDue(false)) {
    PostMessageW(hwnd_, WM_APP_ATTEMPT_LOGO, 0, 0);
  }
}

void CtarvexDlg::PaintMinimized() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd_, &paint);
  SendMessageW(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client{};
  GetClientRect(hwnd_, &client);
  const IconOrigin at =
      MinimizedIconOrigin(client.right - client.left, client.bottom - client.top,
                          GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
  DrawIcon(dc, at.x, at.y, appIcon_);
  EndPaint(hwnd_, &paint);
}

void CtarvexDlg::EndWindow(INT_PTR result) {
  // The job must be over before the controls it reports to go away.
  logic_->ShutDown();
  if (modal_) {
    EndDialog(hwnd_, result);
  } else {
    DestroyWindow(hwnd_);
  }
}

void CtarvexDlg::AfterLogoAttempt() {
  logic_->AttemptLogo();
  if (!screenshotPath_.empty()) {
    SetTimer(hwnd_, SCREENSHOT_TIMER, SCREENSHOT_SETTLE_MS, nullptr);
  }
}

void CtarvexDlg::TakeScreenshot() {
  KillTimer(hwnd_, SCREENSHOT_TIMER);
  SaveWindowPicture(hwnd_, screenshotPath_);
  EndWindow(IDCANCEL);
}

LRESULT CALLBACK CtarvexDlg::LogoProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CtarvexDlg*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  const LRESULT result = CallWindowProcW(self->logoDefaultProc_, hwnd, message, wParam, lParam);
  if (message == WM_PAINT) {
    self->PaintLogoOver(hwnd);
  }
  return result;
}

void CtarvexDlg::PaintLogoOver(HWND control) const {
  if (!logo_) {
    return;
  }
  if (HDC dc = GetDC(control)) {
    logo_->Draw(dc);
    ReleaseDC(control, dc);
  }
}

HWND CtarvexDlg::Item(int id) const {
  return GetDlgItem(hwnd_, id);
}

// --- WindowView ---------------------------------------------------------------------------

void CtarvexDlg::SetControlText(int id, const std::string& utf8) {
  SetWindowTextW(Item(id), win32::ToWide(utf8).c_str());
}

std::string CtarvexDlg::ControlText(int id) const {
  return win32::ToUtf8(WindowText(Item(id)));
}

void CtarvexDlg::EnableControl(int id, bool enable) {
  if (HWND control = Item(id)) {
    EnableWindow(control, enable ? TRUE : FALSE);
  }
}

void CtarvexDlg::SetProgressRange(std::uint32_t low, std::uint32_t high) {
  SendMessageW(Item(IDC_PROGRESS), PBM_SETRANGE32, static_cast<WPARAM>(low),
               static_cast<LPARAM>(high));
}

void CtarvexDlg::SetProgressPos(std::uint32_t pos) {
  SendMessageW(Item(IDC_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(pos), 0);
}

std::string CtarvexDlg::PortText() const {
  return win32::ToUtf8(Trimmed(WindowText(Item(IDC_PORT_LIST))));
}

std::vector<std::string> CtarvexDlg::AskOpenFiles(const std::string& filter) {
  return prompter_->AskOpenFiles(hwnd_, filter);
}

void CtarvexDlg::ShowMessage(const std::string& utf8) {
  prompter_->ShowMessage(hwnd_, utf8);
}

bool CtarvexDlg::AskOkCancel(const std::string& utf8) {
  return prompter_->AskOkCancel(hwnd_, utf8);
}

int CtarvexDlg::DrawLogo(const std::string& path) {
  HWND control = Item(IDC_LOGO);
  logo_.reset();
  // The area shows its own empty painting first, also when the load fails.
  InvalidateRect(control, nullptr, TRUE);
  UpdateWindow(control);
  std::unique_ptr<LogoPicture> picture = LogoPicture::Load(win32::ToWide(path));
  if (!picture) {
    ShowMessage(MSG_NO_LOGO);
    return -1;
  }
  logo_ = std::move(picture);
  PaintLogoOver(control);
  return 0;
}

std::string CtarvexDlg::LocalTextToUtf8(const std::string& local) const {
  const int length =
      MultiByteToWideChar(CP_ACP, 0, local.data(), static_cast<int>(local.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(length, 0)), L'\0');
  MultiByteToWideChar(CP_ACP, 0, local.data(), static_cast<int>(local.size()), wide.data(), length);
  return win32::ToUtf8(wide);
}

}  // namespace tarvex
