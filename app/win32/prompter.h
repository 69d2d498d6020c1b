// Everything modal the window asks of the user: the open-file dialog and message boxes. Tests
// inject their own so that nothing blocks.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tarvex {

class Prompter {
 public:
  virtual ~Prompter() = default;

  // The open-file dialog over `owner`; `filter` is a list of "display text|patterns|" pairs.
  // The chosen files as UTF-8 paths, empty after Cancel.
  virtual std::vector<std::string> AskOpenFiles(HWND owner, const std::string& filter) = 0;
  // A message box owned by `owner`, captioned with the program's name: OK only, or OK and
  // Cancel (true for OK).
  virtual void ShowMessage(HWND owner, const std::string& text) = 0;
  virtual bool AskOkCancel(HWND owner, const std::string& text) = 0;
};

// The system's dialogs.
class SystemPrompter : public Prompter {
 public:
  std::vector<std::string> AskOpenFiles(HWND owner, const std::string& filter) override;
  void ShowMessage(HWND owner, const std::string& text) override;
  bool AskOkCancel(HWND owner, const std::string& text) override;
};

// The filter as the open-file dialog takes it: every "|" a NUL, closed by a second NUL.
std::wstring OpenFileFilter(const std::string& filter);

// What the open-file dialog returned in `buffer`: one full path, or (several chosen) the folder
// followed by the file names, each closed by a NUL.
std::vector<std::wstring> ChosenFiles(const std::wstring& buffer);

}  // namespace tarvex
