#include "base/ConfigFolder.h"

#include <cstdlib>
#include <system_error>

namespace telvo {

namespace {

// A relative path would name a different folder for every working directory; the XDG rules
// say to ignore it.
std::filesystem::path AbsoluteFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/') {
        return {};
    }
    return value;
}

} // namespace

std::filesystem::path ConfigFolder(std::string* error) {
    std::filesystem::path folder = AbsoluteFromEnvironment("XDG_CONFIG_HOME");
    if (folder.empty()) {
        folder = AbsoluteFromEnvironment("HOME");
        if (!folder.empty()) {
            folder /= ".config";
        }
    }
    if (folder.empty()) {
        if (error != nullptr) {
            *error = "No configuration folder is known for this user.";
        }
        return {};
    }
    folder /= "TelvoView";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!std::filesystem::is_directory(folder, ec)) {
        if (error != nullptr) {
            *error = "Cannot create the configuration folder " + folder.string() + ".";
        }
        return {};
    }
    return folder;
}

} // namespace telvo
