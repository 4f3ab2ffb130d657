#include "common/controls/Control.h"
#include "common/controls/Form.h"
#include "common/controls/Timer.h"
#include "common/platform/AppFolder.h"
#include "common/support/Skin.h"
#include "tests/support/TestEnvironment.h"

#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace harbel;

namespace {

class SkinnedForm final : public Form {
public:
    SkinnedForm() : Form("frmSettings") {}
    Button cmdOk{*this, "cmdOk"};
    Label lblSkinned{*this, "lblSkinned"};
    Label lblPlain{*this, "lblPlain", false};
    Frame fraBorder{*this, "fraBorder"};
    Frame fraNone{*this, "fraNone"};
    CheckBox chkSegment{*this, "chkSegment"};
    OptionButton optSameDir{*this, "optSameDir"};
    StatusBar sbStatus{*this, "sbStatus"};
    TabStrip tabs{*this, "tabs"};
    TextBox txtURL{*this, "txtURL"};
    Timer tmrUpdate{*this, "tmrUpdate", 500};
};

const char kSkin[] =
    "* { color: black; }\n"
    "/* @style Button */\nQPushButton { color: red; }\n"
    "/* @style Label */\nQLabel { color: blue; }\n"
    "/* @style Frame */\nQGroupBox { border: 1px solid; }\n"
    "/* @style NoFrame */\nQGroupBox { border: none; }\n"
    "/* @style checkBox */\nQCheckBox {}\n"
    "/* @style radioBox */\nQRadioButton {}\n"
    "/* @style StatusBar */\nQStatusBar {}\n"
    "/* @style Tab */\nQTabBar {}\n";

}  // namespace

TEST(Skin, SectionsAndTheCommonPart)
{
    Skin skin;
    EXPECT_FALSE(skin.isLoaded());
    skin.loadFromText(kSkin);
    EXPECT_TRUE(skin.hasStyle("button"));
    EXPECT_EQ(skin.styleSheet("Button"), "* { color: black; }\nQPushButton { color: red; }\n");
    EXPECT_EQ(skin.styleSheet("Missing"), "");
    // The shipped skins are seeded into the application folder and load.
    EXPECT_TRUE(skin.LoadSkin(AppFolder::file("harbel.skn")));
    EXPECT_TRUE(skin.hasStyle("Main"));
    EXPECT_TRUE(skin.hasStyle("secondForm"));
    EXPECT_FALSE(skin.LoadSkin(AppFolder::file("no-such.skn")));
    EXPECT_FALSE(skin.isLoaded());

    // A pipe would block the start-up; a skin of megabytes is no skin.
    const QString pipe = AppFolder::file("pipe.skn");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_FALSE(skin.LoadSkin(pipe));
    const QString huge = AppFolder::file("huge.skn");
    test::writeFile(huge, "/* @style Main */\n" + QByteArray(2 * 1024 * 1024, ' ') + "\n");
    EXPECT_FALSE(skin.LoadSkin(huge));
    EXPECT_FALSE(skin.isLoaded());
}

TEST(Skin, FormControlsGetTheStyleOfTheirKind)
{
    Skin skin;
    skin.loadFromText(kSkin);
    SkinnedForm f;
    SkinFormControls(f, skin);
    EXPECT_EQ(f.cmdOk.styleName(), "Button");
    EXPECT_EQ(f.lblSkinned.styleName(), "Label");
    EXPECT_EQ(f.lblPlain.styleName(), "");
    EXPECT_EQ(f.fraBorder.styleName(), "Frame");
    EXPECT_EQ(f.chkSegment.styleName(), "checkBox");
    EXPECT_EQ(f.optSameDir.styleName(), "radioBox");
    EXPECT_EQ(f.sbStatus.styleName(), "StatusBar");
    EXPECT_EQ(f.tabs.styleName(), "Tab");
    EXPECT_EQ(f.txtURL.styleName(), "");
    EXPECT_EQ(f.tmrUpdate.styleName(), "");

    SkinnedForm ftp;
    ftp.fraNone.setBorderStyle(0);
    SkinFormControlsFtp(ftp, skin);
    EXPECT_EQ(ftp.fraBorder.styleName(), "Frame");
    EXPECT_EQ(ftp.fraNone.styleName(), "NoFrame");
}

TEST(Skin, ErrorsAreIgnoredByFormControlsButEndTheMainWindowStyling)
{
    Skin partial;
    partial.loadFromText("/* @style Button */\nQPushButton {}\n/* @style checkBox */\nQCheckBox {}\n");
    SkinnedForm f;
    SkinFormControls(f, partial);  // no Label style: that control is skipped, the rest go on
    EXPECT_EQ(f.cmdOk.styleName(), "Button");
    EXPECT_EQ(f.lblSkinned.styleName(), "");
    EXPECT_EQ(f.chkSegment.styleName(), "checkBox");

    SkinnedForm main;
    EXPECT_FALSE(SkinForm(main, partial));
    EXPECT_EQ(main.cmdOk.styleName(), "Button");
    EXPECT_EQ(main.chkSegment.styleName(), "");  // styling stopped at the label

    Skin full;
    full.loadFromText(kSkin);
    SkinnedForm all;
    EXPECT_TRUE(SkinForm(all, full));
    EXPECT_EQ(all.sbStatus.styleName(), "");  // the main window has no status-bar row
    EXPECT_EQ(all.tabs.styleName(), "Tab");

    Skin none;
    SkinnedForm unstyled;
    SkinFormControls(unstyled, none);
    EXPECT_EQ(unstyled.cmdOk.styleName(), "");
    EXPECT_FALSE(none.ApplySkinByName(unstyled, "Main"));
}
