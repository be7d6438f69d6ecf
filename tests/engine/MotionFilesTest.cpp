#include "tests/engine/EngineFixture.h"
#include "tests/support/TempDir.h"

#include <cstring>
#include <string>
#include <utility>

namespace telvo {
namespace {

class MotionFiles : public EngineTest {
protected:
    std::string In(const std::string& name) const { return (dir.path() / name).string(); }
    TempDir dir;
};

TEST_F(MotionFiles, UnknownExtensionsAreRefusedAndTheTypeBecomesRecording) {
    const std::pair<std::string, std::string> files[] = {
        {In("take.bvh.bak"), dir.path().string()}, {"walk.dat", ""}, {"/walk.dat", "/"}};
    for (const auto& [path, folder] : files) {
        ASSERT_TRUE(SetPath(Settings.CurrentFile, path));
        Settings.CurrentFileType = 0;
        ReadCurrentMotionFile();
        EXPECT_EQ(Settings.CurrentFileType.load(), 2) << path;
        EXPECT_EQ(std::string(Settings.CurrentFileDir), folder);
    }
    const FakePlatform::Box refused{"Unrecognized file type for reading", MessageButtons::Ok,
                                    MessageIcon::Exclamation};
    EXPECT_EQ(window.Boxes(), Boxes(std::size(files), refused));
}

TEST_F(MotionFiles, FailedReadsAreReportedAndKeepTheActorData) {
    Engine.ActorData.ContactRadius[3] = 2.0f;
    const ActorData before = Engine.ActorData;
    Engine.ActorDataChanged = 1;
    WriteAll(In("broken.Tl"), "not a recording");
    ASSERT_TRUE(SetPath(Settings.CurrentFile, In("broken.Tl")));
    Settings.CurrentFileType = 3; // a SIMI type is read by its extension, in any case
    ReadCurrentMotionFile();
    EXPECT_EQ(Settings.CurrentFileType.load(), 2);
    EXPECT_EQ(Engine.ActorDataChanged, 1);
    // An actor file that cannot be read: the changes are offered for saving once, first.
    WriteAll(In("bad.ac"), "\x01\x02 garbage");
    for (const char* name : {"none.ac", "bad.ac"}) {
        ASSERT_TRUE(SetPath(Settings.CurrentActorFile, In(name)));
        ReadCurrentActorFile();
        EXPECT_EQ(window.StatusText(0), "Error reading file " + In(name));
    }
    EXPECT_EQ(window.Boxes(),
              (Boxes{{"Telvoria Recording file format error", MessageButtons::Ok,
                      MessageIcon::Exclamation},
                     {"Actor data has changed.  Do you want to save the changes to an actor file?",
                      MessageButtons::YesNo, MessageIcon::None}}));
    EXPECT_EQ(std::memcmp(&before, &Engine.ActorData, sizeof(ActorData)), 0);
    // No remembered file: nothing at all.
    window.ClearCalls();
    Settings.CurrentActorFile[0] = '\0';
    ReadCurrentActorFile();
    EXPECT_TRUE(window.Calls().empty());
}

TEST_F(MotionFiles, AChosenActorFileNameTooLongIsRefusedNotCut) {
    ASSERT_TRUE(SetPath(Settings.CurrentActorFile, "/keep.ac"));
    window.AnswerChoosers(FileChoice{true, "/" + std::string(300, 'a') + ".ac", 1});
    OnStoreActorFile();
    EXPECT_EQ(window.CallsOf("box "),
              std::vector<std::string>{"The file name is longer than 259 characters."});
    EXPECT_STREQ(Settings.CurrentActorFile, "/keep.ac");
}

} // namespace
} // namespace telvo
