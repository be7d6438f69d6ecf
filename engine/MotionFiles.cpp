// Open and Save As, reading the current motion and actor files, the actor-file commands and
// the save-changes prompt.
#include "core/Settings.h"
#include "core/Text.h"
#include "engine/Detail.h"
#include "engine/Engine.h"
#include "engine/EngineState.h"
#include "engine/RecordingFile.h"

#include <cstring>
#include <string>
#include <string_view>

namespace telvo {

using detail::Window;

namespace {

constexpr const char* ActorFilter = "Actor Measurement file (*.ac)|*.ac||";

std::string_view Text(const char (&buffer)[PathCapacity]) {
    return {buffer, strnlen(buffer, PathCapacity)};
}

// The file's directory without its trailing separator; empty for a bare name. The root keeps
// its "/", which would otherwise read as no directory at all.
void SetDirectoryOf(char (&directory)[PathCapacity], const char (&path)[PathCapacity]) {
    std::string_view text = Text(path);
    std::size_t slash = text.rfind('/');
    if (slash == std::string_view::npos) {
        directory[0] = '\0';
    } else {
        SetPath(directory, text.substr(0, slash == 0 ? 1 : slash));
    }
}

// Takes a chosen name into a path setting. A name the setting cannot hold is refused, not cut:
// a name cut short would be some other file.
bool TakeChosenPath(char (&buffer)[PathCapacity], const FileChoice& choice) {
    if (!choice.accepted || choice.path.empty()) {
        return false;
    }
    if (!SetPath(buffer, choice.path)) {
        Window().MessageBox("The file name is longer than 259 characters.", MessageButtons::Ok,
                            MessageIcon::Exclamation);
        return false;
    }
    return true;
}

// What the library can tell of its last failure, as "path:line: reason", for the box's
// detailed text.
std::string ProblemDetail(const char* path) {
    char reason[512] = "";
    int line = 0;
    std::string detail = path;
    if (GyroGetLastProblem(reason, sizeof reason, &line) == 0) {
        return detail;
    }
    if (line > 0) {
        detail += Format(":%d", line);
    }
    return detail + ": " + reason;
}

void ReportFileFailure(const std::string& text, const char* path) {
    Window().MessageBox(text, MessageButtons::Ok, MessageIcon::Exclamation, ProblemDetail(path));
}

void ReportWriteFailure(const char* path) {
    ReportFileFailure(Format("Error writing file %s", path), path);
}

// From the last "." on; empty when there is none.
std::string_view ExtensionOf(std::string_view path) {
    std::size_t dot = path.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : path.substr(dot);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

bool SameActor(const ActorData& a, const ActorData& b) {
    return std::memcmp(&a, &b, sizeof(ActorData)) == 0;
}

void ReadBvh() {
    ActorData before = Engine.ActorData;
    int read = 0;
    {
        std::lock_guard lock(Engine.RecordingMutex);
        read = GyroReadBVH(Settings.CurrentFile, &Engine.Skeleton);
        if (read != 0) {
            GyroUpdateActorFromSkeleton(&Engine.Skeleton, &Engine.ActorData);
        }
    }
    if (read == 0) {
        ReportFileFailure("BVH file format error", Settings.CurrentFile);
        return;
    }
    Engine.TakeUnsaved = 0;
    Engine.ActorDataChanged = SameActor(before, Engine.ActorData) ? 0 : 1;
}

void ReadTl() {
    // The reader fills the actor data stored with the motion; a failed read leaves ours alone.
    ActorData actor = Engine.ActorData;
    int read = 0;
    {
        std::lock_guard lock(Engine.RecordingMutex);
        read = GyroReadTL(Settings.CurrentFile, &Engine.Skeleton, &actor);
    }
    if (read == 0) {
        ReportFileFailure("Telvoria Recording file format error", Settings.CurrentFile);
        return;
    }
    Engine.TakeUnsaved = 0;
    bool same = SameActor(actor, Engine.ActorData);
    Engine.ActorData = actor;
    GyroSetActorData(Engine.SuitHandle, &Engine.ActorData);
    Engine.ActorDataChanged = same ? 0 : 1;
}

// True when the file was written.
bool WriteCurrentMotionFile() {
    const char* path = Settings.CurrentFile;
    int written = 0;
    std::lock_guard lock(Engine.RecordingMutex);
    switch (Settings.CurrentFileType) {
    case 1:
        written = GyroWriteBVH(path, &Engine.Skeleton);
        break;
    case 2:
        written = GyroWriteTL(path, &Engine.Skeleton, &Engine.ActorData);
        break;
    case 3:
        written = GyroWriteSIMI(path, &Engine.Skeleton, SimiCompanionPath(path).c_str());
        break;
    case 4:
        written = GyroWriteGLB(path, &Engine.Skeleton, &Engine.ActorData);
        break;
    default:
        Window().MessageBox("Unrecognized file type - file not saved", MessageButtons::Ok,
                            MessageIcon::Exclamation);
        Settings.CurrentFileType = 2;
        return false;
    }
    if (written == 0) {
        ReportWriteFailure(path);
        return false;
    }
    Engine.TakeUnsaved = 0;
    return true;
}

// The actor data now in memory goes to the suit and shapes the skeleton and its recording.
void ApplyActorData() {
    GyroSetActorData(Engine.SuitHandle, &Engine.ActorData);
    {
        // Neither reload nor default data stops first: a recording may be growing while its
        // frames are put on the floor.
        std::lock_guard lock(Engine.RecordingMutex);
        GyroCopyActorToSkeleton(&Engine.Skeleton, &Engine.ActorData);
        GyroPutSkeletonOnFloor(&Engine.Skeleton, Engine.Skeleton.Frames, &Engine.ActorData);
    }
    Window().Invalidate();
}

enum class Stored { Yes, Cancelled, Failed };

Stored StoreActorFile() {
    OnStop();
    FileChooser request;
    request.mode = FileChooser::Mode::Save;
    request.filters = ParseFilter(ActorFilter);
    request.defaultExtension = ".ac";
    request.initialName = Settings.CurrentActorFile;
    request.initialDirectory = Settings.CurrentActorFileDir;
    request.confirmOverwrite = true;
    request.pathMustExist = true;
    request.refuseReadOnly = true;
    const FileChoice choice = Window().ChooseFile(request);
    if (!choice.accepted) {
        return Stored::Cancelled;
    }
    if (!TakeChosenPath(Settings.CurrentActorFile, choice)) {
        return Stored::Failed;
    }
    SetDirectoryOf(Settings.CurrentActorFileDir, Settings.CurrentActorFile);
    if (Engine.SuitHandle != 0) {
        GyroGetActorData(Engine.SuitHandle, &Engine.ActorData);
    }
    if (GyroWriteActorData(Settings.CurrentActorFile, &Engine.ActorData, Settings.Units) == 0) {
        // Nothing was stored: the changes still wait to be saved.
        ReportWriteFailure(Settings.CurrentActorFile);
        return Stored::Failed;
    }
    Engine.ActorDataChanged = 0;
    return Stored::Yes;
}

} // namespace

std::string SimiCompanionPath(std::string_view table) {
    // The extension of the file name is replaced, never a dot in a folder's name; a table
    // named ".imp" itself gets a second one rather than be overwritten by its companion.
    std::string_view name = table.substr(table.rfind('/') + 1);
    std::string companion(table.substr(0, table.size() - ExtensionOf(name).size()));
    companion += ".imp";
    if (companion == table) {
        companion += ".imp";
    }
    return companion;
}

void OnOpen() {
    OnStop();
    if (!SaveTakePrompt()) {
        return;
    }
    // Open lists no entry for the export-only types.
    if (Settings.CurrentFileType == 3 || Settings.CurrentFileType == 4) {
        Settings.CurrentFileType = 2;
    }
    const int type = Settings.CurrentFileType;
    const CRecordingFile dialog(FileChooser::Mode::Open, type == 1 ? ".bvh" : ".tl",
                                Settings.CurrentFile, CRecordingFile::OpenFilter,
                                Settings.CurrentFileDir, type);
    const FileChoice choice = dialog.DoModal(Window());
    if (!TakeChosenPath(Settings.CurrentFile, choice)) {
        return;
    }
    Settings.CurrentFileType = choice.selectedFilter;
    ReadCurrentMotionFile();
    Window().Invalidate();
}

namespace {

// Save As; true when the take was written.
bool SaveTakeAs() {
    OnStop();
    if (RecordedFrameCount() == 0) {
        // Writing an empty take over the proposed name would destroy that file's motion.
        Window().MessageBox("There is nothing to save.", MessageButtons::Ok,
                            MessageIcon::Exclamation);
        return false;
    }
    const int type = Settings.CurrentFileType;
    const CRecordingFile dialog(FileChooser::Mode::Save,
                                type == 1   ? ".bvh"
                                : type == 2 ? ".tl"
                                : type == 4 ? ".glb"
                                            : ".txt",
                                Settings.CurrentFile, CRecordingFile::SaveFilter,
                                Settings.CurrentFileDir, type);
    const FileChoice choice = dialog.DoModal(Window());
    if (!TakeChosenPath(Settings.CurrentFile, choice)) {
        return false;
    }
    Settings.CurrentFileType = choice.selectedFilter;
    SetDirectoryOf(Settings.CurrentFileDir, Settings.CurrentFile);
    const bool written = WriteCurrentMotionFile();
    UpdateMenuState();
    Window().Invalidate();
    return written;
}

} // namespace

void OnSaveAs() {
    SaveTakeAs();
}

bool SaveTakePrompt() {
    if (Engine.TakeUnsaved == 0 || RecordedFrameCount() == 0) {
        return true;
    }
    switch (Window().MessageBox("The recording has not been saved.  Do you want to save it first?",
                                MessageButtons::YesNoCancel, MessageIcon::None)) {
    case MessageAnswer::No:
        return true;
    case MessageAnswer::Yes:
        return SaveTakeAs();
    default:
        return false;
    }
}

void ReadCurrentMotionFile() {
    SetDirectoryOf(Settings.CurrentFileDir, Settings.CurrentFile);
    // Types other than 1 and 2 are resolved by the extension once, then read as that type.
    for (bool resolved = false;;) {
        int type = Settings.CurrentFileType;
        if (type == 1) {
            ReadBvh();
            break;
        }
        if (type == 2) {
            ReadTl();
            break;
        }
        std::string_view extension = ExtensionOf(Text(Settings.CurrentFile));
        if (!resolved && EqualsIgnoringCase(extension, ".bvh")) {
            Settings.CurrentFileType = 1;
        } else if (!resolved && EqualsIgnoringCase(extension, ".tl")) {
            Settings.CurrentFileType = 2;
        } else {
            Window().MessageBox("Unrecognized file type for reading", MessageButtons::Ok,
                                MessageIcon::Exclamation,
                                std::string(Text(Settings.CurrentFile)) +
                                    ": the name ends neither in .bvh nor in .tl");
            Settings.CurrentFileType = 2;
            break;
        }
        resolved = true;
    }
    UpdateMenuState();
}

void ReadCurrentActorFile() {
    // A Yes to the prompt stores under a name the user chooses; what is read is still the file
    // named now.
    const std::string file(Text(Settings.CurrentActorFile));
    if (!SaveActorChangesPrompt() || file.empty()) {
        return;
    }
    SetPath(Settings.CurrentActorFile, file);
    SetDirectoryOf(Settings.CurrentActorFileDir, Settings.CurrentActorFile);
    // Read into a copy: a file that fails half way must not leave half new measurements.
    ActorData actor = Engine.ActorData;
    if (GyroReadActorData(Settings.CurrentActorFile, &actor) == 0) {
        Window().SetStatusText(0, Format("Error reading file %s", Settings.CurrentActorFile));
        return;
    }
    Engine.ActorData = actor;
    ApplyActorData();
    Window().SetStatusText(0, Format("Reading file %s", Settings.CurrentActorFile));
}

bool SaveActorChangesPrompt() {
    if (Engine.ActorDataChanged == 0) {
        return true;
    }
    MessageAnswer answer = Window().MessageBox(
        "Actor data has changed.  Do you want to save the changes to an actor file?",
        MessageButtons::YesNo, MessageIcon::None);
    if (answer == MessageAnswer::Yes && StoreActorFile() == Stored::Failed) {
        return false; // the measurements stay; the command that asked goes no further
    }
    Engine.ActorDataChanged = 0;
    return true;
}

void OnLoadActorFile() {
    OnStop();
    if (!SaveActorChangesPrompt()) {
        return;
    }
    FileChooser request;
    request.filters = ParseFilter(ActorFilter);
    request.defaultExtension = ".ac";
    request.initialName = Settings.CurrentActorFile;
    request.initialDirectory = Settings.CurrentActorFileDir;
    request.fileMustExist = true;
    request.pathMustExist = true;
    if (TakeChosenPath(Settings.CurrentActorFile, Window().ChooseFile(request))) {
        ReadCurrentActorFile();
    }
}

void OnStoreActorFile() {
    StoreActorFile();
}

void OnReloadLastActorFile() {
    if (!SaveActorChangesPrompt()) {
        return;
    }
    if (Settings.CurrentActorFile[0] != '\0') {
        ReadCurrentActorFile();
    } else {
        OnLoadActorFile();
    }
}

void OnLoadDefaultActorData() {
    if (!SaveActorChangesPrompt()) {
        return;
    }
    Settings.CurrentActorFile[0] = '\0';
    GyroGetActorData(0, &Engine.ActorData);
    ApplyActorData();
    Window().SetStatusText(0, "Loading default actor data");
}

void OpenDroppedFile(std::string_view path) {
    OnStop();
    FileChoice dropped{true, std::string(path), 1};
    if (EqualsIgnoringCase(ExtensionOf(path), ".ac")) {
        if (SaveActorChangesPrompt() && TakeChosenPath(Settings.CurrentActorFile, dropped)) {
            ReadCurrentActorFile();
        }
        return;
    }
    // As a name on the command line: the type follows the extension.
    if (SaveTakePrompt() && TakeChosenPath(Settings.CurrentFile, dropped)) {
        Settings.CurrentFileType = 0;
        ReadCurrentMotionFile();
        Window().Invalidate();
    }
}

} // namespace telvo
