#include "ftpclient/window/TessalyExist.h"

#include "ftpclient/config/ClientSettings.h"
#include "ftpclient/window/TessalyMain.h"

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

void frmExist::describe(const FileClash& clash)
{
    const auto facts = [](qint64 size, const QDateTime& time) {
        return (size < 0 ? QStringLiteral("unknown") : QString::number(size)) + QStringLiteral(" Last Modified: ")
               + (time.isValid() ? generalDate(time.toLocalTime()) : QStringLiteral("unknown"));
    };
    const QString remote = facts(clash.remoteSize, clash.remoteTime);
    const QString local = facts(clash.localSize, clash.localTime);
    if (clash.upload)
        lblWarning.setCaption(QStringLiteral("The file '%1' already exists on the server. What would you like to do?").arg(clash.remoteName));
    else
        lblWarning.setCaption(QStringLiteral("The file '%1' already exists in the local folder. What would you like to do?").arg(clash.localPath));
    lblDestination.setCaption(QStringLiteral("Destination File Size: ") + (clash.upload ? remote : local));
    lblSource.setCaption(QStringLiteral("Source File Size: ") + (clash.upload ? local : remote));
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
