#include "engine/RecordingFile.h"

#include "core/Settings.h"

namespace telvo {

CRecordingFile::CRecordingFile(FileChooser::Mode mode, const char* defaultExtension,
                               const char* fileName, const char* filter,
                               const char* initialDirectory, int selectedType) {
    request_.mode = mode;
    request_.filters = ParseFilter(filter);
    request_.defaultExtension = defaultExtension;
    request_.initialName = fileName;
    request_.initialDirectory = initialDirectory;
    request_.selectedFilter = selectedType;
    request_.pathMustExist = true;
    if (mode == FileChooser::Mode::Open) {
        request_.fileMustExist = true;
    } else {
        request_.confirmOverwrite = true;
        request_.refuseReadOnly = true;
    }
    request_.onTypeChange = &CRecordingFile::OnTypeChange;
}

FileChoice CRecordingFile::DoModal(Platform& window) const {
    return window.ChooseFile(request_);
}

void CRecordingFile::OnTypeChange(int entry, std::string& name, std::string& defaultExtension) {
    static constexpr const char* extensions[] = {".bvh", ".tl", ".txt", ".glb"};
    // The recording entry's default extension is "gr" and SIMI's "sim", not their filters'.
    static constexpr const char* defaults[] = {"bvh", "gr", "sim", "glb"};
    if (entry < 1 || entry > 4) {
        return;
    }
    const std::size_t slash = name.rfind('/');
    std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    if (const std::size_t dot = base.rfind('.'); dot != std::string::npos) {
        base.resize(dot);
    }
    if (!base.empty()) {
        name = (base + extensions[entry - 1]).substr(0, PathCapacity - 1);
    }
    defaultExtension = defaults[entry - 1];
}

std::vector<FileFilter> ParseFilter(std::string_view filter) {
    std::vector<FileFilter> entries;
    while (!filter.empty() && filter.front() != '|') {
        const std::size_t bar = filter.find('|');
        if (bar == std::string_view::npos) {
            break;
        }
        const std::size_t end = filter.find('|', bar + 1);
        if (end == std::string_view::npos) {
            break;
        }
        entries.push_back({std::string(filter.substr(0, bar)),
                           std::string(filter.substr(bar + 1, end - bar - 1))});
        filter.remove_prefix(end + 1);
    }
    return entries;
}

} // namespace telvo
