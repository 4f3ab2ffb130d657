#include "downloader/main/frmDir.h"

#include "downloader/intake/SaveRules.h"

#include "common/prompts/Prompts.h"
#include "common/support/LangString.h"

#include <QDir>

namespace harbel {

frmDir::frmDir(QObject* parent) : Form(QStringLiteral("frmDir"), parent)
{
    setCaption(GetLangString(QStringLiteral("03000"), QStringLiteral("Select Directory")));
    cmdOk.setCaption(GetLangString(QStringLiteral("02006"), QStringLiteral("&OK")));
    cmdCancel.setCaption(GetLangString(QStringLiteral("05004"), QStringLiteral("&Cancel")));
    cmdNewFolder.setCaption(GetLangString(QStringLiteral("19201"), QStringLiteral("New Folder")));
    setPath(QDir::homePath());
}

void frmDir::setPath(const QString& folder)
{
    txtPath.setText(folder);
}

void frmDir::cmdOk_Click()
{
    strDirPath = txtPath.Text();
    Hide();
}

void frmDir::cmdCancel_Click()
{
    Hide();
}

bool frmDir::cmdNewFolder_Click(const QString& name)
{
    const QString trimmed = name.trimmed();
    const QString safe = safeName(trimmed, {});
    QDir parent(txtPath.Text());
    if (safe.isEmpty() || safe != trimmed || !parent.exists() || !parent.mkdir(safe)) {
        Prompts::instance().MsgBox(
            GetLangString(QStringLiteral("19202"), QStringLiteral("The folder could not be made here. Choose another name.")),
            MsgButtons::OkOnly, MsgIcon::Exclamation, Caption());
        return false;
    }
    setPath(parent.filePath(safe));
    return true;
}

}  // namespace harbel
