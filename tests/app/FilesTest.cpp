// The File menu and BVH File Options in the real window.
#include "WindowFixture.h"

#include "app/ViewWidget.h"
#include "core/CommandIds.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>

#include <array>
#include <filesystem>

namespace telvo::testing {
namespace {

namespace fs = std::filesystem;
using Files = WindowTest;

void Drop(QWidget* view, const fs::path& file) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(file.string()))});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &enter);
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &drop);
}

TEST_F(Files, BvhFilesOpenAndPlayAndDroppedFilesOpenByExtension) {
    const fs::path human = SourcePath("tests/formats/corpus/human");
    const fs::path file = human / "animdraw_capture1_jumping.bvh";
    Start();
    frame->Port().SetFileChooserHandler([&](const FileChooser&) {
        return FileChoice{true, file.string(), 1};
    });
    Key(Qt::Key_O, Qt::ControlModifier);
    Key(Qt::Key_P);
    EXPECT_EQ(frame->windowTitle().toStdString(), "TelvoView - " + file.string());
    EXPECT_TRUE(QTest::qWaitFor([] { return Engine.PlaybackIndex > 0; }));
    Key(Qt::Key_Escape);

    // A dropped file is read by its extension; its measurements differ from the first file's.
    Settings.CurrentFileType = 2;
    Drop(frame->View(), human / "rokoko_jesse_dance.bvh");
    EXPECT_TRUE(QTest::qWaitFor([] { return Settings.CurrentFileType == 1; }));

    // The measurements the files brought are offered for saving first at close.
    const std::string chosen = (dir.path() / "anna.ac").string();
    onBox = [](const std::string&, MessageButtons) {
        EXPECT_EQ(sim::OpenSuitCount(), 1);
        return MessageAnswer::Yes;
    };
    frame->Port().SetFileChooserHandler([&chosen](const FileChooser&) {
        return FileChoice{true, chosen, 1};
    });
    frame->close();
    EXPECT_EQ(ReadSetting("CurrentActorFile"), chosen);
}

TEST_F(Files, QtsChooserTurnsRunBvhIntoRunTlAndRefusesAReadOnlyFile) {
    Start();
    Key(Qt::Key_R, Qt::AltModifier);
    sim::Deliver(Engine.SuitHandle, 3);
    WriteAll(dir.path() / "run.tl", "kept");
    fs::permissions(dir.path() / "run.tl", fs::perms::owner_read);
    ASSERT_TRUE(SetPath(Settings.CurrentFile, (dir.path() / "run.bvh").string()));
    Settings.CurrentFileType = 1;
    script.Then([](QWidget* dialog) {
        auto* name = Named<QLineEdit>(dialog, "fileNameEdit");
        EXPECT_EQ(name->text(), QStringLiteral("run.bvh"));
        name->setText(QStringLiteral("/x/run.bvh")); // the handler keeps only the file's name
        auto* types = Named<QComboBox>(dialog, "fileTypeCombo");
        EXPECT_EQ(types->itemText(2).toStdString(), "SIMI file (*.txt)");
        QTest::keyClick(types, Qt::Key_Down);
        EXPECT_EQ(name->text(), QStringLiteral("run.tl"));
        // Later: the refusal's box must come up outside this step.
        QTimer::singleShot(0, dialog, [dialog] { qobject_cast<QDialog*>(dialog)->accept(); });
    });
    script.Then([](QWidget* box) {
        EXPECT_EQ(qobject_cast<QMessageBox*>(box)->text().toStdString(),
                  "run.tl\nThis file is read-only.\nChoose another name.");
        box->parentWidget()->setProperty("scripted", false); // the chooser is still open
        box->close();
    });
    script.Then([](QWidget* dialog) {
        // Typing drops the listed run.tl from the selection only while the name box has the
        // focus, which a window activated late may not have given back yet: drop it here.
        Named<QAbstractItemView>(dialog, "listView")->selectionModel()->clear();
        Named<QLineEdit>(dialog, "fileNameEdit")->setText(QStringLiteral("run2"));
        qobject_cast<QDialog*>(dialog)->accept();
    });
    Key(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(Settings.CurrentFileType.load(), 2);
    EXPECT_TRUE(fs::exists(dir.path() / "run2.gr")); // the recording entry's default extension
}

// A box without a number is named and keeps the dialog open; only OK reaches the library.
TEST_F(Files, BvhFileOptionsRefusesTextAndOnlyOkReachesTheLibrary) {
    Start();
    Settings.HeelWidth = 0.1f;
    script.Then([](QWidget* dialog) {
        auto edit = [dialog](const char* name) { return Named<QLineEdit>(dialog, name); };
        EXPECT_EQ(edit("heelWidth")->text(), QStringLiteral("0.1"));
        edit("heelWidth")->setText(QStringLiteral("1,5"));
        edit("ballWidth")->setText(QStringLiteral(" 12.5 "));
        edit("footLength")->setText(QStringLiteral("11"));
        edit("shortenOutside")->setText(QStringLiteral("-1"));
        Named<QPushButton>(dialog, "ok")->click();
        EXPECT_EQ(dialog->focusWidget(), edit("heelWidth"));
        edit("heelWidth")->setText(QStringLiteral("2"));
        Named<QPushButton>(dialog, "ok")->click();
    });
    frame->OnCommand(CmdBvhFileOptions);
    EXPECT_EQ(boxes, std::vector<std::string>{"Please enter a number."});
    EXPECT_EQ(Settings.FootShortenOutside.load(), -1.0f); // no range check here
    std::array<float, 4> foot{};
    GyroGetBVHFoot(&foot[0], &foot[1], &foot[2], &foot[3]);
    EXPECT_EQ((std::array{foot[0], foot[1], foot[2]}), (std::array{11.0f, 2.0f, 12.5f}));

    GyroSetBVHFoot(1, 1, 1, 1);
    script.Then([](QWidget* dialog) {
        Named<QLineEdit>(dialog, "ballWidth")->setText(QStringLiteral("9"));
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    frame->OnCommand(CmdBvhFileOptions);
    GyroGetBVHFoot(&foot[0], &foot[1], &foot[2], &foot[3]);
    EXPECT_EQ(foot, (std::array<float, 4>{1, 1, 1, 1}));
    EXPECT_EQ(Settings.BallWidth.load(), 12.5f);
}

} // namespace
} // namespace telvo::testing
