// Enable Server in the real window: Alt+S, the address dialog, the check mark.
#include "server/LocalIPDialog.h"
#include "core/CommandIds.h"
#include "telvoria/TelvoriaNet.h"
#include "tests/app/WindowFixture.h"

#include <QComboBox>
#include <QLabel>

#include <unistd.h>

namespace telvo::testing {
namespace {

struct LocalIPDialogTest : WindowTest {
    void SetUp() override {
        WindowTest::SetUp();
        net::SetServerOptions({.port = 0, .vmcTargets = {}, .token = {}});
    }
    static QComboBox* List(QWidget* dialog) { return Control<QComboBox>(dialog, 1190); }
};

TEST_F(LocalIPDialogTest, AltSChoosesTheAddressStopsAndPreselectsItNextTime) {
    Start();
    ModalScript script;
    QString host, preselected;
    script.Then([&](QWidget* dialog) {
        host = Control<QLabel>(dialog, 1191)->text();
        List(dialog)->setCurrentIndex(List(dialog)->findText(QStringLiteral("127.0.0.1")));
        Click(dialog, 1);
    });
    Key(Qt::Key_S, Qt::AltModifier);
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    EXPECT_EQ(host, QString::fromLocal8Bit(name));
    EXPECT_TRUE(Checked(CmdEnableServer));
    EXPECT_EQ(frame->Pane(0)->text().toStdString(),
              "Serving on 127.0.0.1 port " + std::to_string(NetworkGetServerPort()));
    Key(Qt::Key_S, Qt::AltModifier); // stops without a dialog
    EXPECT_FALSE(Checked(CmdEnableServer));
    script.Then([&](QWidget* dialog) {
        preselected = List(dialog)->currentText();
        Click(dialog, 2);
    });
    Key(Qt::Key_S, Qt::AltModifier);
    EXPECT_EQ(preselected, QStringLiteral("127.0.0.1"));
    EXPECT_FALSE(Checked(CmdEnableServer));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(LocalIPDialogTest, OkWithNoEntryPassesTheNoSelectionIndex) {
    CLocalIPDialog dialog;
    dialog.m_address = 5;
    dialog.show();
    List(&dialog)->clear();
    Click(&dialog, 1);
    EXPECT_EQ(dialog.m_address, 0u); // NetworkGetLocalIP(-1)
}

} // namespace
} // namespace telvo::testing
