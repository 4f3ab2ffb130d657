#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace harbel {

class Form;

// Message box buttons, icons and answers, numbered as the programs' message boxes number them.
enum class MsgButtons { OkOnly = 0, OkCancel = 1, AbortRetryIgnore = 2, YesNoCancel = 3, YesNo = 4, RetryCancel = 5 };
enum class MsgIcon { None = 0, Critical = 16, Question = 32, Exclamation = 48, Information = 64 };
enum class MsgAnswer { Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

// Every modal interaction with the user. The window mode answers through Qt dialogs, the
// command-line mode from the terminal or its options, tests from a script.
class Prompts {
public:
    virtual ~Prompts() = default;

    virtual MsgAnswer MsgBox(const QString& text, MsgButtons buttons, MsgIcon icon,
                             const QString& title) = 0;
    // nullopt when cancelled.
    virtual std::optional<QString> InputBox(const QString& prompt, const QString& title,
                                            const QString& defaultText) = 0;
    // A password, not shown as it is typed; nullopt when cancelled. Where nobody can be asked (the
    // command line), the answer is cancel.
    virtual std::optional<QString> PasswordBox(const QString& prompt, const QString& title)
    {
        Q_UNUSED(prompt);
        Q_UNUSED(title);
        return std::nullopt;
    }
    virtual std::optional<QString> SaveFileName(const QString& title, const QString& initialPath,
                                                const QString& filter) = 0;
    virtual std::optional<QString> OpenFileName(const QString& title, const QString& initialPath,
                                                const QString& filter) = 0;
    virtual std::optional<QString> ChooseFolder(const QString& title, const QString& initialFolder) = 0;
    // Shows the form modally; returns when the form hides itself.
    virtual void ShowModal(Form& form) = 0;

    // The program-wide instance; the program sets it at start. Until then every prompt is
    // answered with its cancel answer and nothing is shown.
    static Prompts& instance();
    static void setInstance(Prompts* prompts);
};

// Answers every prompt with its cancel answer (or the only answer, OK).
class SilentPrompts final : public Prompts {
public:
    MsgAnswer MsgBox(const QString&, MsgButtons buttons, MsgIcon, const QString&) override;
    std::optional<QString> InputBox(const QString&, const QString&, const QString&) override { return std::nullopt; }
    std::optional<QString> SaveFileName(const QString&, const QString&, const QString&) override { return std::nullopt; }
    std::optional<QString> OpenFileName(const QString&, const QString&, const QString&) override { return std::nullopt; }
    std::optional<QString> ChooseFolder(const QString&, const QString&) override { return std::nullopt; }
    void ShowModal(Form& form) override;
};

// The answer that closes a box of these buttons without choosing (Esc).
MsgAnswer cancelAnswer(MsgButtons buttons);

}  // namespace harbel
