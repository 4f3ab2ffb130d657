#include "common/prompts/ScriptedPrompts.h"

#include "common/controls/Form.h"

namespace harbel {

void ScriptedPrompts::clear()
{
    answers_.clear();
    records_.clear();
}

void ScriptedPrompts::unexpected(const Record& r, const char* why)
{
    if (onUnexpected_)
        onUnexpected_(QStringLiteral("%1 prompt \"%2\" (%3)").arg(QLatin1String(why), r.text, r.title));
}

MsgAnswer ScriptedPrompts::MsgBox(const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title)
{
    records_.append(Record{Kind::MsgBox, text, title, icon, buttons, {}});
    if (answers_.empty() || answers_.front().kind != AnswerKind::Message) {
        unexpected(records_.last(), "unexpected message box");
        return cancelAnswer(buttons);
    }
    const MsgAnswer a = answers_.front().message;
    answers_.pop_front();
    return a;
}

std::optional<QString> ScriptedPrompts::textAnswer(Record r)
{
    records_.append(std::move(r));
    if (answers_.empty() || answers_.front().kind != AnswerKind::Text) {
        unexpected(records_.last(), "unexpected");
        return std::nullopt;
    }
    const Answer a = std::move(answers_.front());
    answers_.pop_front();
    if (a.meanwhile)
        a.meanwhile();
    if (!a.hasText)
        return std::nullopt;
    return a.text;
}

std::optional<QString> ScriptedPrompts::InputBox(const QString& prompt, const QString& title, const QString& defaultText)
{
    return textAnswer(Record{Kind::InputBox, prompt, title, MsgIcon::None, MsgButtons::OkCancel, defaultText});
}

std::optional<QString> ScriptedPrompts::PasswordBox(const QString& prompt, const QString& title)
{
    return textAnswer(Record{Kind::PasswordBox, prompt, title, MsgIcon::None, MsgButtons::OkCancel, {}});
}

std::optional<QString> ScriptedPrompts::SaveFileName(const QString& title, const QString& initialPath, const QString& filter)
{
    return textAnswer(Record{Kind::SaveFileName, filter, title, MsgIcon::None, MsgButtons::OkCancel, initialPath});
}

std::optional<QString> ScriptedPrompts::OpenFileName(const QString& title, const QString& initialPath, const QString& filter)
{
    return textAnswer(Record{Kind::OpenFileName, filter, title, MsgIcon::None, MsgButtons::OkCancel, initialPath});
}

std::optional<QString> ScriptedPrompts::ChooseFolder(const QString& title, const QString& initialFolder)
{
    return textAnswer(Record{Kind::ChooseFolder, {}, title, MsgIcon::None, MsgButtons::OkCancel, initialFolder});
}

void ScriptedPrompts::ShowModal(Form& form)
{
    records_.append(Record{Kind::ShowModal, form.name(), form.Caption(), MsgIcon::None, MsgButtons::OkOnly, {}});
    form.Show();
    if (answers_.empty() || answers_.front().kind != AnswerKind::Form) {
        unexpected(records_.last(), "unexpected modal form");
        form.Hide();
        return;
    }
    FormAction action = answers_.front().form;
    answers_.pop_front();
    action(form);
    if (form.Visible())
        form.Hide();
}

}  // namespace harbel
