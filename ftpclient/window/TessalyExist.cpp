#include "ftpclient/window/TessalyExist.h"

#include "ftpclient/config/ClientSettings.h"

namespace harbel::tessaly {

frmExist::frmExist(QObject* parent) : Form(QStringLiteral("frmExist"), parent)
{
    setCaption(QStringLiteral("File Already Exists"));
    lblWarning.setCaption(QStringLiteral("The file already exists on the server. What would you like to do?"));
    chkAll.setCaption(QStringLiteral("Apply To All"));
    cmdOverwrite.setCaption(QStringLiteral("&Overwrite"));
    cmdResume.setCaption(QStringLiteral("&Resume"));
    cmdSkip.setCaption(QStringLiteral("&Skip"));
    cmdCancel.setCaption(QStringLiteral("&Cancel"));
}

void frmExist::answer(int value)
{
    eResumeFile = value;
    Hide();
}

void frmExist::Form_Unload(const QRect& geometry)
{
    cRegister reg;
    const auto save = [&](const char* name, int value) {
        reg.REGSaveSetting(HKEY_LOCAL_MACHINE, kSettingsKey, QString::fromLatin1(name), QString::number(value));
    };
    save("EXIST TOP", geometry.top());
    save("EXIST LEFT", geometry.left());
    save("EXIST HEIGHT", geometry.height());
    save("EXIST WIDTH", geometry.width());
}

}  // namespace harbel::tessaly
