// Everything modal the window asks of the user: the open-file dialog and message boxes. Tests
// inject their own so that nothing blocks.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace tarvex {

class Prompter {
 public:
  virtual ~Prompter() = default;

  // The open-file dialog. `filter` is a list of "display text|patterns|" pairs; the result holds
  // the chosen files, empty after Cancel.
  virtual QStringList AskOpenFiles(QWidget* owner, const QString& filter) = 0;
  // A modal message with an OK button and no icon.
  virtual void ShowMessage(QWidget* owner, const QString& caption, const QString& text) = 0;
  // A modal question with OK and Cancel; true for OK.
  virtual bool AskOkCancel(QWidget* owner, const QString& caption, const QString& text) = 0;
};

// The real dialogs.
class QtPrompter : public Prompter {
 public:
  QStringList AskOpenFiles(QWidget* owner, const QString& filter) override;
  void ShowMessage(QWidget* owner, const QString& caption, const QString& text) override;
  bool AskOkCancel(QWidget* owner, const QString& caption, const QString& text) override;
};

// Qt name filters for a "display text|patterns|" list: "(*.zfr) (*.zfr)", "(*.*) (*)". "*.*"
// means every file, as users of the pattern expect, also for names without a dot.
QStringList QtNameFilters(const QString& filter);

}  // namespace tarvex
