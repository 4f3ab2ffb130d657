#include "ftpclient/config/frmConnectionInfo.h"

#include "common/platform/Prompts.h"
#include "common/support/VbText.h"

namespace harbel::tessaly {

frmConnectionInfo::frmConnectionInfo(QObject* parent) : Form(QStringLiteral("frmConnectionInfo"), parent)
{
    setCaption(QStringLiteral("Connect to Site"));
    cmdConnect.setCaption(QStringLiteral("Connect"));
    cmdCancel.setCaption(QStringLiteral("Cancel"));
    chkAnonymous.setCaption(QStringLiteral("Anonymous"));
    chkPassive.setCaption(QStringLiteral("Passive"));
    connect(&txtPort, &Control::changed, this, &frmConnectionInfo::txtPort_Change);
}

bool frmConnectionInfo::ShowForm(Site& site)
{
    txtAddress.setText(site.address);
    txtPort.setText(site.port.isEmpty() ? QStringLiteral("21") : site.port);
    txtUser.setText(site.user);
    txtPassword.setText(site.password);
    chkAnonymous.setValue(site.anonymous ? 1 : 0);
    chkPassive.setValue(site.passive ? 1 : 0);
    chkAnonymous_Click();
    connectPressed_ = false;
    Show();
    Prompts::instance().ShowModal(*this);
    if (Visible())
        Hide();
    site.address = txtAddress.Text().trimmed();
    site.port = txtPort.Text();
    site.user = txtUser.Text();
    site.password = txtPassword.Text();
    site.anonymous = chkAnonymous.Value() == 1;
    site.passive = chkPassive.Value() == 1;
    return connectPressed_;
}

void frmConnectionInfo::cmdConnect_Click()
{
    connectPressed_ = true;
    Hide();
}

void frmConnectionInfo::cmdCancel_Click()
{
    connectPressed_ = false;
    Hide();
}

void frmConnectionInfo::txtPort_Change()
{
    if (!vb::toNumber(txtPort.Text()))
        txtPort.setText(QStringLiteral("21"));
}

void frmConnectionInfo::chkAnonymous_Click()
{
    const bool anonymous = chkAnonymous.Value() == 1;
    txtUser.setEnabled(!anonymous);
    txtPassword.setEnabled(!anonymous);
}

}  // namespace harbel::tessaly
