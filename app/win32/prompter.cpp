#include "app/win32/prompter.h"

#include <commdlg.h>

#include "platform/wide_text.h"
#include "ui/ui_texts.h"

namespace tarvex {

namespace {

// Room for many names chosen at once.
constexpr DWORD OPEN_BUFFER_CHARS = 32768;

std::wstring Caption() {
  return win32::ToWide(APP_NAME);
}

}  // namespace

std::wstring OpenFileFilter(const std::string& filter) {
  std::wstring wide = win32::ToWide(filter);
  for (wchar_t& c : wide) {
    if (c == L'|') {
      c = L'\0';
    }
  }
  wide.push_back(L'\0');
  return wide;
}

std::vector<std::wstring> ChosenFiles(const std::wstring& buffer) {
  std::vector<std::wstring> parts;
  std::size_t at = 0;
  while (at < buffer.size() && buffer[at] != L'\0') {
    const std::size_t end = buffer.find(L'\0', at);
    parts.push_back(buffer.substr(at, end - at));
    if (end == std::wstring::npos) {
      break;
    }
    at = end + 1;
  }
  if (parts.size() <= 1) {
    return parts;
  }
  std::vector<std::wstring> files;
  std::wstring folder = parts.front();
  if (!folder.empty() && folder.back() != L'\\') {
    folder.push_back(L'\\');
  }
  for (std::size_t i = 1; i < parts.size(); ++i) {
    files.push_back(folder + parts[i]);
  }
  return files;
}

std::vector<std::string> SystemPrompter::AskOpenFiles(HWND owner, const std::string& filter) {
  const std::wstring filterText = OpenFileFilter(filter);
  std::wstring buffer(OPEN_BUFFER_CHARS, L'\0');
  OPENFILENAMEW request{};
  request.lStructSize = sizeof request;
  request.hwndOwner = owner;
  request.lpstrFilter = filterText.c_str();
  request.lpstrFile = buffer.data();
  request.nMaxFile = OPEN_BUFFER_CHARS;
  request.Flags = OFN_HIDEREADONLY | OFN_ALLOWMULTISELECT | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST |
                  OFN_EXPLORER | OFN_LONGNAMES;
  std::vector<std::string> chosen;
  if (GetOpenFileNameW(&request)) {
    for (const std::wstring& file : ChosenFiles(buffer)) {
      chosen.push_back(win32::ToUtf8(file));
    }
  }
  return chosen;
}

void SystemPrompter::ShowMessage(HWND owner, const std::string& text) {
  MessageBoxW(owner, win32::ToWide(text).c_str(), Caption().c_str(), MB_OK);
}

bool SystemPrompter::AskOkCancel(HWND owner, const std::string& text) {
  return MessageBoxW(owner, win32::ToWide(text).c_str(), Caption().c_str(), MB_OKCANCEL) == IDOK;
}

}  // namespace tarvex
