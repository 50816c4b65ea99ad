// Portable: the launcher's single pass from entry to exit.
#pragma once

#include <string_view>

#include "platform.hpp"

namespace ostrand {

// Locates the launcher, reads its arguments, starts the game and waits for it. Every failure on the
// way is fatal: it throws FatalFailure, whose report the process entry writes.
void launch(const Platform& platform, std::string_view game_directory);

}  // namespace ostrand
