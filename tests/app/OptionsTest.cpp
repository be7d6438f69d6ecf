// Input Options, Tracker Options and Enable Tracking in the real window with the simulated
// suits and tracker.
#include "WindowFixture.h"
#include "core/CommandIds.h"
#include "core/Text.h"
#include "engine/Engine.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <thread>

namespace telvo::testing {
namespace {

class Options : public WindowTest {
protected:
    static QString Text(QWidget* dialog, int id) { return Control(dialog, id)->text(); }
    static void Type(QWidget* dialog, int id, const char* text) {
        Control(dialog, id)->setText(QString::fromLatin1(text));
    }
    static QString Focused(QWidget* dialog) { return dialog->focusWidget()->objectName(); }
    static QString Entries(QWidget* dialog, int id) {
        QStringList entries;
        for (int i = 0; i < Control<QComboBox>(dialog, id)->count(); ++i) {
            entries << Control<QComboBox>(dialog, id)->itemText(i);
        }
        return entries.join(QLatin1Char('|'));
    }
    SuitInfo OpenSuit() {
        SuitInfo info{};
        GyroGetSuitInfo(Engine.SuitHandle, &info);
        return info;
    }
};

TEST_F(Options, InputOptionsSwitchesSuitsAndStoresTheLimitInTheUnitChosen) {
    sim::SetSuits({{1, "Studio", 1}, {7, "", 2}});
    Start();
    Settings.RecordLimitFS = 5; // seconds
    QStringList seen;
    Dialog(Qt::Key_I, [&](QWidget* d) {
        seen << Entries(d, 1034) << Entries(d, 1051) << Text(d, 1031) << Text(d, 1032);
        Click(d, 1028); // Frames
        seen << Text(d, 1032);
        Click(d, 1029); // Seconds
        seen << Text(d, 1032);
        Control<QComboBox>(d, 1034)->setCurrentIndex(1);
        emit Control<QComboBox>(d, 1034)->activated(1);
        seen << Text(d, 1031);
        Type(d, 1032, "7");
        Click(d, 1);
    });
    EXPECT_EQ(seen.join(QLatin1Char(' ')),
              QStringLiteral("KVX1 \"Studio\"|KVX7 Default|Inches|Feet|Millimeters|Centimeters|"
                             "Meters 120 5 600 5 60"));
    EXPECT_EQ(Settings.RecordLimitFS.load(), 7); // 420 frames at divider 2
    EXPECT_EQ(OpenSuit().Identity, 7u);
}

// Each option comes from its own setting and, after OK, goes back to it: the one changed alone.
TEST_F(Options, InputOptionsOkStoresEachOptionInItsOwnSetting) {
    Start();
    const std::pair<int, const char*> changes[] = {{1026, "0 1 1 1 1 4"}, {1043, "1 0 1 1 1 4"},
                                                   {1044, "1 1 0 1 1 4"}, {1068, "1 1 1 0 1 4"},
                                                   {1048, "1 1 1 1 0 4"}, {1051, "1 1 1 1 1 -1"}};
    for (const auto& [id, stored] : changes) {
        SettingsValues& s = Settings;
        s.RecordStop = s.RecordDelayEnable = s.RecordBeep = s.PCBeep = s.Autoload = 1;
        s.Units = 4;
        Dialog(Qt::Key_I, [control = id](QWidget* d) {
            if (control == 1051) {
                Control<QComboBox>(d, 1051)->setCurrentIndex(0);
                emit Control<QComboBox>(d, 1051)->activated(0); // "Default"
            } else {
                Click(d, control);
            }
            Click(d, 1);
        });
        EXPECT_EQ(Format("%d %d %d %d %d %d", s.RecordStop.load(), s.RecordDelayEnable.load(),
                         s.RecordBeep.load(), s.PCBeep.load(), s.Autoload.load(), s.Units.load()),
                  stored)
            << id;
    }
}

// With no suit open, and none found when Find Suits searches again, the dialog shows 30 and takes
// OK; the measurements stay the program's, and no suit is opened to be told the options. Seconds
// stay seconds whatever rate converts them: the limit shown is the setting, and what is typed
// is stored; also for a count beyond what 32 bits of frames hold.
TEST_F(Options, InputOptionsKeepsASecondsLimitAsShownAndTyped) {
    Start();
    GyroClose(Engine.SuitHandle.exchange(0));
    Settings.EnableTracking = 1; // no tracker: it would be said if a suit were told
    Engine.ActorData.ContactRadius[3] = 7.5f;
    Settings.RecordLimitFS = 5; // seconds
    QStringList shown;
    Dialog(Qt::Key_I, [&shown](QWidget* d) {
        shown << Text(d, 1031) << Text(d, 1032);
        sim::SetSuits({});
        Click(d, 1046);
        shown << Entries(d, 1034) << Text(d, 1031) << Text(d, 1032);
        Type(d, 1032, "10");
        Click(d, 1);
        if (d->isVisible()) {
            Click(d, 2);
        }
    });
    EXPECT_EQ(shown.join(QLatin1Char(' ')), QStringLiteral("120 5  30 5"));
    EXPECT_EQ(Settings.RecordLimitFS.load(), 10);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(Engine.SuitHandle.load(), 0);
    EXPECT_EQ(Engine.ActorData.ContactRadius[3], 7.5f);

    sim::SetSuits({{1, "Slow", 120}});
    Dialog(Qt::Key_I, [](QWidget* d) {
        Type(d, 1032, "4294967295");
        Click(d, 1);
    });
    EXPECT_EQ(static_cast<uint32_t>(Settings.RecordLimitFS.load()), 4294967295u);
    EXPECT_EQ(Settings.RecordFramesOrSeconds.load(), 0);
}

// Of two suits with one number the later is shown; Cancel still reopens the one that was open,
// with the flags, tracking and actor data of the program.
TEST_F(Options, InputOptionsRefusesBadValuesOnceAndCancelReopensThePreviousSuit) {
    sim::SetSuits({{5, "A", 1}, {5, "B", 4}});
    Start();
    Settings.SuitFlags = 0x10 | SuitFlagIgnoreFloor;
    Settings.EnableTracking = 1; // no tracker
    UpdateMenuState();
    Engine.ActorData.FilterCoefficient = 0.25f; // the suit's measurements go to the next one
    GyroSetActorData(Engine.SuitHandle, &Engine.ActorData);
    QStringList seen;
    Dialog(Qt::Key_I, [&](QWidget* d) {
        seen << Control<QComboBox>(d, 1034)->currentText() << Text(d, 1031);
        Type(d, 1042, "1000");
        Click(d, 1);
        seen << Focused(d);
        Type(d, 1042, "0");
        Type(d, 1032, "-3");
        Click(d, 1);
        seen << Focused(d);
        OpenSuitIfNeeded(); // as a client's Record would while the dialog is open
        Click(d, 2);
    });
    EXPECT_EQ(seen.join(QLatin1Char(' ')), QStringLiteral("KVX5 \"B\" 30 1042 1032"));
    EXPECT_EQ(boxes, (std::vector<std::string>{"Please enter an integer between 0 and 999.",
                                               "Please enter a positive integer.",
                                               "Tracker not detected"}));
    EXPECT_EQ(Settings.RecordDelay.load(), 3);
    EXPECT_STREQ(OpenSuit().Name, "A");
    EXPECT_EQ(sim::OpenSuitCount(), 1);
    EXPECT_EQ(GyroGetFlags(Engine.SuitHandle), 0x10 | SuitFlagIgnoreFloor);
    EXPECT_FALSE(Checked(CmdEnableTracking));
    GyroGetActorData(Engine.SuitHandle, &Engine.ActorData);
    EXPECT_EQ(Engine.ActorData.FilterCoefficient, 0.25f);
}

// The suit's library thread waits for its timeout box while the window closes that suit.
TEST_F(Options, ClosingASuitAnswersTheBoxItsThreadWaitsFor) {
    Start();
    const GyroHandle silent = Engine.SuitHandle;
    sim::SetSilent(silent, true);
    std::thread library([silent] { sim::Deliver(silent, 1); });
    while (!Engine.TimeoutBusy) {
        std::this_thread::yield();
    }
    Dialog(Qt::Key_I, [&](QWidget* d) { Click(d, 2); });
    library.join();
    EXPECT_TRUE(boxes.empty()) << "answered without being shown";
    EXPECT_NE(Engine.SuitHandle.load(), 0);
}

TEST_F(Options, TrackerOptionsShowsAndWritesBackTheActorsTrackerFields) {
    WriteAll(dir.path() / "Vexomark.ini", "[Vexomark]\nNumEmitters=3\nCoordinateFile=/s/a.crd\n");
    Start();
    Engine.ActorData.MarkerNode = 3.7f;
    Engine.ActorData.UseTracker = 0.5f;
    GyroSetActorData(Engine.SuitHandle, &Engine.ActorData);
    QStringList seen;
    Dialog(Qt::Key_O, [&](QWidget* d) {
        seen << Text(d, 1077) << Text(d, 1079) << Control<QComboBox>(d, 1083)->currentText()
             << Text(d, 1072) << Text(d, 1053)
             << (Control<QAbstractButton>(d, 1082)->isChecked() ? "use" : "-");
        Type(d, 1053, "x");
        Click(d, 1);
        seen << Focused(d);
        Type(d, 1053, "0.5");
        Click(d, 1);
    });
    EXPECT_EQ(seen.join(QLatin1Char(' ')), QStringLiteral("/s/a.crd 3 Neck 4 0.5 use 1053"));
    EXPECT_EQ(boxes, std::vector<std::string>{"Please enter a number."});
    EXPECT_EQ(Engine.ActorData.MarkerNode, 3.0f);
    EXPECT_EQ(Engine.ActorData.UseTracker, 1.0f);
    EXPECT_EQ(Engine.ActorDataChanged, 1);
    Engine.ActorDataChanged = 0;
    Dialog(Qt::Key_O, [&](QWidget* d) { Click(d, 1); });
    EXPECT_EQ(Engine.ActorDataChanged, 0) << "nothing changed";
}

// Browse writes the file at once; only OK ends tracking, which then waits for the null pose.
// The tracker reads the file's name from Vexomark.ini: when that cannot be written, the dialog
// says so and keeps showing the file the tracker still has.
TEST_F(Options, TrackerOptionsBrowseWritesTheFileOrSaysWhyAndOkRestartsTracking) {
    const std::filesystem::path ini = dir.path() / "Vexomark.ini";
    sim::SetTrackerPresent(true);
    Start();
    frame->Port().SetFileChooserHandler([this](const FileChooser& request) {
        EXPECT_EQ(request.filters.at(0).description, "Vexomark coordinate file (*.crd)");
        return FileChoice{true, (dir.path() / "b.crd").string(), 1};
    });
    Key(Qt::Key_T, Qt::ControlModifier);
    GyroSetNull(Engine.SuitHandle);
    QString offset;
    for (int answer : {2, 1}) {
        Dialog(Qt::Key_O, [&, answer](QWidget* d) {
            Type(d, 1070, "9");
            Click(d, 1078);
            offset = Text(d, 1070);
            Click(d, answer);
        });
        EXPECT_EQ(offset, QStringLiteral("0")) << "Browse puts the values back";
        EXPECT_EQ(GetPrivateProfileString("Vexomark", "CoordinateFile", "", 260, ini),
                  (dir.path() / "b.crd").string());
        EXPECT_EQ(GyroGetTrackerStatus(Engine.SuitHandle) & TrackerWaitingForNull,
                  answer == 1 ? TrackerWaitingForNull : 0u);
    }

    std::filesystem::remove(ini);
    std::filesystem::create_directory(ini); // not a file to replace
    QString shown;
    Dialog(Qt::Key_O, [&](QWidget* d) {
        Click(d, 1078);
        shown = Text(d, 1077);
        Click(d, 2);
    });
    EXPECT_EQ(boxes, std::vector<std::string>{"Error writing file " + ini.string()});
    EXPECT_EQ(shown, QString());
}

TEST_F(Options, EnableTrackingNeedsASuitAndATracker) {
    Start();
    QString pane;
    onBox = [&](const std::string&, MessageButtons) {
        pane = frame->Pane(0)->text();
        return MessageAnswer::Ok;
    };
    Key(Qt::Key_T, Qt::ControlModifier);
    EXPECT_EQ(boxes, std::vector<std::string>{"Tracker not detected"});
    EXPECT_EQ(pane, QStringLiteral("Initializing Tracker..."));
    EXPECT_EQ(frame->Pane(0)->text(), QString());
    EXPECT_FALSE(Checked(CmdEnableTracking));
    sim::SetTrackerPresent(true);
    Key(Qt::Key_T, Qt::ControlModifier);
    EXPECT_TRUE(Checked(CmdEnableTracking));
    EXPECT_EQ(GyroGetTrackerStatus(Engine.SuitHandle), TrackerTracking | TrackerWaitingForNull);
    Key(Qt::Key_T, Qt::ControlModifier);
    EXPECT_EQ(GyroGetTrackerStatus(Engine.SuitHandle), 0u);
    GyroClose(Engine.SuitHandle.exchange(0));
    Key(Qt::Key_T, Qt::ControlModifier);
    EXPECT_FALSE(Checked(CmdEnableTracking) || boxes.size() > 1) << "no suit: off, nothing said";
}

} // namespace
} // namespace telvo::testing
