#pragma once

#include "common/prompts/Prompts.h"

#include <QList>

#include <deque>
#include <functional>

namespace harbel {

// Prompts answered from a script, for tests and for runs without a user. Every prompt is recorded
// (kind, text, title, icon, buttons); each takes the next answer of the queue, which must be of the
// right kind. A prompt with no answer left, or with an answer of another kind, is reported to the
// unexpected-prompt handler (a test makes it a failure) and gets the cancel answer.
class ScriptedPrompts final : public Prompts {
public:
    enum class Kind { MsgBox, InputBox, PasswordBox, SaveFileName, OpenFileName, ChooseFolder, ShowModal };

    struct Record {
        Kind kind;
        QString text;  // message, input prompt, or the form's name for ShowModal
        QString title;
        MsgIcon icon = MsgIcon::None;
        MsgButtons buttons = MsgButtons::OkOnly;
        QString initial;  // default text, initial path or folder
    };

    using FormAction = std::function<void(Form&)>;

    void answer(MsgAnswer a) { answers_.push_back(Answer{AnswerKind::Message, a, false, {}, {}, {}}); }
    // nullopt answers a text prompt with "cancel". meanwhile plays what happens while the question is
    // open (the window's event loop runs under a real one) before it is answered.
    void answerText(const std::optional<QString>& text, std::function<void()> meanwhile = {})
    {
        answers_.push_back(Answer{AnswerKind::Text, MsgAnswer::Cancel, text.has_value(), text.value_or(QString()), {}, std::move(meanwhile)});
    }
    // The action plays the user's part in the modal form (for instance clicks one of its buttons);
    // the form is hidden afterwards if the action left it shown.
    void answerForm(FormAction action)
    {
        answers_.push_back(Answer{AnswerKind::Form, MsgAnswer::Cancel, false, {}, std::move(action), {}});
    }

    void setUnexpectedHandler(std::function<void(const QString&)> handler) { onUnexpected_ = std::move(handler); }

    const QList<Record>& records() const { return records_; }
    const Record& last() const { return records_.last(); }
    std::size_t pendingAnswers() const { return answers_.size(); }
    void clear();

    MsgAnswer MsgBox(const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title) override;
    std::optional<QString> InputBox(const QString& prompt, const QString& title, const QString& defaultText) override;
    std::optional<QString> PasswordBox(const QString& prompt, const QString& title) override;
    std::optional<QString> SaveFileName(const QString& title, const QString& initialPath, const QString& filter) override;
    std::optional<QString> OpenFileName(const QString& title, const QString& initialPath, const QString& filter) override;
    std::optional<QString> ChooseFolder(const QString& title, const QString& initialFolder) override;
    void ShowModal(Form& form) override;

private:
    enum class AnswerKind { Message, Text, Form };
    struct Answer {
        AnswerKind kind;
        MsgAnswer message;
        bool hasText;  // false: the text prompt is cancelled
        QString text;
        FormAction form;
        std::function<void()> meanwhile;
    };

    std::optional<QString> textAnswer(Record r);
    void unexpected(const Record& r, const char* why);

    std::deque<Answer> answers_;
    QList<Record> records_;
    std::function<void(const QString&)> onUnexpected_;
};

}  // namespace harbel
