#include "downloader/main/frmFiles.h"

#include "downloader/intake/SaveRules.h"
#include "downloader/intake/UrlParsing.h"
#include "downloader/main/frmMain.h"
#include "downloader/settings/DownloadSettings.h"

#include "common/prompts/Prompts.h"
#include "common/support/LangString.h"

#include <QFileInfo>

namespace harbel {

namespace {

enum Column { Name = 0, Address = 1 };

// "name.ext" as "name (2).ext", the second time a name comes.
QString numbered(const QString& name, int n)
{
    const QFileInfo info(name);
    const QString suffix = info.completeSuffix();
    const QString base = suffix.isEmpty() ? name : name.left(name.size() - suffix.size() - 1);
    return QStringLiteral("%1 (%2)").arg(base).arg(n) + (suffix.isEmpty() ? QString() : u'.' + suffix);
}

}  // namespace

frmFiles::frmFiles(frmMain& main) : Form(QStringLiteral("frmFiles"), &main), main_(main)
{
    setCaption(QStringLiteral("Download Files"));
    lstNames.setColumns({{QStringLiteral("Save as"), 200, Qt::AlignLeft}, {QStringLiteral("URL"), 320, Qt::AlignLeft}});
    lblFolder.setCaption(QStringLiteral("Save in folder:"));
    cmdBeginDown.setCaption(QStringLiteral("&Begin Download"));
    cmdDownLater.setCaption(QStringLiteral("&Download Later"));
    cmdChange.setCaption(QStringLiteral("C&hange..."));
    cmdCancel.setCaption(QStringLiteral("&Cancel"));
}

void frmFiles::add(const QString& address, const QString& name)
{
    const QString wanted = safeName(name, fileNameOfAddress(address));
    QString unique = wanted;
    for (int n = 2;; ++n) {
        bool taken = false;
        for (const ListRow* row : lstNames.rows())
            taken = taken || row->cell(Name) == unique;
        if (!taken)
            break;
        unique = numbered(wanted, n);
    }
    ListRow* row = lstNames.Add(unique);
    row->setCell(Address, addressForDisplay(address));
    row->setTag(address);  // the list shows the address without its password
    lblCount.setCaption(QStringLiteral("These %1 addresses came while another question was open. Save them in one folder:")
                            .arg(count()));
}

std::pair<QString, QString> frmFiles::takeFirst()
{
    const ListRow* row = lstNames.at(0);
    std::pair<QString, QString> first{row->Tag().toString(), row->cell(Name)};
    lstNames.Remove(1);
    return first;
}

void frmFiles::Form_Load()
{
    txtFolder.setText(SettingsStore::instance().LastDirectory());
    Show();
}

QString frmFiles::pathOf(const ListRow& row) const
{
    QString folder = txtFolder.Text();
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder + row.cell(Name);
}

void frmFiles::cmdBeginDown_Click()
{
    if (txtFolder.Text().isEmpty() || lstNames.isEmpty())
        return;
    SettingsStore& store = SettingsStore::instance();
    store.FileExistsAction = 0;
    store.LastSavePath = pathOf(*lstNames.at(0));
    store.SaveToINI();
    main_.lstMain.setVisible(true);
    QList<std::pair<QString, QString>> chosen;
    for (const ListRow* row : lstNames.rows())
        chosen.append({row->Tag().toString(), pathOf(*row)});
    close();
    for (const auto& [address, path] : chosen)
        main_.windows.DownloadNow(address, path, -1);
}

void frmFiles::cmdDownLater_Click()
{
    if (txtFolder.Text().isEmpty() || lstNames.isEmpty())
        return;
    SettingsStore& store = SettingsStore::instance();
    store.LastSavePath = pathOf(*lstNames.at(0));
    store.SaveToINI();
    for (const ListRow* row : lstNames.rows())
        main_.windows.DownloadLater(row->Tag().toString(), pathOf(*row));
    close();
}

void frmFiles::cmdChange_Click()
{
    const std::optional<QString> chosen = Prompts::instance().ChooseFolder(
        GetLangString(QStringLiteral("03000"), QStringLiteral("Select Directory")), txtFolder.Text());
    if (chosen && !chosen->isEmpty())
        txtFolder.setText(*chosen);
}

void frmFiles::cmdCancel_Click()
{
    close();
}

void frmFiles::close()
{
    Hide();
    lstNames.Clear();
    lblCount.setCaption({});
    main_.handOversMayGoOn();
}

}  // namespace harbel
