// A prompter for the Windows dialog's tests: answers the open-file dialog from a script and
// records the messages, so that nothing modal blocks.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "app/win32/prompter.h"

namespace tarvex::test {

class ScriptedPrompter : public Prompter {
 public:
  std::deque<std::vector<std::string>> openAnswers;  // one per Open; none left is Cancel
  std::vector<std::string> filtersAsked;
  std::vector<std::string> messages;
  std::vector<HWND> owners;  // of every message and question

  std::vector<std::string> AskOpenFiles(HWND /*owner*/, const std::string& filter) override {
    filtersAsked.push_back(filter);
    if (openAnswers.empty()) {
      return {};
    }
    std::vector<std::string> answer = openAnswers.front();
    openAnswers.pop_front();
    return answer;
  }
  void ShowMessage(HWND owner, const std::string& text) override {
    owners.push_back(owner);
    messages.push_back(text);
  }
  bool AskOkCancel(HWND owner, const std::string& text) override {
    owners.push_back(owner);
    messages.push_back(text);
    return false;
  }
};

}  // namespace tarvex::test
