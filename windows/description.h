// SPDX-License-Identifier: GPL-3.0-or-later
// Window descriptions: the readable text form of a definition set, parsed for the compiler and
// printed by the dump.
//
// A description is lines of tokens: words, numbers (decimal or 0x hex) and "quoted" texts (with \"
// \\ \n \t \xHH escapes); "#" starts a comment. Indentation by spaces nests lines.
//
//   set TAG                          the definition set
//   window NAME [attributes]         a window; its attributes and controls are indented under it
//   NUMBER KIND [attributes]         a control; its attributes and children are indented under it
//   ATTRIBUTE values...              more attributes of the enclosing window or control
//
// Kinds: varstring string region entry button prompt group list textbox sheet tab menubar menu
// item toolbar. Attributes, as far as the kind stores them:
//   at X Y W H            position; "default" in any place
//   text/picture/format/status/tip/icon/wallpaper/title "..."
//   font FACE SIZE WEIGHT [COLOUR]   FACE "name" or window; SIZE or window; regular, bold or a
//                                    number; COLOUR rgb R G B, default or a number
//   colours C C C         a colour block
//   var byte | var long | var text N | var CODE SIZE
//   rows N                rows of a drop list
//   dropids "..."...      drag identifiers accepted;  dragids "..."...  offered by a list
//   alertkeys K...        key codes, in order
//   action N              standard action of a menu item;  check  a check item
//   flags N               control flags (window: flags N N, the two flag words)
//   buttonflags N; times N N
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "windows/definition.h"

namespace vantora::windows {

struct DescriptionError {
  int line = 0;  // 1-based; 0 for the description as a whole
  std::string message;
};

// Parses and checks a description: attributes the kind does not store, children a kind cannot
// hold, missing positions, an empty menu bar and control numbers used twice in a window are errors.
std::optional<DefinitionSet> ParseDescription(std::string_view text,
                                              DescriptionError* error = nullptr);

// The kind keyword of a record type ("button"); "" for the window record.
std::string_view KindName(RecordType type);

// One line per control, starting with its number and kind, children indented under their parent;
// the output is itself a description of the window.
std::string DumpWindow(const WindowDefinition& window);
// "set TAG", then every window.
std::string DumpDefinitionSet(const DefinitionSet& set);

}  // namespace vantora::windows
