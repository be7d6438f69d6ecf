#pragma once

#include "platform/Platform.h"

#include <string>
#include <string_view>
#include <vector>

namespace telvo {

// The motion-file chooser of Open and Save As: the request the port shows, and the rule that
// renames the file when the user picks another entry of the type list.
class CRecordingFile {
public:
    static constexpr const char* OpenFilter =
        "BVH file (*.bvh)|*.bvh|Telvoria Recording file (*.tl)|*.tl|All files (*.*)|*.*||";
    static constexpr const char* SaveFilter =
        "BVH file (*.bvh)|*.bvh|Telvoria Recording file (*.tl)|*.tl|SIMI file (*.txt)|*.txt|"
        "glTF binary (*.glb)|*.glb||";

    // mode Open: the file and its folder must exist. Save: asks before replacing a file and
    // refuses a read-only one. The filter is in the "description|pattern|...||" form.
    CRecordingFile(FileChooser::Mode mode, const char* defaultExtension, const char* fileName,
                   const char* filter, const char* initialDirectory, int selectedType);

    // Shows the chooser through the port.
    FileChoice DoModal(Platform& window) const;
    const FileChooser& Request() const { return request_; }

    // The type-change handler: `name` is the full path in the name box, replaced by its
    // file name with the entry's extension; `defaultExtension` becomes the entry's own.
    static void OnTypeChange(int entry, std::string& name, std::string& defaultExtension);

private:
    FileChooser request_;
};

// "description|pattern|description|pattern||" as a list of entries.
std::vector<FileFilter> ParseFilter(std::string_view filter);

} // namespace telvo
