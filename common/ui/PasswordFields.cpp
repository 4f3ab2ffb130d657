#include "common/ui/PasswordFields.h"

#include "common/controls/KeyringNotice.h"
#include "common/platform/SecretStore.h"
#include "common/prompts/Prompts.h"
#include "common/ui/Bindings.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace harbel::ui {

QWidget* passwordWithShowToggle(QLineEdit* edit, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    edit->setParent(row);
    edit->setEchoMode(QLineEdit::Password);
    auto* show = new QCheckBox(QStringLiteral("Show"), row);
    show->setObjectName(edit->objectName() + QStringLiteral("Show"));
    QObject::connect(show, &QCheckBox::toggled, edit,
                     [edit](bool on) { edit->setEchoMode(on ? QLineEdit::Normal : QLineEdit::Password); });
    layout->addWidget(edit, 1);
    layout->addWidget(show);
    return row;
}

QWidget* keyringNoticeView(KeyringNotice& notice, QWidget* parent)
{
    auto* box = new QWidget(parent);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(box);
    label->setObjectName(notice.lblKeyring.name());
    label->setWordWrap(true);
    bindLabel(label, notice.lblKeyring);
    auto* check = new QCheckBox(box);
    check->setObjectName(notice.chkSaveInFile.name());
    bindCheck(check, notice.chkSaveInFile);
    layout->addWidget(label);
    layout->addWidget(check);
    return box;
}

void sayWhenPasswordsStay(const QString& title)
{
    QObject::connect(&SecretStore::instance(), &SecretStore::migrationFailed, [title](const QString& entry) {
        Prompts::instance().MsgBox(
            QStringLiteral("A password kept by an earlier version (%1) could not be moved to the keyring, so it stays in "
                           "the settings file. Start a keyring, or save it again with \"Save it in a file that only "
                           "you can read\" ticked.")
                .arg(entry),
            MsgButtons::OkOnly, MsgIcon::Exclamation, title);
    });
}

}  // namespace harbel::ui
