#include "common/controls/Control.h"
#include "common/controls/ExtraTimer.h"
#include "common/controls/Form.h"
#include "common/controls/Timer.h"
#include "common/controls/Tray.h"
#include "common/support/Skin.h"
#include "tests/support/TestEnvironment.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace harbel;

namespace {

// A form with one control of every kind, in a known order.
class SampleForm final : public Form {
public:
    SampleForm() : Form("frmSample") {}
    Button cmdOk{*this, "cmdOk"};
    Label lblStatus{*this, "lblStatus"};
    Label lblPlain{*this, "lblPlain", false};
    Frame fraOptions{*this, "fraOptions"};
    CheckBox chkSegment{*this, "chkSegment"};
    OptionButton optSameDir{*this, "optSameDir"};
    StatusBar sbStatus{*this, "sbStatus"};
    TabStrip tabMain{*this, "tabMain"};
    TextBox txtURL{*this, "txtURL"};
    ProgressBar ProgressBar1{*this, "ProgressBar1"};
    Timer tmrUpdate{*this, "tmrUpdate", 500};
    ExtraTimer tmrReconnect{*this, "tmrReconnect"};
    Tray Tray1{*this, "Tray1"};
};

}  // namespace

TEST(Controls, ChangesAreReportedOnceAndOnlyWhenTheStateChanges)
{
    SampleForm f;
    QSignalSpy formSpy(&f, &Form::controlChanged);
    QSignalSpy labelSpy(&f.lblStatus, &Control::changed);
    f.lblStatus.setCaption("Connecting...");
    f.lblStatus.setCaption("Connecting...");
    f.txtURL.setText("http://host/x.zip");
    f.cmdOk.setEnabled(false);
    f.cmdOk.setEnabled(false);
    f.sbStatus.setVisible(true);  // unchanged: already visible
    EXPECT_EQ(labelSpy.count(), 1);
    EXPECT_EQ(formSpy.count(), 3);
    EXPECT_EQ(formSpy.at(0).at(0).value<Control*>(), &f.lblStatus);

    f.sbStatus.setPanelText(2, "third");
    EXPECT_EQ(f.sbStatus.Panels(), (QStringList{"", "", "third"}));
    EXPECT_EQ(f.control("LBLSTATUS"), &f.lblStatus);
    EXPECT_EQ(f.control("nothing"), nullptr);
    EXPECT_EQ(f.controls().size(), 13u);
    EXPECT_EQ(f.controls().front(), &f.cmdOk);
}

TEST(Controls, RefreshControlsRefreshesEveryControlThatCan)
{
    SampleForm f;
    RefreshControls(f);
    EXPECT_EQ(f.cmdOk.refreshCount(), 1);
    EXPECT_EQ(f.ProgressBar1.refreshCount(), 1);
    EXPECT_EQ(f.tmrUpdate.refreshCount(), 0);  // a timer has nothing to refresh
    EXPECT_EQ(f.Tray1.refreshCount(), 0);
}

TEST(Controls, TimerControlRunsItsHandlerOnlyWhileEnabled)
{
    SampleForm f;
    int ticks = 0;
    f.tmrUpdate.setInterval(5);
    f.tmrUpdate.setHandler([&] { ++ticks; });
    EXPECT_FALSE(f.tmrUpdate.isEnabled());
    f.tmrUpdate.setEnabled(true);
    EXPECT_TRUE(test::waitUntil([&] { return ticks >= 3; }, 2000));
    f.tmrUpdate.setEnabled(false);
    const int stopped = ticks;
    test::runFor(50);
    EXPECT_EQ(ticks, stopped);
}
