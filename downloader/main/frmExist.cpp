#include "downloader/main/frmExist.h"

#include "downloader/settings/DownloadSettings.h"

namespace harbel {

frmExist::frmExist(QObject* parent) : Form(QStringLiteral("frmExist"), parent)
{
    setCaption(QStringLiteral("File Already Exists!?"));
    lblWarning.setCaption(QStringLiteral("The file already exists at this location!  What would you like to do?"));
    cmdOverwrite.setCaption(QStringLiteral("&Overwrite File"));
    cmdResume.setCaption(QStringLiteral("&Resume"));
    Command3.setCaption(QStringLiteral("&Cancel"));
}

void frmExist::cmdOverwrite_Click()
{
    SettingsStore::instance().FileExistsAction = 0;
    Hide();
}

void frmExist::cmdResume_Click()
{
    SettingsStore::instance().FileExistsAction = -1;
    Hide();
}

void frmExist::Command3_Click()
{
    SettingsStore::instance().FileExistsAction = -2;
    Hide();
}

}  // namespace harbel
