// SPDX-License-Identifier: GPL-3.0-or-later
// Changes the settings file has not taken: the user is told, in the window, once per trouble.
#include "app/unsaved.h"

#include <optional>
#include <string>

#include "app/state.h"
#include "runtime/ini.h"
#include "runtime/value_stack.h"
#include "runtime/window.h"

namespace vantora::app {
namespace {

using namespace runtime;

// The stock exclamation icon: words 01FFh and 7F03h + 1, little-endian.
constexpr char kExclamationIcon[] = "\xFF\x01\x04\x7F";
constexpr const char* kCaption = "Changes Not Saved";

std::string EXPLAIN(const IniTrouble& trouble) {
  return "Your changes could not be saved to " + trouble.file + ":|" + trouble.reason +
         ".||They are kept and saved as soon as the file can be written, while the player runs.";
}

}  // namespace

void WARNUNSAVED() {
  if (!UNSAVEDINI()) {
    UNSAVEDTOLD = {};  // all on the disk: a new trouble is told again
    return;
  }
  const std::optional<IniTrouble> trouble = UNSAVEDINI(kUnsavedGraceMs);
  if (!trouble || *trouble == UNSAVEDTOLD) {
    return;
  }
  UNSAVEDTOLD = *trouble;
  SHOWNOTICE(kCaption, EXPLAIN(*trouble), kExclamationIcon);
}

void TELLNOTSAVED() {
  const std::optional<IniTrouble> trouble = UNSAVEDINI();
  if (!trouble) {
    return;  // written after all
  }
  UNSAVEDTOLD = *trouble;
  PushText(std::to_string(BUTTON_OK));
  PushCString(kExclamationIcon);
  PushCString(kCaption);
  PushText(EXPLAIN(*trouble));
  MESSAGEDIALOG(BUTTON_OK, 0);
}

}  // namespace vantora::app
