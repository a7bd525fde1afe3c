// SPDX-License-Identifier: GPL-3.0-or-later
// The playlist title dialog and the About window, both modal.
#include "app/dialogs.h"

#include <string>

#include "runtime/events.h"
#include "runtime/value_stack.h"
#include "runtime/window.h"

namespace vantora::app {
namespace {

using namespace runtime;

constexpr int32_t kOkButton = 2;
constexpr int32_t kCancelButton = 3;

// The stock question-mark icon: words 01FFh and 7F02h + 1, little-endian.
constexpr char kQuestionIcon[] = "\xFF\x01\x03\x7F";

}  // namespace

FixedText<60> EDITPLAYLISTTITLE(std::string_view title) {
  FixedText<60> entry = title;
  FixedText<60> result = title;
  const WindowHandle dialog = WINDOWCREATE("P26$EDITWINDOW", "cdplayer$CDPLAYER", {&entry});
  if (dialog == 0) {
    return result;
  }
  WINDOWOPEN(dialog);
  if (entry == "") {
    SetText(0, "New Playlist Title");
  }
  REFRESHCONTROLS();
  while (EVENTLOOP()) {
    if (ACCEPTEDCONTROL() == kOkButton) {
      READCONTROLS();
      result = entry;
      POSTEVENT(EVENT::CloseWindow);
    } else if (ACCEPTEDCONTROL() == kCancelButton) {
      POSTEVENT(EVENT::CloseWindow);
    }
  }
  WINDOWCLOSE(dialog);
  return result;
}

void SHOWABOUT() {
  const WindowHandle about = WINDOWCREATE("P27$ABOUTWINDOW", "cdplayer$CDPLAYER", {});
  if (about == 0) {
    return;
  }
  WINDOWOPEN(about);
  while (EVENTLOOP()) {
  }
  WINDOWCLOSE(about);
}

bool ASKYESNO(std::string_view caption, std::string_view text) {
  PushText(std::to_string(BUTTON_YES | BUTTON_NO));
  PushCString(kQuestionIcon);
  PushText(caption);
  PushText(text);
  return MESSAGEDIALOG(BUTTON_NO, 0) == BUTTON_YES;
}

}  // namespace vantora::app
