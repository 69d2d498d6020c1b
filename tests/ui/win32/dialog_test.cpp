// The native Windows dialog, as a smoke test under Wine: the window of the resources with every
// control as the template gives it, the strings, and the Open command through an injected
// prompter.
#include <windows.h>
//
#include <commctrl.h>
#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>

#include <array>
#include <cstring>
#include <string>

#include "app/win32/ctarvex_dlg.h"
#include "app/win32/resource.h"
#include "platform/wide_text.h"
#include "tests/support/image_builder.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/win32/scripted_prompter.h"
#include "ui/dialog_template.h"
#include "ui/ui_texts.h"

namespace tarvex {
namespace {

static_assert(IDC_DOWNLOAD == ID_DOWNLOAD && IDC_PORT_LIST == ID_PORT_LIST &&
              IDC_IMAGE_PATH == ID_IMAGE_PATH && IDC_OPEN == ID_OPEN &&
              IDC_PROGRESS == ID_PROGRESS && IDC_MODEL == ID_MODEL &&
              IDC_HIDDEN_PICTURE == ID_HIDDEN_PICTURE && IDC_LOGO == ID_LOGO &&
              IDC_TEST == ID_TEST && IDCANCEL == ID_QUIT && IDC_STATIC == ID_STATUS);

std::string Text(HWND window) {
  wchar_t buffer[512] = {};
  GetWindowTextW(window, buffer, 512);
  return win32::ToUtf8(buffer);
}

std::string ClassOf(HWND window) {
  wchar_t buffer[64] = {};
  GetClassNameW(window, buffer, 64);
  return win32::ToUtf8(buffer);
}

const char* ExpectedClass(ControlKind kind) {
  switch (kind) {
    case ControlKind::PushButton:
      return "Button";
    case ControlKind::PortList:
      return "ComboBox";
    case ControlKind::ReadOnlyEdit:
      return "Edit";
    case ControlKind::ProgressBar:
      return "msctls_progress32";
    default:
      return "Static";
  }
}

class WindowsDialog : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
  }

  void SetUp() override { Open({}); }

  void Open(std::vector<std::string> adapters, std::string openAtStart = {}) {
    DialogSeams seams;
    seams.prompter = &prompter;
    seams.listAdapters = [adapters] { return adapters; };
    seams.openAtStart = std::move(openAtStart);
    dialog = std::make_unique<CtarvexDlg>(std::move(seams));
    window = dialog->Create();
    ASSERT_NE(window, nullptr) << "error " << GetLastError();
  }

  std::vector<std::string> PortEntries() const {
    HWND list = Item(IDC_PORT_LIST);
    std::vector<std::string> entries;
    for (LRESULT i = 0; i < SendMessageW(list, CB_GETCOUNT, 0, 0); ++i) {
      wchar_t entry[32] = {};
      SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry));
      entries.push_back(win32::ToUtf8(entry));
    }
    return entries;
  }

  HWND Item(int id) const { return GetDlgItem(window, id); }

  test::ScriptedPrompter prompter;
  std::unique_ptr<CtarvexDlg> dialog;
  HWND window = nullptr;
};

TEST_F(WindowsDialog, ComesUpWithEveryControlOfTheTemplateInItsPlaceTextAndState) {
  EXPECT_EQ(Text(window), MAIN_CAPTION);
  RECT size{0, 0, MAIN_DIALOG_SIZE_DU.width, MAIN_DIALOG_SIZE_DU.height};
  MapDialogRect(window, &size);
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, size.right);
  EXPECT_EQ(client.bottom, size.bottom);

  HWND previous = nullptr;
  for (const ControlTemplate& control : MainDialogTemplate()) {
    SCOPED_TRACE(control.id);
    HWND item = Item(control.id);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(ClassOf(item), ExpectedClass(control.kind));
    if (control.kind != ControlKind::Picture && control.kind != ControlKind::PortList) {
      EXPECT_EQ(Text(item), control.text);
    }
    EXPECT_EQ(IsWindowEnabled(item) != FALSE, control.enabled);
    EXPECT_EQ((GetWindowLongW(item, GWL_STYLE) & WS_VISIBLE) != 0, control.visible);
    EXPECT_EQ(GetWindowLongW(item, GWL_STYLE) & BS_DEFPUSHBUTTON, 0) << "no default button";
    // Template order is the z-order and the tab order.
    EXPECT_EQ(GetWindow(item, GW_HWNDPREV), previous);
    previous = item;
    // The dialog manager maps the place and the size separately.
    RECT expected{control.du.x, control.du.y, control.du.width, control.du.height};
    MapDialogRect(window, &expected);
    RECT actual{};
    GetWindowRect(item, &actual);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&actual), 2);
    EXPECT_EQ(actual.left, expected.left);
    EXPECT_EQ(actual.top, expected.top);
    // A bitmap control takes its bitmap's size; the port list's height includes the list.
    if (control.kind != ControlKind::Picture) {
      EXPECT_EQ(actual.right - actual.left, expected.right);
    }
    if (control.kind != ControlKind::Picture && control.kind != ControlKind::PortList) {
      EXPECT_EQ(actual.bottom - actual.top, expected.bottom);
    }
  }
}

TEST_F(WindowsDialog, OffersComOneToEightWithComOneSelectedAndTheResourceStrings) {
  HWND list = Item(IDC_PORT_LIST);
  EXPECT_EQ(PortEntries(), (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6",
                                                     "COM7", "COM8"}));
  EXPECT_EQ(SendMessageW(list, CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(Text(list), "COM1");

  wchar_t text[128] = {};
  LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUTBOX, text, 128);
  EXPECT_EQ(win32::ToUtf8(text), ABOUT_MENU_ENTRY);
  LoadStringW(GetModuleHandleW(nullptr), IDS_OPEN_FILTER, text, 128);
  EXPECT_EQ(win32::ToUtf8(text), OPEN_FILE_FILTER);
}

// The list keeps the order it is given: no text sorting puts COM20 before COM3.
TEST_F(WindowsDialog, OffersThePortsPresentAfterComEightInNumberOrder) {
  dialog.reset();
  Open({"COM20", "COM3", "COM9", "COM12"});
  EXPECT_EQ(PortEntries(), (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6",
                                                     "COM7", "COM8", "COM9", "COM12", "COM20"}));
}

TEST_F(WindowsDialog, OpenTakesAGoodImageAndKeepsItWhenADamagedOneIsRejected) {
  test::TempDir dir;
  const std::string good = test::WriteImage(dir.File("good.zfr"), test::SimpleImagePlan()).string();
  const std::string bad = dir.File("bad.zfr").string();
  test::WriteFileBytes(bad, {1, 2, 3});
  prompter.openAnswers = {{good}, {bad}};

  dialog->OnOpenImage();
  EXPECT_EQ(Text(Item(IDC_IMAGE_PATH)), good);
  EXPECT_EQ(Text(Item(IDC_MODEL)), "TEST MODEL");
  EXPECT_TRUE(IsWindowEnabled(Item(IDC_DOWNLOAD)));

  dialog->OnOpenImage();
  EXPECT_EQ(prompter.messages, std::vector<std::string>{TEXT_FILE_ERROR});
  EXPECT_EQ(prompter.owners, std::vector<HWND>{window});
  EXPECT_EQ(Text(Item(IDC_IMAGE_PATH)), good);
  EXPECT_EQ(Text(Item(IDC_MODEL)), "TEST MODEL");
  EXPECT_EQ(prompter.filtersAsked.front(), OPEN_FILE_FILTER);
}

// The files of a drop from the shell: a DROPFILES block with wide names.
HGLOBAL DropOf(const std::vector<std::wstring>& files) {
  std::wstring names;
  for (const std::wstring& file : files) {
    names += file + L'\0';
  }
  names += L'\0';
  const std::size_t bytes = sizeof(DROPFILES) + names.size() * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GHND, bytes);
  auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
  drop->pFiles = sizeof(DROPFILES);
  drop->fWide = TRUE;
  std::memcpy(drop + 1, names.data(), names.size() * sizeof(wchar_t));
  GlobalUnlock(memory);
  return memory;
}

void PumpMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

TEST_F(WindowsDialog, ADroppedFileOrTheProgramsArgumentOpensAsOpenWould) {
  test::TempDir dir;
  const std::string first = test::WriteImage(dir.File("a.zfr"), test::SimpleImagePlan()).string();
  const std::string second = test::WriteImage(dir.File("b.zfr"), test::SimpleImagePlan()).string();
  EXPECT_NE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0);
  SendMessageW(window, WM_DROPFILES,
               reinterpret_cast<WPARAM>(DropOf({win32::ToWide(first), win32::ToWide(second)})), 0);
  EXPECT_EQ(Text(Item(IDC_IMAGE_PATH)), first);
  EXPECT_EQ(Text(Item(IDC_MODEL)), "TEST MODEL");
  EXPECT_TRUE(prompter.filtersAsked.empty());  // no file dialog

  dialog.reset();
  Open({}, second);
  PumpMessages();
  EXPECT_EQ(Text(Item(IDC_IMAGE_PATH)), second);
  EXPECT_TRUE(IsWindowEnabled(Item(IDC_DOWNLOAD)));
}

// The window has no window menu; its context menu carries the about box.
TEST_F(WindowsDialog, ContextMenuOffersTheAboutBox) {
  EXPECT_EQ(GetWindowLongW(window, GWL_STYLE) & WS_SYSMENU, 0);
  HMENU menu = dialog->MakeWindowMenu();
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(GetMenuItemCount(menu), 1);
  EXPECT_EQ(GetMenuItemID(menu, 0), static_cast<UINT>(IDM_ABOUTBOX));
  wchar_t entry[64] = {};
  GetMenuStringW(menu, 0, entry, 64, MF_BYPOSITION);
  EXPECT_EQ(win32::ToUtf8(entry), ABOUT_MENU_ENTRY);
  DestroyMenu(menu);
}

// Where the dialog manager puts a template at 0, 0: centred, not in the screen's corner.
TEST_F(WindowsDialog, OpensCentredOnItsScreen) {
  RECT placed{};
  GetWindowRect(window, &placed);
  MONITORINFO monitor{sizeof monitor, {}, {}, 0};
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& area = monitor.rcWork;
  EXPECT_NEAR((placed.left + placed.right) / 2, (area.left + area.right) / 2, 1);
  EXPECT_NEAR((placed.top + placed.bottom) / 2, (area.top + area.bottom) / 2, 1);
}

TEST_F(WindowsDialog, EnterDoesNotCloseTheWindowButQuitDoes) {
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  EXPECT_TRUE(IsWindow(window));
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  EXPECT_FALSE(IsWindow(window));
}

}  // namespace
}  // namespace tarvex
