#include "tests/engine/EngineFixture.h"
#include "tests/support/TempDir.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace telvo {
namespace {

class MotionFiles : public EngineTest {
protected:
    std::string In(const std::string& name) const { return (dir.path() / name).string(); }
    void SetCurrentFile(const std::string& path, int type) {
        ASSERT_TRUE(SetPath(Settings.CurrentFile, path));
        Settings.CurrentFileType = type;
    }
    void WriteText(const std::string& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
    static ActorData Marked(float value) {
        ActorData actor{};
        actor.MarkerOffset = Vector(value, value, value);
        actor.ContactRadius[3] = value;
        return actor;
    }
    static bool Same(const ActorData& a, const ActorData& b) {
        return std::memcmp(&a, &b, sizeof(ActorData)) == 0;
    }
    TempDir dir;
};

TEST_F(MotionFiles, UnknownExtensionsAreRefusedAndTheTypeBecomesRecording) {
    const struct {
        std::string path, folder;
    } files[] = {{In("walk.dat"), dir.path().string()},
                 {In("walk"), dir.path().string()},
                 {In("take.bvh.bak"), dir.path().string()},
                 {"walk.dat", ""},
                 {"/walk.dat", "/"}};
    for (const auto& file : files) {
        window.ClearCalls();
        SetCurrentFile(file.path, 0);
        ReadCurrentMotionFile();
        EXPECT_EQ(window.BoxTexts(),
                  (std::vector<std::string>{"Unrecognized file type for reading"}))
            << file.path;
        EXPECT_EQ(Settings.CurrentFileType.load(), 2);
        EXPECT_EQ(std::string(Settings.CurrentFileDir), file.folder);
        EXPECT_EQ(window.CallsOf("check ").size(), 32u); // the menu state follows
    }
}

TEST_F(MotionFiles, ExtensionDecidesTheTypeIgnoringCaseAndFailuresKeepTheActorData) {
    Engine.ActorData = Marked(2.0f);
    Engine.ActorDataChanged = 1;
    SetCurrentFile(In("missing.BVH"), 0);
    ReadCurrentMotionFile();
    EXPECT_EQ(Settings.CurrentFileType.load(), 1);
    EXPECT_EQ(window.BoxTexts(), (std::vector<std::string>{"BVH file format error"}));

    window.ClearCalls();
    WriteText(In("broken.Tl"), "not a recording");
    SetCurrentFile(In("broken.Tl"), 3); // a SIMI type read by extension
    ReadCurrentMotionFile();
    EXPECT_EQ(Settings.CurrentFileType.load(), 2);
    EXPECT_EQ(window.BoxTexts(),
              (std::vector<std::string>{"Telvoria Recording file format error"}));
    EXPECT_EQ(window.Boxes()[0].icon, MessageIcon::Exclamation);
    EXPECT_TRUE(Same(Engine.ActorData, Marked(2.0f)));
    EXPECT_EQ(Engine.ActorDataChanged, 1);
}

TEST_F(MotionFiles, ActorFileThatCannotBeReadIsReportedAndChangesNothing) {
    Engine.ActorData = Marked(3.0f);
    ASSERT_TRUE(SetPath(Settings.CurrentActorFile, In("none.ac")));
    ReadCurrentActorFile();
    EXPECT_EQ(window.StatusText(0), "Error reading file " + In("none.ac"));
    EXPECT_TRUE(window.Boxes().empty());
    EXPECT_TRUE(Same(Engine.ActorData, Marked(3.0f)));

    WriteText(In("bad.ac"), "\x01\x02 garbage");
    ASSERT_TRUE(SetPath(Settings.CurrentActorFile, In("bad.ac")));
    ReadCurrentActorFile();
    EXPECT_EQ(window.StatusText(0), "Error reading file " + In("bad.ac"));
    EXPECT_TRUE(Same(Engine.ActorData, Marked(3.0f)));

    // No remembered file: nothing at all.
    window.ClearCalls();
    Settings.CurrentActorFile[0] = '\0';
    ReadCurrentActorFile();
    EXPECT_TRUE(window.Calls().empty());
}

TEST_F(MotionFiles, RecordingFileRoundTripSetsActorChangedByComparison) {
    RecordFrames(25);
    Engine.ActorData = Marked(4.0f);
    if (GyroWriteTL(In("take.tl").c_str(), &Engine.Skeleton, &Engine.ActorData) == 0) {
        GTEST_SKIP() << "the suit library writes no recording files yet";
    }
    std::vector<uint64_t> recorded = RecordedSequence();

    // Read back over other measurements: the file's are taken and count as a change.
    Engine.ActorData = Marked(1.0f);
    GyroFreeSkeletonFrames(&Engine.Skeleton);
    SetCurrentFile(In("take.tl"), 2);
    ReadCurrentMotionFile();
    EXPECT_TRUE(window.BoxTexts().empty());
    EXPECT_EQ(RecordedSequence(), recorded);
    EXPECT_TRUE(Same(Engine.ActorData, Marked(4.0f)));
    EXPECT_EQ(Engine.ActorDataChanged, 1);

    // The same measurements again clear a pending change.
    ReadCurrentMotionFile();
    EXPECT_EQ(Engine.ActorDataChanged, 0);
}

TEST_F(MotionFiles, StoredActorFileReadsBack) {
    GyroGetActorData(0, &Engine.ActorData);
    Engine.ActorData.ContactRadius[5] = 1.75f;
    ActorData stored = Engine.ActorData;
    window.AnswerNextChooser(FileChoice{true, In("me.ac"), 1});
    OnStoreActorFile();
    ASSERT_EQ(window.Choosers().size(), 1u);
    const FileChooser chooser = window.Choosers()[0];
    EXPECT_EQ(chooser.mode, FileChooser::Mode::Save);
    ASSERT_EQ(chooser.filters.size(), 1u);
    EXPECT_EQ(chooser.filters[0].description, "Actor Measurement file (*.ac)");
    EXPECT_EQ(chooser.filters[0].pattern, "*.ac");
    EXPECT_EQ(chooser.defaultExtension, ".ac");
    EXPECT_TRUE(chooser.confirmOverwrite);
    EXPECT_EQ(std::string(Settings.CurrentActorFile), In("me.ac"));
    EXPECT_EQ(std::string(Settings.CurrentActorFileDir), dir.path().string());
    if (!std::filesystem::exists(In("me.ac"))) {
        GTEST_SKIP() << "the suit library writes no actor files yet";
    }

    Engine.ActorData = Marked(9.0f);
    ReadCurrentActorFile();
    EXPECT_EQ(window.StatusText(0), "Reading file " + In("me.ac"));
    EXPECT_EQ(Engine.ActorData.ContactRadius[5], stored.ContactRadius[5]);
}

TEST_F(MotionFiles, SaveChangesPromptAsksOnceAndStoresOnYes) {
    Engine.ActorDataChanged = 1;
    window.AnswerNextBox(MessageAnswer::No);
    SaveActorChangesPrompt();
    SaveActorChangesPrompt();
    ASSERT_EQ(window.Boxes().size(), 1u);
    EXPECT_EQ(window.Boxes()[0].text,
              "Actor data has changed.  Do you want to save the changes to an actor file?");
    EXPECT_EQ(window.Boxes()[0].buttons, MessageButtons::YesNo);
    EXPECT_EQ(window.Boxes()[0].icon, MessageIcon::None);
    EXPECT_TRUE(window.Choosers().empty());

    // Yes runs Store Actor File; a cancelled chooser stores nothing but the flag is cleared.
    Engine.ActorDataChanged = 1;
    window.AnswerNextBox(MessageAnswer::Yes);
    SaveActorChangesPrompt();
    EXPECT_EQ(window.Choosers().size(), 1u);
    EXPECT_EQ(Engine.ActorDataChanged, 0);
    EXPECT_STREQ(Settings.CurrentActorFile, "");
}

TEST_F(MotionFiles, AChosenNameTooLongIsRefusedNotCut) {
    ASSERT_TRUE(SetPath(Settings.CurrentActorFile, "/keep.ac"));
    window.AnswerNextChooser(FileChoice{true, "/" + std::string(300, 'a') + ".ac", 1});
    OnStoreActorFile();
    EXPECT_EQ(window.BoxTexts(),
              (std::vector<std::string>{"The file name is longer than 259 characters."}));
    EXPECT_STREQ(Settings.CurrentActorFile, "/keep.ac");
}

} // namespace
} // namespace telvo
