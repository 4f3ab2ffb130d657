#include "downloader/main/frmURL.h"

#include "downloader/main/DownloadRow.h"
#include "downloader/intake/CaptureFilters.h"
#include "downloader/intake/SaveRules.h"
#include "downloader/intake/UrlParsing.h"
#include "downloader/main/frmMain.h"
#include "downloader/settings/DownloadSettings.h"

#include "common/platform/Clipboard.h"
#include "common/support/LangString.h"

namespace harbel {

frmURL::frmURL(frmMain& main) : Form(QStringLiteral("frmURL"), &main), main_(main)
{
    setCaption(QStringLiteral("Enter URL"));
    cmdOk.setCaption(QStringLiteral("&OK"));
    connect(&lookup_, &FileNameLookup::found, this, [this](const QString& address, const QString& name) {
        proceed(address, name);
        while (!waiting_.isEmpty() && !lookup_.isRunning())
            take(waiting_.takeFirst());
        main_.handOversMayGoOn();
    });
}

void frmURL::AddHistURL()
{
    urlHistory.clear();
    for (const ListView* list : {&main_.lstMain, &main_.lstComplete})
        for (const QueueEntry& entry : queueEntries(*list))
            urlHistory.append(entry.address);
}

void frmURL::Form_Load()
{
    txtURL.setText({});
    AddHistURL();
    if (!SettingsStore::instance().record.ClipboardMonitoring)
        return;
    const QString clip = Clipboard::instance().text().trimmed();
    if (clip.contains(QLatin1String("ftp://")) || clip.contains(QLatin1String("http://"))
        || clip.contains(QLatin1String("ftps://")) || clip.contains(QLatin1String("https://")))
        txtURL.setText(clip);
}

void frmURL::DownLoadURL(const QString& address)
{
    Hide();
    txtURL.setText(address);
    cmdOk_Click();
}

void frmURL::cmdOk_Click()
{
    const QString address = txtURL.Text();
    if (!ValidateTypedURL(address))
        return;  // the warning has been shown; the dialog and its text stay
    Hide();
    if (lookup_.isRunning())
        waiting_.append(address);
    else
        take(address);
}

void frmURL::take(const QString& address)
{
    // An address that cannot tell its file's type (a query, no extension) is named by the server:
    // it is asked first, so the filters, the save rules and the prompt see the real name.
    if (typeKnownFromAddress(address)) {
        proceed(address, {});
        return;
    }
    if (main_.windows.startsUnattended())
        unattended_.insert(address);
    lookup_.start(address);
}

void frmURL::proceed(const QString& address, const QString& serverName)
{
    SettingsStore& store = SettingsStore::instance();
    DownloadWindows& windows = main_.windows;
    std::optional<DownloadWindows::Unattended> nobody;
    if (unattended_.remove(address))
        nobody.emplace(windows);
    // Names never leave the last directory.
    const QString fileName = safeName(serverName, fileNameOfAddress(address));
    QString folder = store.LastDirectory();
    if (!folder.endsWith(u'/'))
        folder += u'/';
    const QString p0 = folder + fileName;

    // An address a filter queues says why in the status bar: nothing else tells that it did not start.
    const auto queuedBecause = [this, &address](const char* code, const char* why) {
        main_.StatusBar.setPanelText(1, GetLangString(QLatin1String(code), QLatin1String(why)) + u' '
                                            + addressForDisplay(address));
    };
    if (!IsLimitOk(address, queueEntries(main_.lstMain), store.record)) {
        windows.DownloadLater(address, p0);
        queuedBecause("19392", "Queued, not started: as many downloads from its server run as Settings, Limits allow:");
        return;
    }
    if (!IsServerPermitted(address, store.record.MonitorServer)) {
        windows.DownloadBlocked(address, GetLangString(QStringLiteral("13029"), QStringLiteral("You block this server")));
        queuedBecause("19390", "Queued, not started: its server is on the ignore list (Settings, Monitor):");
        return;
    }
    const bool wanted = serverName.isEmpty() ? IsExtPermitted(address, store.record.MonitorTypes)
                                             : isServerNameWanted(fileName, address, store.record.MonitorTypes);
    if (!wanted) {
        // The stored reason keeps the form History.ini has always held; the list shows it corrected.
        windows.DownloadBlocked(address, GetLangString(QStringLiteral("13030"), QStringLiteral("You block this Extenison")));
        queuedBecause("19391", "Queued, not started: its file type is not on the wanted list (Settings, Monitor):");
        return;
    }

    const DownloadSettings& s = store.record;
    if (!main_.FirstPromptShown || (!s.DownloadNowOption && !s.DownloadLaterOption)) {
        main_.askWhereToSave(address, fileName);
    } else if (s.DownloadNowOption) {
        const SavePlan plan = ChooseSavePath(address, store, main_.today, serverName);
        // The rules choose again for the name the server gives the file.
        const auto byRules = [address, today = main_.today](const QString& name) {
            return ChooseSavePath(address, SettingsStore::instance(), today, name).path;
        };
        if (plan.action == SavePlan::Action::StartNow)
            windows.DownloadNow(address, plan.path, -1, byRules);
        else if (plan.action == SavePlan::Action::QueueLater)
            windows.DownloadLater(address, p0);
    } else {
        windows.DownloadLater(address, p0);
    }
    main_.FirstPromptShown = true;
    if (txtURL.Text() == address)
        txtURL.setText({});
}

}  // namespace harbel
