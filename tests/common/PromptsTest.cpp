#include "common/controls/Control.h"
#include "common/controls/Form.h"
#include "common/prompts/ScriptedPrompts.h"

#include <gtest/gtest.h>

using namespace harbel;

namespace {
class AskForm final : public Form {
public:
    AskForm() : Form("frmExist") { setCaption("File Exists"); }
    Button cmdResume{*this, "cmdResume"};
    int answer = 0;
    void cmdResume_Click()
    {
        answer = -1;
        Hide();
    }
};
}  // namespace

TEST(Prompts, ScriptedAnswersAreRecordedInOrder)
{
    ScriptedPrompts p;
    QStringList unexpected;
    p.setUnexpectedHandler([&](const QString& what) { unexpected.append(what); });
    p.answer(MsgAnswer::Yes);
    p.answerText(QStringLiteral("/tmp/file.zip"));
    p.answerText(std::nullopt);
    p.answerForm([](Form& f) { static_cast<AskForm&>(f).cmdResume_Click(); });

    EXPECT_EQ(p.MsgBox("Overwrite?", MsgButtons::YesNo, MsgIcon::Question, "Harbel"), MsgAnswer::Yes);
    EXPECT_EQ(p.SaveFileName("Save As", "/tmp/x.zip", "*.*"), QStringLiteral("/tmp/file.zip"));
    EXPECT_EQ(p.InputBox("Name?", "Harbel", "def"), std::nullopt);
    AskForm form;
    p.ShowModal(form);
    EXPECT_EQ(form.answer, -1);
    EXPECT_FALSE(form.Visible());

    ASSERT_EQ(p.records().size(), 4);
    EXPECT_EQ(p.records()[0].text, "Overwrite?");
    EXPECT_EQ(p.records()[0].icon, MsgIcon::Question);
    EXPECT_EQ(p.records()[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(p.records()[1].initial, "/tmp/x.zip");
    EXPECT_EQ(p.records()[3].kind, ScriptedPrompts::Kind::ShowModal);
    EXPECT_EQ(p.records()[3].text, "frmExist");
    EXPECT_TRUE(unexpected.isEmpty());
}

TEST(Prompts, UnexpectedOrMismatchedPromptsAreReportedAndCancelled)
{
    ScriptedPrompts p;
    QStringList unexpected;
    p.setUnexpectedHandler([&](const QString& what) { unexpected.append(what); });
    EXPECT_EQ(p.MsgBox("Stop?", MsgButtons::YesNoCancel, MsgIcon::Question, "t"), MsgAnswer::Cancel);
    EXPECT_EQ(p.MsgBox("Done", MsgButtons::OkOnly, MsgIcon::Information, "t"), MsgAnswer::Ok);
    p.answer(MsgAnswer::Yes);
    EXPECT_EQ(p.ChooseFolder("Folder", "/"), std::nullopt);  // a message answer for a folder prompt
    AskForm form;
    p.ShowModal(form);
    EXPECT_FALSE(form.Visible());
    EXPECT_EQ(unexpected.size(), 4);
    EXPECT_EQ(cancelAnswer(MsgButtons::YesNo), MsgAnswer::No);
    EXPECT_EQ(cancelAnswer(MsgButtons::AbortRetryIgnore), MsgAnswer::Abort);
}

TEST(Prompts, WithoutAProgramInstanceEveryPromptIsCancelled)
{
    Prompts::setInstance(nullptr);
    EXPECT_EQ(Prompts::instance().MsgBox("x", MsgButtons::OkCancel, MsgIcon::None, "t"), MsgAnswer::Cancel);
    EXPECT_EQ(Prompts::instance().InputBox("x", "t", "d"), std::nullopt);
}
