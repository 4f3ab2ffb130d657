#include "common/controls/Form.h"
#include "common/controls/Tray.h"
#include "tests/support/TestEnvironment.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace harbel;

namespace {

class RecordingShell final : public TrayShell {
public:
    struct Call {
        NotifyMessage message;
        NotifyIconData data;
    };
    QList<Call> calls;
    bool Shell_NotifyIcon(NotifyMessage m, const NotifyIconData& d, Tray&) override
    {
        calls.append({m, d});
        return true;
    }
};

class TrayForm final : public Form {
public:
    explicit TrayForm(TrayShell* shell) : Form("frmMain"), Tray1(*this, "Tray1", shell) {}
    Tray Tray1;
};

}  // namespace

TEST(Tray, ShowTwiceAddsThenModifiesAndHideDeletes)
{
    RecordingShell shell;
    TrayForm f(&shell);
    f.Tray1.setTrayImage(":/icon.png");
    f.Tray1.setTrayToolTip("Harbel");
    EXPECT_FALSE(f.Tray1.IsVisible());
    f.Tray1.Show(true);
    f.Tray1.Show(true);
    ASSERT_EQ(shell.calls.size(), 2);
    EXPECT_EQ(shell.calls[0].message, NIM_ADD);
    EXPECT_EQ(shell.calls[1].message, NIM_MODIFY);
    const NotifyIconData& d = shell.calls[0].data;
    EXPECT_EQ(d.cbSize, 488u);
    EXPECT_EQ(d.uID, 1u);
    EXPECT_EQ(d.uFlags, 7u);
    EXPECT_EQ(d.uCallbackMessage, 512u);
    EXPECT_EQ(d.szTip, " Harbel ");
    EXPECT_EQ(d.hIcon, ":/icon.png");
    EXPECT_TRUE(f.Tray1.IsVisible());

    f.Tray1.Show(false);
    f.Tray1.Show(false);  // not added any more: nothing sent
    ASSERT_EQ(shell.calls.size(), 3);
    EXPECT_EQ(shell.calls[2].message, NIM_DELETE);
    EXPECT_FALSE(f.Tray1.IsVisible());

    f.Tray1.setTrayToolTip("");
    f.Tray1.Show(true);
    EXPECT_EQ(shell.calls.last().data.szTip, "");
    f.Tray1.setTrayToolTip(QString(300, 'x'));
    f.Tray1.Show(true);
    EXPECT_EQ(shell.calls.last().data.szTip.size(), 127);
}

TEST(Tray, BalloonIsAModifyWithTheBalloonFields)
{
    RecordingShell shell;
    TrayForm f(&shell);
    f.Tray1.setTrayToolTip("Harbel");
    f.Tray1.setTrayBalloonToolTip("Download complete");
    f.Tray1.showBalloonoolTip(false);
    EXPECT_TRUE(shell.calls.isEmpty());
    f.Tray1.Show(true);
    f.Tray1.showBalloonoolTip(true);
    ASSERT_EQ(shell.calls.size(), 2);
    const NotifyIconData& d = shell.calls[1].data;
    EXPECT_EQ(shell.calls[1].message, NIM_MODIFY);
    EXPECT_EQ(d.uFlags, 23u);
    EXPECT_EQ(d.szInfo, "Download complete");
    EXPECT_EQ(d.szInfoTitle, "Harbel");
    EXPECT_EQ(d.uTimeout, 1u);
    EXPECT_EQ(d.dwInfoFlags, 1u);
}

TEST(Tray, EventModeIsClamped)
{
    TrayForm f(nullptr);
    f.Tray1.setEventMode(5);
    EXPECT_EQ(f.Tray1.EventMode(), 1);
    f.Tray1.setEventMode(-3);
    EXPECT_EQ(f.Tray1.EventMode(), 0);
}

TEST(Tray, PressesWithin15msRaiseOneEventAndOnlyPressesCount)
{
    TrayForm f(nullptr);
    QSignalSpy left(&f.Tray1, &Tray::LeftClick);
    QSignalSpy right(&f.Tray1, &Tray::RightClick);
    QSignalSpy click(&f.Tray1, &Tray::MouseClick);

    f.Tray1.MouseMessage(512);  // a move
    f.Tray1.MouseMessage(514);  // a release
    f.Tray1.MouseMessage(515);  // a double click
    EXPECT_EQ(left.count() + right.count(), 0);

    f.Tray1.MouseMessage(513);
    f.Tray1.MouseMessage(513);
    f.Tray1.MouseMessage(516);
    EXPECT_EQ(left.count(), 1);
    EXPECT_EQ(right.count(), 0);

    // After the 15 ms the next press counts again.
    test::runFor(40);
    f.Tray1.MouseMessage(516);
    EXPECT_EQ(right.count(), 1);

    test::runFor(40);
    f.Tray1.setEventMode(1);
    f.Tray1.MouseMessage(516);
    test::runFor(40);
    f.Tray1.MouseMessage(513);
    ASSERT_EQ(click.count(), 2);
    EXPECT_EQ(click.at(0).at(0).toInt(), 2);
    EXPECT_EQ(click.at(1).at(0).toInt(), 1);
    EXPECT_EQ(left.count(), 1);
}

TEST(Tray, ClosingTheHostRemovesTheIcon)
{
    RecordingShell shell;
    {
        TrayForm f(&shell);
        f.Tray1.Show(true);
    }
    ASSERT_EQ(shell.calls.size(), 2);
    EXPECT_EQ(shell.calls[1].message, NIM_DELETE);
}
