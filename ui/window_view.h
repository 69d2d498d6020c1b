// What the window's logic needs of a toolkit's dialog. Every call is made on the UI thread. Texts
// and paths are UTF-8; control ids are those of ui/control_ids.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvex {

class WindowView {
 public:
  virtual ~WindowView() = default;

  virtual void SetControlText(int id, const std::string& utf8) = 0;
  virtual std::string ControlText(int id) const = 0;
  virtual void EnableControl(int id, bool enable) = 0;
  virtual void SetProgressRange(std::uint32_t low, std::uint32_t high) = 0;
  virtual void SetProgressPos(std::uint32_t pos) = 0;
  // The port list's text: the selected entry, or what the user typed.
  virtual std::string PortText() const = 0;

  // The open-file dialog; `filter` is a list of "display text|patterns|" pairs. The chosen
  // files, empty after Cancel.
  virtual std::vector<std::string> AskOpenFiles(const std::string& filter) = 0;
  // Modal, owned by the dialog, captioned with the program's name: OK only, or OK and Cancel
  // (true for OK).
  virtual void ShowMessage(const std::string& utf8) = 0;
  virtual bool AskOkCancel(const std::string& utf8) = 0;
  // Loads the logo file and shows it in the logo area; 0 when shown, -1 when it cannot be
  // loaded (the view has then told the user).
  virtual int DrawLogo(const std::string& path) = 0;

  // Text in the system's local code page (a model name from an image) as UTF-8.
  virtual std::string LocalTextToUtf8(const std::string& local) const = 0;
};

}  // namespace tarvex
