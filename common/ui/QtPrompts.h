#pragma once

#include "common/prompts/Prompts.h"

#include <QHash>

#include <functional>

class QWidget;
class QDialog;

namespace harbel {

// Prompts answered by the user through Qt dialogs. A modal form is shown through the view
// registered under its name ("frmExist"...); a form without one is reported and hidden again.
class QtPrompts final : public Prompts {
public:
    using ViewFactory = std::function<QDialog*(Form& form, QWidget* parent)>;

    explicit QtPrompts(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void registerView(const QString& formName, ViewFactory factory);

    MsgAnswer MsgBox(const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title) override;
    std::optional<QString> InputBox(const QString& prompt, const QString& title, const QString& defaultText) override;
    std::optional<QString> PasswordBox(const QString& prompt, const QString& title) override;
    std::optional<QString> SaveFileName(const QString& title, const QString& initialPath, const QString& filter) override;
    std::optional<QString> OpenFileName(const QString& title, const QString& initialPath, const QString& filter) override;
    std::optional<QString> ChooseFolder(const QString& title, const QString& initialFolder) override;
    void ShowModal(Form& form) override;

private:
    QWidget* parent_;
    QHash<QString, ViewFactory> views_;
};

}  // namespace harbel
