#include "tests/engine/EngineFixture.h"
#include "tests/support/TempDir.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>

namespace telvo {
namespace {

class MotionFiles : public EngineTest {
protected:
    std::string In(const std::string& name) const { return (dir.path() / name).string(); }
    void Choose(const std::string& path, int entry) { window.AnswerChoosers({true, path, entry}); }
    // Runs a file command whose chooser picks the file of the folder under that entry.
    void Choosing(const std::string& name, int entry, void (*command)()) {
        Choose(In(name), entry);
        command();
    }
    TempDir dir;
};

// A take saved as each type; opened under "All files" it is read by its extension and comes
// back frame for frame, its measurements set or clear the change by comparison.
TEST_F(MotionFiles, SaveAsEveryTypeThenOpenByExtension) {
    RecordFrames(6);
    const auto recorded = RecordedSequence();
    const std::pair<const char*, int> saved[] = {
        {"take.txt", 3}, {"walk.BVH", 1}, {"take.tl", 2}, {"gone/take.tl", 2}, {"take.xyz", 5}};
    for (const auto& [name, entry] : saved) {
        Choosing(name, entry, OnSaveAs);
    }
    EXPECT_TRUE(std::filesystem::exists(In("take.txt")) && std::filesystem::exists(In("take.imp")));
    WriteAll(In("broken.Tl"), "not a recording");
    const std::string here = dir.path().string();
    const std::tuple<std::string, int, std::string> opened[] = {{In("walk.BVH"), 1, here},
                                                                {"walk.dat", 2, ""},
                                                                {"/walk.dat", 2, "/"},
                                                                {In("broken.Tl"), 2, here},
                                                                {In("take.tl"), 2, here}};
    for (const auto& [path, type, folder] : opened) {
        Choose(path, 3);
        OnOpen();
        EXPECT_EQ(Settings.CurrentFileType.load(), type) << path;
        EXPECT_EQ(std::string(Settings.CurrentFileDir), folder);
    }
    EXPECT_EQ(RecordedSequence(), recorded);
    const char* unrecognized = ": the name ends neither in .bvh nor in .tl";
    EXPECT_EQ(
        window.Boxes(),
        (Boxes{
            Warning("Error writing file " + In("gone/take.tl"),
                    In("gone/take.tl") +
                        ": cannot create a file in its folder: No such file or directory"),
            Warning("Unrecognized file type - file not saved"),
            Warning("Unrecognized file type for reading", "walk.dat" + std::string(unrecognized)),
            Warning("Unrecognized file type for reading", "/walk.dat" + std::string(unrecognized)),
            Warning("Telvoria Recording file format error",
                    In("broken.Tl") + ": not a recording file")}));
    Engine.ActorData.ContactRadius[3] += 1.0f;
    OnOpen();
    EXPECT_EQ(Engine.ActorDataChanged, 1);
    OnOpen();
    EXPECT_EQ(Engine.ActorDataChanged, 0) << "the same measurements clear a change";
}

// Saving an empty take over the proposed name would destroy that file.
TEST_F(MotionFiles, SaveAsWithNothingRecordedTouchesNoFile) {
    WriteAll(In("take.tl"), "a take of yesterday");
    ASSERT_TRUE(SetPath(Settings.CurrentFile, In("take.tl")));
    Choosing("take.tl", 2, OnSaveAs);
    EXPECT_EQ(window.Boxes(), Boxes{Warning("There is nothing to save.")});
    EXPECT_TRUE(window.CallsOf("chooser ").empty());
    EXPECT_EQ(ReadAll(In("take.tl")), "a take of yesterday");
}

// A take recorded since the last save or open is not replaced without a question: Cancel
// stops Open, Yes saves it through Save As first, No lets Open go on. A saved take asks no more.
TEST_F(MotionFiles, OpenAsksBeforeItReplacesAnUnsavedTake) {
    const std::string prompt = "The recording has not been saved.  Do you want to save it first?";
    RecordFrames(6);
    const auto recorded = RecordedSequence();
    window.AnswerBoxes(MessageAnswer::Cancel);
    OnOpen();
    EXPECT_TRUE(window.CallsOf("chooser ").empty());

    window.AnswerBoxes(MessageAnswer::Yes);
    Choose(In("take.tl"), 2);
    OnOpen(); // saves to take.tl, then opens it
    EXPECT_EQ(window.CallsOf("chooser "), (std::vector<std::string>{"Save", "Open"}));
    EXPECT_EQ(RecordedSequence(), recorded);
    OnOpen();

    RecordFrames(4);
    window.AnswerBoxes(MessageAnswer::No);
    OnOpen();
    EXPECT_EQ(RecordedSequence(), recorded) << "No goes on with Open";
    EXPECT_EQ(window.CallsOf("box "), std::vector<std::string>(3, prompt));
}

// A chooser as one line: mode, default extension, entry, the entries, where it starts, and what
// it checks.
std::string Described(const FileChooser& c) {
    std::string text = (c.mode == FileChooser::Mode::Save ? "Save " : "Open ") +
                       c.defaultExtension + " " + std::to_string(c.selectedFilter);
    for (const FileFilter& f : c.filters) {
        text += " [" + f.description + "|" + f.pattern + "]";
    }
    return text + " " + c.initialDirectory + " " + c.initialName +
           (c.fileMustExist ? " exists" : "") + (c.pathMustExist ? " folder" : "") +
           (c.confirmOverwrite ? " overwrite" : "") + (c.refuseReadOnly ? " writable" : "");
}

// Every file command ends a running recording first, asks (without an icon) before unsaved work
// is lost, and offers its own chooser from the remembered name and folder.
TEST_F(MotionFiles, FileCommandsStopAskAndOfferTheirOwnChooser) {
    ASSERT_TRUE(SetPath(Settings.CurrentFile, "/m/take.txt") &&
                SetPath(Settings.CurrentFileDir, "/m") &&
                SetPath(Settings.CurrentActorFile, "/a/anna.ac") &&
                SetPath(Settings.CurrentActorFileDir, "/a"));
    Settings.CurrentFileType = 3; // after a SIMI export
    const std::string motion = " [BVH file (*.bvh)|*.bvh] [Telvoria Recording file (*.tl)|*.tl]";
    const std::string actor = "1 [Actor Measurement file (*.ac)|*.ac] /a /a/anna.ac";
    const std::pair<void (*)(), std::string> commands[] = {
        {OnSaveAs, "Save .txt 3" + motion +
                       " [SIMI file (*.txt)|*.txt] [glTF binary (*.glb)|*.glb] /m /m/take.txt" +
                       " folder overwrite writable"},
        {OnOpen, "Open .tl 2" + motion + " [All files (*.*)|*.*] /m /m/take.txt exists folder"},
        {OnLoadActorFile, "Open .ac " + actor + " exists folder"},
        {OnStoreActorFile, "Save .ac " + actor + " folder overwrite writable"},
    };
    window.AnswerBoxes(MessageAnswer::No);
    for (const auto& [command, chooser] : commands) {
        OnRecord();
        Deliver(2);
        Engine.ActorDataChanged = 1;
        command();
        EXPECT_EQ(Engine.Recording.load(), 0) << chooser;
        EXPECT_EQ(Described(window.LastChooser()), chooser);
    }
    EXPECT_EQ(window.Boxes(),
              (Boxes{{"The recording has not been saved.  Do you want to save it first?",
                      MessageButtons::YesNoCancel},
                     {"Actor data has changed.  Do you want to save the changes to an actor file?",
                      MessageButtons::YesNo}}));
}

// glTF is the fourth entry of Save As, named and defaulted as the others; Open, which reads no
// glTF, offers recordings after it.
TEST_F(MotionFiles, SaveAsGlbIsTheFourthEntryAndOpenThenOffersRecordings) {
    RecordFrames(6);
    Settings.CurrentFileType = 4;
    Choosing("take.glb", 4, OnSaveAs);
    const FileChooser saved = window.LastChooser();
    std::string name = "/x/run.bvh", extension = ".bvh";
    saved.onTypeChange(4, name, extension);
    window.AnswerChoosers({false, "", 1});
    OnOpen();
    EXPECT_EQ(saved.defaultExtension + std::to_string(saved.selectedFilter) + " " + name + " " +
                  extension + " " + ReadAll(In("take.glb")).substr(0, 4) + " " +
                  Described(window.LastChooser()).substr(0, 10),
              ".glb4 run.glb glb glTF Open .tl 2");
    EXPECT_TRUE(window.Boxes().empty());
}

// A recording's or an actor file's measurements go to the suit, an actor file's also shape the
// skeleton; a BVH file's stay the program's: the performer in the suit is still the same.
TEST_F(MotionFiles, ReadMeasurementsReachTheSuitUnlessABvhFileBroughtThem) {
    RecordFrames(4);
    const GyroHandle suit = Engine.SuitHandle;
    Choosing("walk.bvh", 1, OnSaveAs);
    ActorData usual{};
    GyroGetActorData(0, &usual);
    Skeleton shins{};
    GyroCopyActorToSkeleton(&shins, &usual);
    const float shin = shins.Nodes[20].Offset.z - 2.0f; // two inches longer
    shins.Nodes[20].Offset.z = shins.Nodes[26].Offset.z = shin;
    ActorData tall = usual;
    GyroUpdateActorFromSkeleton(&shins, &tall);
    ASSERT_NE(GyroWriteActorData(In("tall.ac").c_str(), &tall, -1), 0);
    Engine.ActorData = tall;
    Choosing("tall.tl", 2, OnSaveAs);
    // What the suit keeps (none: it takes what was read), and whether the skeleton is shaped.
    const std::tuple<const char*, const ActorData*, bool> reads[] = {
        {"tall.ac", nullptr, true}, {"tall.tl", nullptr, false}, {"walk.bvh", &tall, false}};
    for (const auto& [file, suitKeeps, shapesSkeleton] : reads) {
        Engine.ActorData = usual;
        GyroSetActorData(suit, suitKeeps != nullptr ? suitKeeps : &usual);
        Engine.ActorDataChanged = 0;
        OpenDroppedFile(In(file));
        ActorData held{};
        GyroGetActorData(suit, &held);
        const ActorData& expected = suitKeeps != nullptr ? *suitKeeps : Engine.ActorData;
        EXPECT_EQ(std::memcmp(&held, &expected, sizeof held), 0) << file;
        if (shapesSkeleton) {
            EXPECT_NEAR(Engine.Skeleton.Nodes[26].Offset.z, shin, 1e-3f) << file;
        }
    }
}

TEST(RecordingFile, SimiCompanionReplacesOnlyTheFileNamesExtension) {
    const std::pair<const char*, const char*> cases[] = {{"/m/take1.txt", "/m/take1.imp"},
                                                         {"/m.d/take1", "/m.d/take1.imp"},
                                                         {"/m/take1.imp", "/m/take1.imp.imp"}};
    for (const auto& [table, companion] : cases) {
        EXPECT_EQ(SimiCompanionPath(table), companion);
    }
}

// Store writes the measurements in memory, or the suit's own when one is open. A write that
// fails or a name too long says so and keeps the change to be saved; No clears it.
TEST_F(MotionFiles, ActorFilesStoreAndThePromptsRules) {
    auto stored = [this](const char* name) {
        ActorData read{};
        EXPECT_NE(GyroReadActorData(In(name).c_str(), &read), 0) << name;
        return read.ContactRadius[3];
    };
    Engine.ActorData.ContactRadius[3] = 7.5f;
    Choosing("memory.ac", 1, OnStoreActorFile);
    EXPECT_EQ(stored("memory.ac"), 7.5f);
    ActorData suit{};
    GyroGetActorData(OpenSuitIfNeeded(), &suit);
    Engine.ActorData.ContactRadius[3] = suit.ContactRadius[3] + 1.0f;
    Choosing("suit.ac", 1, OnStoreActorFile);
    EXPECT_EQ(stored("suit.ac"), suit.ContactRadius[3]);
    OpenDroppedFile(In("memory.ac"));
    EXPECT_EQ(window.StatusText(0), "Reading file " + In("memory.ac"));

    const std::string prompt =
        "Actor data has changed.  Do you want to save the changes to an actor file?";
    // Yes, and the store fails: the command replaces nothing and goes no further.
    window.AnswerBoxes(MessageAnswer::Yes);
    Engine.ActorData.ContactRadius[3] = 9.5f;
    GyroSetActorData(Engine.SuitHandle, &Engine.ActorData); // a store takes the suit's
    window.ClearCalls();
    const std::string tooLong = "/" + std::string(300, 'a') + ".ac";
    const std::pair<std::string, void (*)()> failing[] = {{In("gone/a.ac"), OnLoadDefaultActorData},
                                                          {tooLong, OnReloadLastActorFile},
                                                          {In("gone/b.ac"), OnLoadActorFile}};
    for (const auto& [bad, command] : failing) {
        Engine.ActorDataChanged = 1;
        Choose(bad, 1);
        command();
        EXPECT_EQ(Engine.ActorDataChanged, 1) << bad;
        EXPECT_EQ(Engine.ActorData.ContactRadius[3], 9.5f) << bad;
    }
    EXPECT_EQ(window.CallsOf("chooser "), std::vector<std::string>(3, "Save"));
    window.AnswerBoxes(MessageAnswer::No);
    OnLoadDefaultActorData();
    OnLoadDefaultActorData();
    EXPECT_EQ(window.CallsOf("box "),
              (std::vector<std::string>{prompt, "Error writing file " + In("gone/a.ac"), prompt,
                                        "The file name is longer than 259 characters.", prompt,
                                        "Error writing file " + In("gone/b.ac"), prompt}));
    EXPECT_EQ(window.StatusText(0), "Loading default actor data");
    window.ClearCalls();
    OnReloadLastActorFile(); // no file remembered since: the Load Actor File chooser
    EXPECT_EQ(window.CallsOf("chooser "), std::vector<std::string>{"Open"});
}

} // namespace
} // namespace telvo
