// SPDX-License-Identifier: GPL-3.0-or-later
// The playlist title dialog and the About window, both modal.
#pragma once

#include <string_view>

#include "runtime/text.h"

namespace vantora::app {

// Asks for a playlist's title, "New Playlist Title" when `title` is blank. Returns the entry's
// text after "OK", else `title` (cut to 60 characters); a blank result means no title.
runtime::FixedText<60> EDITPLAYLISTTITLE(std::string_view title);
// Shows the About window until its "OK" or its close box closes it.
void SHOWABOUT();
// Asks a question with the question-mark icon, "&Yes" and "&No", "&No" the default; true for
// "&Yes".
bool ASKYESNO(std::string_view caption, std::string_view text);

}  // namespace vantora::app
