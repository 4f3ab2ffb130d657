#include "downloader/main/frmFile.h"

#include "downloader/intake/SaveRules.h"
#include "downloader/main/frmMain.h"
#include "downloader/settings/DownloadSettings.h"

#include "common/prompts/Prompts.h"
#include "common/support/LangString.h"

namespace harbel {

namespace {

// Every file, whatever its name: "*.*" would hide names without a dot here.
const QString kAllFiles = QStringLiteral("All Files (*)");

}  // namespace

frmFile::frmFile(frmMain& main) : Form(QStringLiteral("frmFile"), &main), main_(main)
{
    setCaption(QStringLiteral("Download File"));
    Frame1.setCaption(QStringLiteral("&File Info"));
    lblURL.setCaption(GetLangString(QStringLiteral("19020"), QStringLiteral("URL:")));
    lblSaveAS.setCaption(QStringLiteral("Save As:"));
    cmdBeginDown.setCaption(QStringLiteral("&Begin Download"));
    cmdDownLater.setCaption(QStringLiteral("&Download Later"));
    cmdChange.setCaption(QStringLiteral("C&hange"));
    cmdCancel.setCaption(QStringLiteral("&Cancel"));
}

std::optional<QString> frmFile::askSavePath(const QString& address, const QString& name)
{
    SettingsStore& store = SettingsStore::instance();
    const QString proposed = safeName(name, fileNameOfAddress(address));
    QString folder = store.LastDirectory();
    if (!folder.endsWith(u'/'))
        folder += u'/';
    const std::optional<QString> chosen = Prompts::instance().SaveFileName(
        GetLangString(QStringLiteral("06007"), QStringLiteral("[Save file to?]")), folder + proposed, kAllFiles);
    if (!chosen || chosen->isEmpty())
        return std::nullopt;
    store.LastSavePath = *chosen;
    store.SaveToINI();  // the next prompt opens in the same folder, in this run and the next
    return chosen;
}

bool frmFile::Form_Load(const QString& address, const QString& name)
{
    address_ = address;
    txtURL.setText(addressForDisplay(address));
    txtSaveTo.setText({});
    const std::optional<QString> chosen = askSavePath(address, name);
    if (!chosen) {
        close();
        return false;
    }
    txtSaveTo.setText(*chosen);
    Show();
    return true;
}

void frmFile::cmdBeginDown_Click()
{
    if (txtURL.Text().isEmpty() || txtSaveTo.Text().isEmpty())
        return;
    SettingsStore::instance().FileExistsAction = 0;
    main_.lstMain.setVisible(true);
    const QString address = address_;
    const QString path = txtSaveTo.Text();
    close();
    main_.windows.DownloadNow(address, path, -1);
}

void frmFile::cmdDownLater_Click()
{
    if (txtURL.Text().isEmpty() || txtSaveTo.Text().isEmpty())
        return;
    main_.windows.DownloadLater(address_, txtSaveTo.Text());
    close();
}

void frmFile::cmdChange_Click()
{
    if (changing_)
        return;
    changing_ = true;
    const std::optional<QString> chosen =
        Prompts::instance().SaveFileName(QStringLiteral("Save file to..."), txtSaveTo.Text(), kAllFiles);
    changing_ = false;
    if (chosen && !chosen->isEmpty())
        txtSaveTo.setText(*chosen);
}

void frmFile::cmdCancel_Click()
{
    close();
}

void frmFile::close()
{
    Hide();
    address_.clear();
    txtURL.setText({});
    txtSaveTo.setText({});
    main_.handOversMayGoOn();
}

}  // namespace harbel
