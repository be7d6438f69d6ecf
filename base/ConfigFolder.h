#pragma once

#include <filesystem>
#include <string>

namespace telvo {

// TelvoView's configuration folder, where the program's and the suit library's INI files
// live: $XDG_CONFIG_HOME/TelvoView when XDG_CONFIG_HOME is an absolute path, else
// $HOME/.config/TelvoView. Made when missing. Empty, with the reason in error, when neither
// variable names a folder or the folder cannot be made.
std::filesystem::path ConfigFolder(std::string* error = nullptr);

} // namespace telvo
