#pragma once

#include "base/IniFile.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace telvo {

// The private-profile calls of the program are those of the INI files the suit library reads
// too, so that both read a file alike.
using PrivateProfile = IniFile;

// One-shot calls on a file, reading it at each call and writing it at once.
int GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                         const std::filesystem::path& file);
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, std::size_t size,
                                    const std::filesystem::path& file);
// False when the file cannot be read (it is left as it was) or written.
bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const std::filesystem::path& file);

} // namespace telvo
