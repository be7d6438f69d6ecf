#include "platform/PrivateProfile.h"

namespace telvo {

int GetPrivateProfileInt(std::string_view section, std::string_view key, int defaultValue,
                         const std::filesystem::path& file) {
    PrivateProfile p(file);
    p.Load();
    return p.GetInt(section, key, defaultValue);
}

std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue, std::size_t size,
                                    const std::filesystem::path& file) {
    PrivateProfile p(file);
    p.Load();
    return p.GetString(section, key, defaultValue, size);
}

bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const std::filesystem::path& file) {
    PrivateProfile p(file);
    if (!p.Load()) {
        return false;
    }
    p.WriteString(section, key, value);
    return p.Save();
}

} // namespace telvo
