#include "ftpclient/ui/ConnectionInfoView.h"

#include "ftpclient/config/frmConnectionInfo.h"
#include "ftpclient/ui/Bindings.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

namespace harbel::tessaly {

ConnectionInfoView::ConnectionInfoView(frmConnectionInfo& form, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(form.Caption());
    auto* layout = new QFormLayout(this);
    auto field = [&](const QString& label, TextBox& box, bool secret = false) {
        auto* edit = new QLineEdit(this);
        if (secret)
            edit->setEchoMode(QLineEdit::Password);
        ui::bindText(edit, box);
        layout->addRow(label, edit);
    };
    field(QStringLiteral("Address:"), form.txtAddress);
    field(QStringLiteral("Port:"), form.txtPort);
    field(QStringLiteral("User:"), form.txtUser);
    field(QStringLiteral("Password:"), form.txtPassword, true);
    auto check = [&](CheckBox& box) {
        auto* c = new QCheckBox(box.Caption(), this);
        auto sync = [c, &box] { c->setChecked(box.Value() == 1); };
        connect(&box, &Control::changed, c, sync);
        connect(c, &QCheckBox::clicked, c, [&box, &form, c] {
            box.setValue(c->isChecked() ? 1 : 0);
            form.chkAnonymous_Click();
        });
        sync();
        layout->addRow(QString(), c);
    };
    check(form.chkAnonymous);
    check(form.chkPassive);
    auto* buttons = new QHBoxLayout;
    auto* connectButton = new QPushButton(this);
    connectButton->setDefault(true);
    ui::bindButton(connectButton, form.cmdConnect, [&form] { form.cmdConnect_Click(); });
    auto* cancel = new QPushButton(this);
    ui::bindButton(cancel, form.cmdCancel, [&form] { form.cmdCancel_Click(); });
    buttons->addStretch();
    buttons->addWidget(connectButton);
    buttons->addWidget(cancel);
    layout->addRow(buttons);
}

}  // namespace harbel::tessaly
