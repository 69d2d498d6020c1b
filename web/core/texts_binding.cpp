// texts(): the dialog's own words, for the page's buttons, question and messages.
#include <emscripten/bind.h>

#include "ui/ui_texts.h"

namespace tarvex::web {

namespace {

using emscripten::val;

val Texts() {
  val texts = val::object();
  texts.set("caption", std::string(MAIN_CAPTION));
  texts.set("download", std::string(TEXT_DOWNLOAD));
  texts.set("cancel", std::string(TEXT_CANCEL));
  texts.set("stop", std::string(TEXT_STOP));
  texts.set("complete", std::string(TEXT_COMPLETE));
  texts.set("openFail", std::string(TEXT_OPEN_FAIL));
  texts.set("writeFail", std::string(TEXT_WRITE_FAIL));
  return texts;
}

}  // namespace

EMSCRIPTEN_BINDINGS(tarvex_texts) {
  emscripten::function("texts", &Texts);
}

}  // namespace tarvex::web
