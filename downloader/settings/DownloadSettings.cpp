#include "downloader/settings/DownloadSettings.h"

#include "common/platform/AppFolder.h"
#include "common/platform/AutoStart.h"
#include "common/platform/CRegister.h"
#include "common/platform/PrivateFile.h"
#include "common/platform/SecretStore.h"
#include "common/platform/Shell.h"
#include "common/support/ShiftCode.h"
#include "common/support/VbText.h"

#include <QDir>
#include <QPointer>

#include <optional>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStandardPaths>

#include <limits>
#include <memory>

namespace harbel {

namespace {

const QString kKey = QString::fromLatin1(kSettingsKey);
constexpr std::array<double, 9> kSegmentDefaults{2097152, 5242880, 5242880, 10485760, 10485760,
                                                 15728640, 15728640, 20971520, 20971520};

// Reads the options of one load. A stored value that does not convert to its field's type (or lies
// outside the field's range) is treated as missing: the field keeps its default.
class Reader {
public:
    QString text(const char* key, const QString& def) const
    {
        return reg_.REGGetSetting(HKEY_LOCAL_MACHINE, kKey, QLatin1String(key), def);
    }
    bool flag(const char* key, bool def) const
    {
        return vb::toBool(text(key, def ? QStringLiteral("1") : QStringLiteral("0"))).value_or(def);
    }
    // On only when the stored text is exactly "1".
    bool exactOne(const char* key, bool def) const
    {
        return text(key, def ? QStringLiteral("1") : QStringLiteral("0")) == QLatin1String("1");
    }
    template <typename Int>
    Int whole(const char* key, Int def) const
    {
        const auto v = vb::toWhole(text(key, QString::number(def)));
        if (!v || *v < 0 || *v > std::numeric_limits<Int>::max())
            return def;
        return Int(*v);
    }
    double number(const char* key, double def) const
    {
        const auto v = vb::toNumber(text(key, vb::numberText(def)));
        return v && *v >= 0 ? *v : def;
    }

private:
    CRegister reg_;
};

// The keyring's entries of the proxy's password and of each site login's.
QString proxyPasswordEntry(const QString& server)
{
    return SecretStore::entryName(QStringLiteral("Pellanor"), QStringLiteral("proxy"), server);
}

QString loginPasswordEntry(const QString& server, const QString& user)
{
    return SecretStore::entryName(QStringLiteral("Pellanor"), QStringLiteral("site login"), user + u'@' + server);
}

QString checkText(int value)
{
    return QString::number(value);
}

QString optionText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

QString product(const QString& shown, double factor)
{
    return vb::numberText(vb::Val(shown) * factor);
}

// One line of the file: the line structure must survive whatever the text holds.
QByteArray lineBytes(QString text)
{
    text.replace(u'\r', u' ');
    text.replace(u'\n', u' ');
    return text.toUtf8();
}

// A site login's keyring entry and the password kept there, as Settings.ini's lines name them.
// Bytes 0 and 3 would scramble into line ends; no password can be typed with them.
QPair<QString, QString> loginPassword(const SiteLogin& l)
{
    QString password = l.password;
    password.remove(QChar(0));
    password.remove(QChar(3));
    return {loginPasswordEntry(QString::fromUtf8(lineBytes(l.server)), QString::fromUtf8(lineBytes(l.user))), password};
}

}  // namespace

SettingsStore& SettingsStore::instance()
{
    static SettingsStore store;
    return store;
}

QString SettingsStore::settingsIniPath()
{
    return AppFolder::file(QStringLiteral("Settings.ini"));
}

void SettingsStore::LoadSettings(PasswordReads reads)
{
    const Reader r;
    if (ensureDialog)
        ensureDialog();
    LoadfromINI(reads);

    DownloadSettings s;
    s.ClickCapture = r.flag("ClickCapture", true);
    s.ClipboardMonitoring = vb::toNumber(r.text("ClipboardMonitoring", QStringLiteral("1"))) == 1.0;
    s.MonitorTypes = r.text("MonitorTypes", QString::fromLatin1(kDefaultMonitorTypes));
    s.MonitorServer = r.text("MonitorServer", QString::fromLatin1(kDefaultMonitorServer));
    s.LimitHTTP = r.text("LimitHTTP", QStringLiteral("3"));
    s.LimitFTP = r.text("LimitFTP", QStringLiteral("3"));
    s.Timeout = r.whole<int>("Timeout", 60);
    s.StopResume = r.flag("StopResume", true);
    s.TimeResume = r.whole<int>("TimeResume", 300);
    s.TimeNoResume = r.whole<int>("TimeNoResume", 600);
    s.Retry = r.flag("Retry", true);
    s.RetryTime = r.whole<int>("RetryTime", 300);
    s.Retries = r.whole<int>("Retries", 3);
    s.Rollback = r.whole<qint32>("Rollback", 4096);
    s.Segment = r.whole<quint8>("Segment", 0);
    for (int i = 0; i < 9; ++i) {
        const QByteArray key = "SegmentSize" + QByteArray::number(i + 1);
        s.SegmentSize[i] = r.number(key.constData(), kSegmentDefaults[i]);
        if (i % 2 == 0 && i > 0)
            s.SegmentSize[i] += 1;  // sizes 3, 5, 7 and 9
    }
    s.PromptDone = r.exactOne("PromptDone", true);
    s.AskSegmented = r.exactOne("AskSegmented", false);
    s.NotifyWhenDone = r.exactOne("NotifyWhenDone", true);
    s.CloseDownloadWindowWhenDone = r.exactOne("CloseDownloadWindowWhenDone", false);
    s.DownloadNowOption = r.flag("DownloadNowOption", false);
    s.DownloadLaterOption = r.flag("DownloadLaterOption", false);
    s.DownloadPromptOption = r.flag("DownloadPromptOption", true);
    s.StartupWithWindows = r.flag("StartupWithWindows", false);
    s.SaveSameDir = r.flag("SaveSameDir", false);
    s.TextSameDir = r.text("TextSameDir", defaultSaveFolder());
    s.SaveLastDir = r.text("SaveLastDir", QString());
    s.SaveFileType = r.flag("SaveFileType", false);
    s.SaveFileInfo = r.flag("SaveFileInfo", false);
    s.ParentDir = r.text("ParentDir", QString());
    s.UseServer = r.flag("UseServer", false);
    s.UseDate = r.flag("UseDate", false);
    s.UseFileExt = r.flag("UseFileExt", false);
    s.UseCustom = r.flag("UseCustom", false);
    s.TextCustom = r.text("TextCustom", QString());
    s.UsePASV = r.flag("UsePASV", false);
    s.UseProxy = r.flag("UseProxy", false);
    s.ProxyServer = r.text("ProxyServer", QString());
    s.ProxyPort = r.whole<int>("ProxyPort", 80);
    if (s.ProxyPort > 65535)
        s.ProxyPort = 80;
    s.UseFTPProxy = r.flag("UseFTPProxy", false);
    s.LoginProxy = r.flag("LoginProxy", false);
    s.UserID = r.text("UserID", QString());
    s.UsePass = r.flag("UsePass", false);
    const QString storedPass = r.text("UserPass", QString());
    const QString entry = proxyPasswordEntry(s.ProxyServer);
    // A password an older version kept here in plain text moves to the keyring.
    if (SecretStore::instance().migrate(entry, storedPass))
        CRegister().REGSaveSetting(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), QStringLiteral("UserPass"), SecretStore::marker());
    s.Downloads = r.whole<qint32>("Downloads", 0);
    s.AllBytes = r.number("AllBytes", 0);
    record = s;
    FileExistsAction = -2;

    if (reads == PasswordReads::Wait) {
        takeProxyPassword(storedPass, SecretStore::instance().find(entry, storedPass));
        return;
    }
    // Until the keyring answers, the password is missing as one it cannot give.
    takeProxyPassword(storedPass, QString());
    ++passwordReads_;
    SecretStore::instance().findLater(entry, storedPass, nullptr, [this, load = loads_, storedPass](const QString& password) {
        if (load == loads_)
            takeProxyPassword(storedPass, password);
        readDone();
    });
}

void SettingsStore::takeProxyPassword(const QString& storedPass, const QString& password)
{
    record.UserPass = password;
    const bool missing = (SecretStore::isMarker(storedPass) || SecretStore::isAskedMarker(storedPass)) && password.isEmpty();
    unreadablePassword = missing ? proxyPasswordEntry(record.ProxyServer) : QString();
    proxyPasswordNotSaved = missing && SecretStore::isAskedMarker(storedPass);
}

void SettingsStore::readDone()
{
    --passwordReads_;
    passwordsSettled(true);
}

void SettingsStore::passwordsSettled(bool given)
{
    if (passwordsPending())
        return;
    for (auto waiting = std::exchange(passwordWaiters_, {}); auto& then : waiting)
        then(given);
}

void SettingsStore::whenPasswordsRead(QObject* context, std::function<void(bool given)> then)
{
    if (!passwordsPending()) {
        then(true);
        return;
    }
    QPointer<QObject> guard(context);
    passwordWaiters_.push_back([guard, then](bool given) {
        if (!guard)
            return;
        // On the event loop: what runs it may itself start another wait.
        QMetaObject::invokeMethod(guard.data(), [guard, then, given] { then(given); }, Qt::QueuedConnection);
    });
}

void SettingsStore::proxyQuestionOpened()
{
    proxyQuestionOpen_ = true;
}

void SettingsStore::proxyQuestionClosed(bool given)
{
    proxyQuestionOpen_ = false;
    passwordsSettled(given);
}

void SettingsStore::LoadfromINI(PasswordReads reads)
{
    const int load = ++loads_;
    fileTypes.clear();
    logins.clear();
    iniError.clear();
    QFile f(settingsIniPath());
    if (!f.exists())
        return;
    // A folder, a pipe or a device in its place is refused before it is opened: a pipe would block.
    const bool regular = QFileInfo(f.fileName()).isFile();
    QByteArray bytes;
    if (!regular || !f.open(QIODevice::ReadOnly) || (bytes = f.readAll(), f.error() != QFileDevice::NoError)) {
        iniError = regular ? f.errorString() : QStringLiteral("%1 is not a file").arg(f.fileName());
        return;
    }
    QList<QByteArray> lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();  // after the last line end
    for (auto& l : lines)
        if (l.endsWith('\r'))
            l.chop(1);
    if (lines.isEmpty())
        return;

    LastSavePath = QString::fromUtf8(lines[0]);
    qsizetype i = 1;
    for (; i < lines.size(); i += 2) {
        if (lines[i] == "Logins:")
            break;
        fileTypes.append(FileTypeFolder{QString::fromUtf8(lines[i]),
                                        i + 1 < lines.size() ? QString::fromUtf8(lines[i + 1]) : QString()});
    }
    // The missing fields of a login cut off by the end of the file stay empty.
    std::optional<bool> oldForms;
    // The logins whose passwords come when the keyring answers.
    QList<qsizetype> later;
    for (++i; i < lines.size(); i += 3) {
        SiteLogin login;
        login.server = QString::fromUtf8(lines[i]);
        if (i + 1 < lines.size())
            login.user = QString::fromUtf8(lines[i + 1]);
        const bool kept = i + 2 < lines.size() && lines[i + 2] == SecretStore::marker().toUtf8();
        if (kept && reads == PasswordReads::Later) {
            later.append(logins.size());
        } else if (kept) {
            login.password = SecretStore::instance().find(loginPasswordEntry(login.server, login.user), SecretStore::marker());
        } else if (i + 2 < lines.size()) {
            login.password = ShiftDecodeText(lines[i + 2]);
        }
        // Scrambled passwords of an older version move to the keyring; the file is rewritten only
        // once every one of them has moved.
        if (i + 2 < lines.size() && !lines[i + 2].isEmpty() && lines[i + 2] != SecretStore::marker().toUtf8())
            oldForms = oldForms.value_or(true) && SecretStore::instance().migrate(loginPasswordEntry(login.server, login.user), login.password);
        loginEntries_.insert(loginPasswordEntry(login.server, login.user));
        logins.append(login);
    }
    // The file is rewritten with every password at hand: an empty one would leave the keyring.
    const bool rewrite = oldForms.value_or(false);
    if (later.isEmpty()) {
        if (rewrite)
            SaveToINI();
        return;
    }
    passwordReads_ += int(later.size());
    auto left = std::make_shared<qsizetype>(later.size());
    for (const qsizetype index : later)
        SecretStore::instance().findLater(loginPasswordEntry(logins[index].server, logins[index].user), SecretStore::marker(), nullptr,
                                          [this, load, index, left, rewrite, login = logins[index]](const QString& password) {
                                              // The list may have changed meanwhile (the settings dialog).
                                              const bool current = load == loads_ && index < logins.size()
                                                  && logins[index].server == login.server && logins[index].user == login.user;
                                              if (current && logins[index].password.isEmpty())
                                                  logins[index].password = password;
                                              if (--*left == 0 && current && rewrite)
                                                  SaveToINI();
                                              readDone();
                                          });
}

bool SettingsStore::SaveToINI() const
{
    QByteArray out;
    const auto line = [&out](const QByteArray& bytes) {
        out += bytes;
        out += "\r\n";
    };
    // A path without a folder is written as an empty line: read back, it leaves the choice to the
    // default save folder of that time, so a download folder made later is still taken.
    line(lineBytes(LastSavePath.contains(u'/') ? LastSavePath : QString()));
    for (const auto& t : fileTypes) {
        line(lineBytes(t.fileType));
        line(lineBytes(t.folder));
    }
    line("Logins:");
    QSet<QString> loginEntries;
    for (const auto& l : logins) {
        line(lineBytes(l.server));
        line(lineBytes(l.user));
        // Kept in the keyring (or the private file); the line holds the marker, or stays empty.
        const auto [entry, password] = loginPassword(l);
        line(SecretStore::instance().keep(entry, password).toUtf8());
        loginEntries.insert(entry);
    }
    // The passwords of logins deleted since the file was read go from the keyring too.
    for (const QString& gone : std::as_const(loginEntries_))
        if (!loginEntries.contains(gone))
            SecretStore::instance().keep(gone, QString());
    loginEntries_ = loginEntries;
    const QFileInfo info(settingsIniPath());
    if (!iniError.isEmpty() && info.exists())
        return false;
    return PrivateFile::write(settingsIniPath(), out) == PrivateFile::Result::Written;
}

QString SettingsStore::LastDirectory() const
{
    const qsizetype slash = LastSavePath.lastIndexOf(u'/');
    if (slash < 0)
        return defaultSaveFolder();
    return slash == 0 ? QStringLiteral("/") : LastSavePath.left(slash);
}

void SettingsStore::SaveSettings(const SettingsDialogValues& v)
{
    CRegister reg;
    // A password kept for another proxy server is not left behind in the keyring.
    if (const QString before = reg.REGGetSetting(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("ProxyServer"), QString());
        before.compare(v.txtProxyServer, Qt::CaseInsensitive) != 0)
        SecretStore::instance().keep(proxyPasswordEntry(before), QString());
    const bool passwordStays = keepsProxyPassword(v);
    const auto save = [&reg](const char* key, const QString& value) {
        reg.REGSaveSetting(HKEY_LOCAL_MACHINE, kKey, QLatin1String(key), value);
    };
    save("ClipboardMonitoring", checkText(v.chkClipboard));
    save("LimitHTTP", v.txtLimitHTTP);
    save("LimitFTP", v.txtLimitFTP);
    save("ClickCapture", checkText(v.chkIE));
    save("StartupWithWindows", checkText(v.chkStartWin));
    save("PromptDone", checkText(v.chkPromptDone));
    save("CloseDownloadWindowWhenDone", checkText(v.chkCloseWindow));
    save("DownloadNowOption", optionText(v.chkDownloadNow));
    save("DownloadLaterOption", optionText(v.chkDownloadLater));
    save("DownloadPromptOption", optionText(v.chkDownloadPrompt));
    save("MonitorTypes", v.txtMonitorTypes);
    save("MonitorServer", v.txtMonitorServer);
    save("Timeout", v.txtTimeout);
    save("StopResume", checkText(v.chkStopResume));
    save("TimeResume", product(v.txtTimeResume, 60));
    save("TimeNoResume", product(v.txtTimeNoResume, 60));
    save("Retry", checkText(v.chkRetry));
    save("RetryTime", v.txtRetryTime);
    save("Retries", v.txtRetries);
    save("Rollback", product(v.txtRollback, 1024));
    save("Segment", checkText(v.chkSegment));
    for (int i = 0; i < 9; ++i) {
        const QByteArray key = "SegmentSize" + QByteArray::number(i + 1);
        save(key.constData(), product(v.txtSegment[i], 1024.0 * 1024.0));
    }
    save("SaveSameDir", optionText(v.optSameDir));
    save("TextSameDir", v.txtSameDir);
    save("SaveLastDir", v.lblLastDir);
    save("SaveFileType", optionText(v.optFileType));
    save("SaveFileInfo", optionText(v.optFileInfo));
    save("ParentDir", v.txtParentDir);
    save("UseServer", optionText(v.optServer));
    save("UseDate", optionText(v.optDate));
    save("UseFileExt", optionText(v.optFileExt));
    save("UsePASV", checkText(v.chkFtpPASV));
    save("UseProxy", checkText(v.chkUseProxy));
    save("ProxyServer", v.txtProxyServer);
    save("ProxyPort", v.txtProxyPort);
    save("UseFTPProxy", checkText(v.chkFTPProxy));
    save("UserID", v.txtUserID);
    if (!passwordStays)
        save("UserPass", SecretStore::instance().keepOrAsk(proxyPasswordEntry(v.txtProxyServer), v.txtPass));
    save("LoginProxy", checkText(v.chkLogProx));
    save("UsePass", checkText(v.chkPass));
    save("AskSegmented", checkText(v.chkAskSegmented));
    save("NotifyWhenDone", checkText(v.chkNotifyWhenDone));
    SaveToINI();
}

bool SettingsStore::keepsProxyPassword(const SettingsDialogValues& v) const
{
    // An empty field over a password that could not be shown (asked at each use, or in a keyring
    // this session cannot read) leaves it as it was.
    return v.txtPass.isEmpty() && !unreadablePassword.isEmpty() && unreadablePassword == proxyPasswordEntry(v.txtProxyServer);
}

SecretStore::Passwords SettingsStore::passwordsToKeep(const SettingsDialogValues& v) const
{
    SecretStore::Passwords out;
    if (const QString before = CRegister().REGGetSetting(HKEY_LOCAL_MACHINE, kKey, QStringLiteral("ProxyServer"), QString());
        before.compare(v.txtProxyServer, Qt::CaseInsensitive) != 0)
        out.append({proxyPasswordEntry(before), QString()});
    if (!keepsProxyPassword(v))
        out.append({proxyPasswordEntry(v.txtProxyServer), v.txtPass});
    QSet<QString> entries;
    for (const auto& l : logins) {
        out.append(loginPassword(l));
        entries.insert(out.last().first);
    }
    for (const QString& gone : std::as_const(loginEntries_))
        if (!entries.contains(gone))
            out.append({gone, QString()});
    return out;
}

bool SettingsStore::proxyPasswordWanted() const
{
    return record.UseProxy && record.LoginProxy && record.UsePass && !unreadablePassword.isEmpty();
}

void SettingsStore::useProxyPassword(const QString& password)
{
    record.UserPass = password;
    SecretStore::instance().remember(proxyPasswordEntry(record.ProxyServer), password);
    unreadablePassword.clear();
    proxyPasswordNotSaved = false;
}

SettingsDialogValues SettingsStore::dialogValues()
{
    const Reader r;
    SettingsDialogValues v;
    const auto check = [&r](const char* key, int def) {
        return vb::toBool(r.text(key, checkText(def))).value_or(def != 0) ? 1 : 0;
    };
    const auto option = [&r](const char* key, bool def) { return vb::toBool(r.text(key, optionText(def))).value_or(def); };
    // Stored in seconds or bytes, shown in a larger unit; a stored text that is no number is shown as
    // it is, so the user sees what is there.
    const auto shown = [&r](const char* key, const QString& def, double factor) {
        const QString stored = r.text(key, vb::numberText(vb::Val(def) * factor));
        const auto n = vb::toNumber(stored);
        return n ? vb::numberText(*n / factor) : stored;
    };
    v.chkClipboard = vb::toNumber(r.text("ClipboardMonitoring", QStringLiteral("1"))) == 1.0 ? 1 : 0;
    v.txtLimitHTTP = r.text("LimitHTTP", v.txtLimitHTTP);
    v.txtLimitFTP = r.text("LimitFTP", v.txtLimitFTP);
    v.chkIE = check("ClickCapture", 1);
    v.chkStartWin = check("StartupWithWindows", 0);
    v.chkPromptDone = r.text("PromptDone", QStringLiteral("1")) == QLatin1String("1") ? 1 : 0;
    v.chkCloseWindow = r.text("CloseDownloadWindowWhenDone", QStringLiteral("0")) == QLatin1String("1") ? 1 : 0;
    v.chkAskSegmented = r.text("AskSegmented", QStringLiteral("0")) == QLatin1String("1") ? 1 : 0;
    v.chkNotifyWhenDone = r.text("NotifyWhenDone", QStringLiteral("1")) == QLatin1String("1") ? 1 : 0;
    v.chkDownloadNow = option("DownloadNowOption", false);
    v.chkDownloadLater = option("DownloadLaterOption", false);
    v.chkDownloadPrompt = option("DownloadPromptOption", true);
    v.txtMonitorTypes = r.text("MonitorTypes", v.txtMonitorTypes);
    v.txtMonitorServer = r.text("MonitorServer", v.txtMonitorServer);
    v.txtTimeout = r.text("Timeout", v.txtTimeout);
    v.chkStopResume = check("StopResume", 1);
    v.txtTimeResume = shown("TimeResume", v.txtTimeResume, 60);
    v.txtTimeNoResume = shown("TimeNoResume", v.txtTimeNoResume, 60);
    v.chkRetry = check("Retry", 1);
    v.txtRetryTime = r.text("RetryTime", v.txtRetryTime);
    v.txtRetries = r.text("Retries", v.txtRetries);
    v.txtRollback = shown("Rollback", v.txtRollback, 1024);
    v.chkSegment = check("Segment", 0);
    for (int i = 0; i < 9; ++i) {
        const QByteArray key = "SegmentSize" + QByteArray::number(i + 1);
        v.txtSegment[i] = shown(key.constData(), v.txtSegment[i], 1024.0 * 1024.0);
    }
    v.optSameDir = option("SaveSameDir", false);
    v.txtSameDir = r.text("TextSameDir", defaultSaveFolder());
    v.lblLastDir = r.text("SaveLastDir", QString());
    v.optFileType = option("SaveFileType", false);
    v.optFileInfo = option("SaveFileInfo", false);
    v.txtParentDir = r.text("ParentDir", QString());
    v.optServer = option("UseServer", false);
    v.optDate = option("UseDate", false);
    v.optFileExt = option("UseFileExt", false);
    v.chkFtpPASV = check("UsePASV", 0);
    v.chkUseProxy = check("UseProxy", 0);
    v.txtProxyServer = r.text("ProxyServer", QString());
    v.txtProxyPort = r.text("ProxyPort", v.txtProxyPort);
    v.chkFTPProxy = check("UseFTPProxy", 0);
    v.txtUserID = r.text("UserID", QString());
    // A kept password comes from the keyring: the dialog reads it (proxyPasswordSetting()).
    const QString pass = r.text("UserPass", QString());
    v.txtPass = SecretStore::isMarker(pass) || SecretStore::isAskedMarker(pass) ? QString() : pass;
    v.chkLogProx = check("LoginProxy", 0);
    v.chkPass = check("UsePass", 0);
    return v;
}

QString SettingsStore::loginEntry(const QString& server, const QString& user)
{
    return loginPasswordEntry(server, user);
}

QPair<QString, QString> SettingsStore::proxyPasswordSetting()
{
    const Reader r;
    return {proxyPasswordEntry(r.text("ProxyServer", QString())), r.text("UserPass", QString())};
}

QString defaultSaveFolder()
{
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (!downloads.isEmpty() && QFileInfo(downloads).isDir())
        return downloads;
    return QDir::homePath();
}

bool DoStartUp(const QString& fileName, const QString& description)
{
    return AutoStart::add(description, fileName);
}

bool DoNotStartUp(const QString& /*fileName*/, const QString& description)
{
    return AutoStart::remove(description);
}

QString startupProgramPath()
{
    // The command, also when the window program asks: it opens the window.
    return Shell::suiteProgram(QStringLiteral("pellanor"));
}

}  // namespace harbel
