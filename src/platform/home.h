#pragma once
// The home folder: where Config.ini, the queue folders and saved frames live.
#include <optional>
#include <string>

namespace qel::platform {

// Chooses the home folder: the explicit option, else $QELCUT_HOME, else
// $XDG_DATA_HOME/qelcut, else ~/.local/share/qelcut. The result has no trailing '/'.
std::string resolveHome(const std::optional<std::string>& option);

// The home folder as the store's "program directory": always ends with '/'.
std::string withTrailingSlash(std::string dir);

}  // namespace qel::platform
