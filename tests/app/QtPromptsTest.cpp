#include "common/controls/Control.h"
#include "common/controls/Form.h"
#include "common/ui/QtPrompts.h"
#include "tests/support/TestEnvironment.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

using namespace harbel;

namespace {

// Presses a button of the next message box once it is on screen.
void pressWhenShown(QMessageBox::StandardButton which, QString* seenText = nullptr, QString* seenTitle = nullptr)
{
    QTimer::singleShot(0, [=] {
        test::waitUntil([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; }, 5000);
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        if (seenText)
            *seenText = box->text();
        if (seenTitle)
            *seenTitle = box->windowTitle();
        box->button(which)->click();
    });
}

class AskForm final : public Form {
public:
    AskForm() : Form("frmAsk") {}
    Button cmdOk{*this, "cmdOk"};
};

}  // namespace

TEST(QtPrompts, MessageBoxButtonsMapToTheirAnswers)
{
    QtPrompts prompts;
    QString text, title;
    pressWhenShown(QMessageBox::No, &text, &title);
    EXPECT_EQ(prompts.MsgBox("Overwrite the file?", MsgButtons::YesNoCancel, MsgIcon::Question, "Harbel"), MsgAnswer::No);
    EXPECT_EQ(text, "Overwrite the file?");
    EXPECT_EQ(title, "Harbel");
    pressWhenShown(QMessageBox::Retry);
    EXPECT_EQ(prompts.MsgBox("x", MsgButtons::RetryCancel, MsgIcon::Exclamation, "t"), MsgAnswer::Retry);
    pressWhenShown(QMessageBox::Ok);
    EXPECT_EQ(prompts.MsgBox("x", MsgButtons::OkOnly, MsgIcon::Information, "t"), MsgAnswer::Ok);
}

TEST(QtPrompts, ModalFormEndsWhenTheFormHidesItself)
{
    QtPrompts prompts;
    bool viewMade = false;
    prompts.registerView("frmAsk", [&](Form& form, QWidget* parent) {
        viewMade = true;
        auto* dialog = new QDialog(parent);
        // The user's answer: the form takes it and hides itself.
        QTimer::singleShot(0, &form, [&form] { form.Hide(); });
        return dialog;
    });
    AskForm form;
    prompts.ShowModal(form);
    EXPECT_TRUE(viewMade);
    EXPECT_FALSE(form.Visible());
}
