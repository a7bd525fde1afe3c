// SPDX-License-Identifier: GPL-3.0-or-later
// Where the program's files live on this machine.
#pragma once

#include <filesystem>

namespace vantora::platform {

// The directory that stands for the Windows directory: bare INI file names resolve here.
// $VANTORA_CONFIG_DIR if set, else $XDG_CONFIG_HOME/vantora, else ~/.config/vantora.
// Not created here; writers create it when they first need it.
std::filesystem::path ConfigDirectory();

// The same, built anew only when the variables it comes from change: for callers that resolve
// names on every call. Valid until the thread's next call.
const std::filesystem::path& CachedConfigDirectory();

}  // namespace vantora::platform
