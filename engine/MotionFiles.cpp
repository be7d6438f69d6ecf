// Reading the current motion and actor files, the save-changes prompt and Store Actor File.
#include "core/Settings.h"
#include "core/Text.h"
#include "engine/Detail.h"
#include "engine/Engine.h"
#include "engine/EngineState.h"

#include <cstring>
#include <string_view>

namespace telvo {

using detail::Window;

namespace {

// The file's directory without its trailing separator; empty for a bare name. The root keeps
// its "/", which would otherwise read as no directory at all.
void SetDirectoryOf(char (&directory)[PathCapacity], const char* path) {
    std::string_view text(path, strnlen(path, PathCapacity));
    std::size_t slash = text.rfind('/');
    if (slash == std::string_view::npos) {
        directory[0] = '\0';
    } else {
        SetPath(directory, text.substr(0, slash == 0 ? 1 : slash));
    }
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
        Window().MessageBox("BVH file format error", MessageButtons::Ok, MessageIcon::Exclamation);
        return;
    }
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
        Window().MessageBox("Telvoria Recording file format error", MessageButtons::Ok,
                            MessageIcon::Exclamation);
        return;
    }
    bool same = SameActor(actor, Engine.ActorData);
    Engine.ActorData = actor;
    GyroSetActorData(Engine.SuitHandle, &Engine.ActorData);
    Engine.ActorDataChanged = same ? 0 : 1;
}

} // namespace

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
        std::string_view path(Settings.CurrentFile, strnlen(Settings.CurrentFile, PathCapacity));
        std::size_t dot = path.rfind('.');
        std::string_view extension = dot == std::string_view::npos ? "" : path.substr(dot);
        if (!resolved && EqualsIgnoringCase(extension, ".bvh")) {
            Settings.CurrentFileType = 1;
        } else if (!resolved && EqualsIgnoringCase(extension, ".tl")) {
            Settings.CurrentFileType = 2;
        } else {
            Window().MessageBox("Unrecognized file type for reading", MessageButtons::Ok,
                                MessageIcon::Exclamation);
            Settings.CurrentFileType = 2;
            break;
        }
        resolved = true;
    }
    UpdateMenuState();
}

void ReadCurrentActorFile() {
    SaveActorChangesPrompt();
    if (Settings.CurrentActorFile[0] == '\0') {
        return;
    }
    Platform& window = Window();
    // Read into a copy: a file that fails half way must not leave half new measurements.
    ActorData actor = Engine.ActorData;
    if (GyroReadActorData(Settings.CurrentActorFile, &actor) == 0) {
        window.SetStatusText(0, Format("Error reading file %s", Settings.CurrentActorFile));
        return;
    }
    Engine.ActorData = actor;
    GyroSetActorData(Engine.SuitHandle, &Engine.ActorData);
    {
        // Neither stops first: a recording may be growing while its frames are put on the floor.
        std::lock_guard lock(Engine.RecordingMutex);
        GyroCopyActorToSkeleton(&Engine.Skeleton, &Engine.ActorData);
        GyroPutSkeletonOnFloor(&Engine.Skeleton, Engine.Skeleton.Frames, &Engine.ActorData);
    }
    window.Invalidate();
    window.SetStatusText(0, Format("Reading file %s", Settings.CurrentActorFile));
}

void SaveActorChangesPrompt() {
    if (Engine.ActorDataChanged == 0) {
        return;
    }
    MessageAnswer answer = Window().MessageBox(
        "Actor data has changed.  Do you want to save the changes to an actor file?",
        MessageButtons::YesNo, MessageIcon::None);
    if (answer == MessageAnswer::Yes) {
        OnStoreActorFile();
    }
    Engine.ActorDataChanged = 0;
}

void OnStoreActorFile() {
    OnStop();
    FileChooser request;
    request.mode = FileChooser::Mode::Save;
    request.filters = {{"Actor Measurement file (*.ac)", "*.ac"}};
    request.defaultExtension = ".ac";
    request.initialName = Settings.CurrentActorFile;
    request.initialDirectory = Settings.CurrentActorFileDir;
    request.confirmOverwrite = true;
    Platform& window = Window();
    FileChoice choice = window.ChooseFile(request);
    if (!choice.accepted) {
        return;
    }
    // A name cut short would write some other file.
    if (!SetPath(Settings.CurrentActorFile, choice.path)) {
        window.MessageBox("The file name is longer than 259 characters.", MessageButtons::Ok,
                          MessageIcon::Exclamation);
        return;
    }
    SetDirectoryOf(Settings.CurrentActorFileDir, Settings.CurrentActorFile);
    if (Engine.SuitHandle != 0) {
        GyroGetActorData(Engine.SuitHandle, &Engine.ActorData);
    }
    GyroWriteActorData(Settings.CurrentActorFile, &Engine.ActorData, Settings.Units);
    Engine.ActorDataChanged = 0;
}

} // namespace telvo
