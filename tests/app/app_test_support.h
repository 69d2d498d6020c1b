// Helpers for the window's tests: a prompter that answers from a script and records what it was
// asked, and seams that keep the window away from real devices.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "app/qt/ctarvex_dlg.h"
#include "app/qt/prompter.h"

namespace tarvex::test {

class ScriptedPrompter : public Prompter {
 public:
  struct Prompt {
    QString caption;
    QString text;
    QWidget* owner = nullptr;
  };

  // One answer per open-file dialog, in order; an empty list (or none left) is Cancel.
  std::deque<QStringList> openAnswers;
  // One answer per question, in order; none left answers Cancel.
  std::deque<bool> okCancelAnswers;
  // Run while a question or a message is "open", before it is answered.
  std::function<void()> whileAsking;
  std::function<void()> whileShowing;

  QStringList filtersAsked;
  std::vector<Prompt> messages;
  std::vector<Prompt> questions;

  QStringList AskOpenFiles(QWidget* owner, const QString& filter) override;
  void ShowMessage(QWidget* owner, const QString& caption, const QString& text) override;
  bool AskOkCancel(QWidget* owner, const QString& caption, const QString& text) override;

  QStringList MessageTexts() const;
};

// Seams with the prompter, no adapters after COM8 and the given time scale.
DialogSeams TestSeams(ScriptedPrompter& prompter, double timeScale = 1.0);

// Control `id` of the window as the expected widget type; fails the test when missing.
template <typename Widget>
Widget* ControlAs(const CtarvexDlg& dialog, int id) {
  return qobject_cast<Widget*>(dialog.Control(id));
}

// Runs the event loop until `condition` holds or `timeoutMs` passes; whether it holds.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 10000);

}  // namespace tarvex::test
