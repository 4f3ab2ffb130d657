#include "downloader/window/frmServerData.h"

#include "common/platform/AppFolder.h"
#include "common/platform/Clipboard.h"
#include "common/support/LangString.h"
#include "common/support/Skin.h"

#include <QFileInfo>

namespace harbel {

frmServerData::frmServerData(QObject* parent) : Form(QStringLiteral("frmServerData"), parent)
{
    setCaption(GetLangString(QStringLiteral("19107"), QStringLiteral("Server Interaction Info")));
    cmdCopyClip.setCaption(GetLangString(QStringLiteral("19108"), QStringLiteral("&Copy to Clipboard")));
    cmdExit.setCaption(GetLangString(QStringLiteral("19109"), QStringLiteral("E&xit")));
}

frmServerData& frmServerData::shared()
{
    static frmServerData window;
    return window;
}

void frmServerData::Form_Load()
{
    // A missing skin file leaves the window unstyled.
    Skin& skin = Skin::shared();
    const QString file = AppFolder::file(QStringLiteral("brisklane.skn"));
    if (QFileInfo::exists(file) && skin.LoadSkin(file))
        skin.ApplySkinByName(*this, QStringLiteral("secondForm"));
    loaded_ = true;
}

void frmServerData::showLog(const QString& log)
{
    if (!loaded_)
        Form_Load();
    txtServerData.setText(log);
    Show();
}

void frmServerData::cmdCopyClip_Click()
{
    Clipboard::instance().setText(txtServerData.Text());
}

void frmServerData::cmdExit_Click()
{
    Unload();
}

void frmServerData::Unload()
{
    loaded_ = false;
    txtServerData.setText(QString());
    Hide();
}

}  // namespace harbel
