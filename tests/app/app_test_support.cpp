#include "tests/app/app_test_support.h"

#include <QTest>

namespace tarvex::test {

QStringList ScriptedPrompter::AskOpenFiles(QWidget* /*owner*/, const QString& filter) {
  filtersAsked.append(filter);
  if (openAnswers.empty()) {
    return {};
  }
  QStringList answer = openAnswers.front();
  openAnswers.pop_front();
  return answer;
}

void ScriptedPrompter::ShowMessage(QWidget* owner, const QString& caption, const QString& text) {
  messages.push_back({caption, text, owner});
  if (whileShowing) {
    whileShowing();
  }
}

bool ScriptedPrompter::AskOkCancel(QWidget* owner, const QString& caption, const QString& text) {
  questions.push_back({caption, text, owner});
  if (whileAsking) {
    whileAsking();
  }
  if (okCancelAnswers.empty()) {
    return false;
  }
  const bool answer = okCancelAnswers.front();
  okCancelAnswers.pop_front();
  return answer;
}

QStringList ScriptedPrompter::MessageTexts() const {
  QStringList texts;
  for (const Prompt& message : messages) {
    texts.append(message.text);
  }
  return texts;
}

DialogSeams TestSeams(ScriptedPrompter& prompter, double timeScale) {
  DialogSeams seams;
  seams.prompter = &prompter;
  seams.jobOptions.timeScale = timeScale;
  seams.listAdapters = [] { return QStringList(); };
  seams.programFolder = QString();  // the logo only from the working folder
  return seams;
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
  return QTest::qWaitFor(condition, timeoutMs);
}

}  // namespace tarvex::test
