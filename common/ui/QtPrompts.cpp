#include "common/ui/QtPrompts.h"

#include "common/controls/Form.h"

#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include <memory>

namespace harbel {

namespace {

QMessageBox::Icon qtIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Critical: return QMessageBox::Critical;
    case MsgIcon::Question: return QMessageBox::Question;
    case MsgIcon::Exclamation: return QMessageBox::Warning;
    case MsgIcon::Information: return QMessageBox::Information;
    case MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

struct ButtonSpec {
    QMessageBox::StandardButton button;
    MsgAnswer answer;
};

QList<ButtonSpec> buttonsFor(MsgButtons b)
{
    switch (b) {
    case MsgButtons::OkOnly: return {{QMessageBox::Ok, MsgAnswer::Ok}};
    case MsgButtons::OkCancel: return {{QMessageBox::Ok, MsgAnswer::Ok}, {QMessageBox::Cancel, MsgAnswer::Cancel}};
    case MsgButtons::AbortRetryIgnore:
        return {{QMessageBox::Abort, MsgAnswer::Abort}, {QMessageBox::Retry, MsgAnswer::Retry}, {QMessageBox::Ignore, MsgAnswer::Ignore}};
    case MsgButtons::YesNoCancel:
        return {{QMessageBox::Yes, MsgAnswer::Yes}, {QMessageBox::No, MsgAnswer::No}, {QMessageBox::Cancel, MsgAnswer::Cancel}};
    case MsgButtons::YesNo: return {{QMessageBox::Yes, MsgAnswer::Yes}, {QMessageBox::No, MsgAnswer::No}};
    case MsgButtons::RetryCancel: return {{QMessageBox::Retry, MsgAnswer::Retry}, {QMessageBox::Cancel, MsgAnswer::Cancel}};
    }
    return {{QMessageBox::Ok, MsgAnswer::Ok}};
}

}  // namespace

void QtPrompts::registerView(const QString& formName, ViewFactory factory)
{
    views_.insert(formName, std::move(factory));
}

MsgAnswer QtPrompts::MsgBox(const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title)
{
    QMessageBox box(qtIcon(icon), title, text, QMessageBox::NoButton, parent_);
    const auto specs = buttonsFor(buttons);
    QMessageBox::StandardButtons all;
    for (const auto& s : specs)
        all |= s.button;
    box.setStandardButtons(all);
    box.setEscapeButton(box.button(specs.size() == 1 ? specs.first().button
                                                      : [&] {
                                                            for (const auto& s : specs)
                                                                if (s.answer == cancelAnswer(buttons))
                                                                    return s.button;
                                                            return specs.last().button;
                                                        }()));
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    for (const auto& s : specs)
        if (clicked == box.button(s.button))
            return s.answer;
    return cancelAnswer(buttons);
}

std::optional<QString> QtPrompts::InputBox(const QString& prompt, const QString& title, const QString& defaultText)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parent_, title, prompt, QLineEdit::Normal, defaultText, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

std::optional<QString> QtPrompts::PasswordBox(const QString& prompt, const QString& title)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parent_, title, prompt, QLineEdit::Password, QString(), &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

std::optional<QString> QtPrompts::SaveFileName(const QString& title, const QString& initialPath, const QString& filter)
{
    const QString f = QFileDialog::getSaveFileName(parent_, title, initialPath, filter);
    if (f.isEmpty())
        return std::nullopt;
    return f;
}

std::optional<QString> QtPrompts::OpenFileName(const QString& title, const QString& initialPath, const QString& filter)
{
    const QString f = QFileDialog::getOpenFileName(parent_, title, initialPath, filter);
    if (f.isEmpty())
        return std::nullopt;
    return f;
}

std::optional<QString> QtPrompts::ChooseFolder(const QString& title, const QString& initialFolder)
{
    const QString f = QFileDialog::getExistingDirectory(parent_, title, initialFolder);
    if (f.isEmpty())
        return std::nullopt;
    return f;
}

void QtPrompts::ShowModal(Form& form)
{
    const auto it = views_.constFind(form.name());
    if (it == views_.constEnd()) {
        qWarning("No view for the modal form %s", qPrintable(form.name()));
        form.Hide();
        return;
    }
    std::unique_ptr<QDialog> dialog((*it)(form, parent_));
    form.Show();
    // The form hides itself when the user's answer is taken; that ends the dialog.
    QObject::connect(&form, &Form::hidden, dialog.get(), &QDialog::accept);
    dialog->exec();
    form.Hide();
}

}  // namespace harbel
