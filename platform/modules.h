// SPDX-License-Identifier: GPL-3.0-or-later
// Parts of the program that live in libraries of their own and are loaded on first use: what they
// pull in (the sound server's client, Qt Multimedia, the network) costs start-up time and memory
// that a player which has not played yet does not need.
#pragma once

#include <string>
#include <string_view>

namespace vantora::platform {

// The entry point `entry` of the module `name`: libvantora-NAME.so in lib/vantora one level above
// the program's folder (where the build and an install both put it). Loaded once and kept. nullptr,
// with the reason in `why`, when the module or its entry cannot be found or loaded.
void* ModuleEntry(std::string_view name, const char* entry, std::string* why);

}  // namespace vantora::platform
