#include "ftpclient/config/frmConnectionInfo.h"

#include "common/platform/AppFolder.h"
#include "common/platform/PrivateFile.h"
#include "common/platform/SecretStore.h"
#include "common/platform/IniFile.h"
#include "common/prompts/Prompts.h"
#include "common/support/ShiftCode.h"
#include "common/support/Skin.h"
#include "common/support/VbText.h"
#include "ftpclient/config/ClientSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>

namespace harbel::tessaly {

namespace {

const QString kSection = QStringLiteral("PROFILE");
const QString kExtension = QStringLiteral(".Profile");
const QString kRootText = QStringLiteral("Profiles");
const QString kAnonymous = QStringLiteral("anonymous");
constexpr int kLongestNameBytes = 200;

// The scrambled bytes are kept in the file as the characters U+0000..U+00FF, one per byte, so the
// file stays valid UTF-8 whatever the bytes are and a read limit counts bytes of the scrambled text.
QString encoded(const QString& plain)
{
    return QString::fromLatin1(ShiftEncode(plain));
}

// A value read back ends at its first zero character, like a string read into a buffer.
QString CutAtNull(const QString& text)
{
    const auto zero = text.indexOf(QChar(0));
    return zero < 0 ? text : text.left(zero);
}

QString decoded(const QString& stored)
{
    return ShiftDecodeText(CutAtNull(stored).toLatin1());
}

QString passwordEntry(const QString& profile)
{
    return SecretStore::entryName(QStringLiteral("Tessaly"), QStringLiteral("profile"), profile);
}

}  // namespace

frmConnectionInfo::frmConnectionInfo(QObject* parent) : Form(QStringLiteral("frmConnectionInfo"), parent)
{
    setCaption(QStringLiteral("Connection information"));
    frameLoginType.setCaption(QStringLiteral("Login Type"));
    optNormal.setCaption(QStringLiteral("Normal"));
    optAnonymous.setCaption(QStringLiteral("Anonymous"));
    chkPassiveMode.setCaption(QStringLiteral("Passive Mode"));
    chkTls.setCaption(QStringLiteral("FTP over TLS (encrypted)"));
    TabProfiles.setTabs({QStringLiteral("Standard"), QStringLiteral("Private")});
    cmdNewSite.setCaption(QStringLiteral("New Site"));
    cmdSaveSite.setCaption(QStringLiteral("Save Site"));
    cmdDeleteSite.setCaption(QStringLiteral("Delete Site"));
    cmdConnect.setCaption(QStringLiteral("&Connect"));
    cmdCancel.setCaption(QStringLiteral("C&ancel"));
    txtPort.setText(QStringLiteral("21"));
    optNormal.setValue(true);
    connect(&txtPort, &Control::changed, this, &frmConnectionInfo::txtPort_Change);
    for (const QString& name : SiteProtocol::names())
        cboProtocol.AddItem(name);
    cboProtocol.setListIndex(SiteProtocol::Ftp);
    // The TLS box and the protocol choice say the same for FTP: either one sets the other.
    connect(&chkTls, &Control::changed, this, [this] {
        if (protocol_ == SiteProtocol::Sftp)
            return;
        const SiteProtocol::Kind chosen = chkTls.Value() == 1 ? SiteProtocol::FtpTls : SiteProtocol::Ftp;
        if (chosen != protocol_)
            applyProtocol(chosen);
    });
    // Save Site waits for the keyring's answers.
    keyring.pendingChanged = [this] {
        cmdSaveSite.setEnabled(!keyring.pending());
        cmdConnect.setEnabled(!keyring.reading(txtPassword));
    };
}

QString frmConnectionInfo::standardFolder()
{
    return AppFolder::file(QStringLiteral("SProfiles"));
}

QString frmConnectionInfo::privateFolder()
{
    return AppFolder::file(QStringLiteral("Profiles"));
}

bool frmConnectionInfo::ShowForm(Site& site)
{
    Form_Load();
    cancelled_ = true;
    txtHost.setText(site.address);
    txtPort.setText(site.port.isEmpty() ? QStringLiteral("21") : site.port);
    txtUserName.setText(site.user);
    txtPassword.setText(site.password);
    if (site.anonymous)
        optAnonymous_Click();
    else
        optNormal_Click();
    chkPassiveMode.setValue(site.passive ? 1 : 0);
    applyProtocol(SiteProtocol::fromValue(site.protocol, site.tls));
    Show();
    Prompts::instance().ShowModal(*this);
    if (Visible())
        Hide();
    if (cancelled_)
        return false;
    site.address = txtHost.Text().trimmed();
    site.port = txtPort.Text();
    site.user = txtUserName.Text();
    site.password = txtPassword.Text();
    site.anonymous = optAnonymous.Value();
    site.passive = chkPassiveMode.Value() == 1;
    site.protocol = protocol_;
    site.tls = protocol_ == SiteProtocol::FtpTls;
    return true;
}

void frmConnectionInfo::Form_Load()
{
    // The dialog is kept between uses; every use starts as a freshly opened one.
    txtProfileName.setText(QString());
    lblStatus.setCaption(QString());
    cmdDeleteSite.setEnabled(false);
    keyring.Form_Load();
    PrivateFile::makeFolder(standardFolder());
    PrivateFile::makeFolder(privateFolder());
    FillProfileTrees();
    selectLastProfile();
    TabProfiles_Click();
    const Skin& skin = Skin::shared();
    if (skin.isLoaded())
        skin.ApplySkinByName(*this, QStringLiteral("secondForm"));
}

void frmConnectionInfo::fillTree(ListBox& tree, const QString& folder)
{
    tree.Clear();
    tree.AddItem(kRootText);
    const QStringList files = QDir(folder).entryList({QStringLiteral("*") + kExtension}, QDir::Files, QDir::Name);
    for (const QString& file : files)
        tree.AddItem(file);
}

void frmConnectionInfo::FillProfileTrees()
{
    fillTree(tvlStandard, standardFolder());
    fillTree(tvlPrivate, privateFolder());
}

void frmConnectionInfo::rememberProfile(int tab, const QString& file)
{
    saveSetting(QStringLiteral("Last Profile Tab"), QString::number(tab));
    saveSetting(QStringLiteral("Last Profile"), file);
}

void frmConnectionInfo::selectLastProfile()
{
    // The dialog opens on the tab of the profile used last, with that profile marked.
    const int tab = setting(QStringLiteral("Last Profile Tab"), QStringLiteral("0")) == QLatin1String("1") ? 1 : 0;
    TabProfiles.setSelectedIndex(tab);
    ListBox& tree = tab == 1 ? tvlPrivate : tvlStandard;
    const qsizetype index = tree.Items().indexOf(setting(QStringLiteral("Last Profile"), QString()));
    tree.setListIndex(index > 0 ? int(index) : -1);
}

void frmConnectionInfo::TabProfiles_Click()
{
    const bool standard = TabProfiles.SelectedIndex() == 0;
    tvlStandard.setVisible(standard);
    tvlPrivate.setVisible(!standard);
}

frmConnectionInfo::Profile frmConnectionInfo::readProfile(const QString& path, bool keyring)
{
    const IniFile ini(path);
    auto read = [&ini](const char* key, int buffer) { return ini.getString(kSection, QLatin1String(key), QString(), buffer).text; };
    Profile p;
    p.name = read("sname", 50);
    p.host = read("adresa", 75);
    p.user = decoded(read("ID", 50));
    p.passive = int(qBound(0.0, vb::toNumber(read("Passive", 50)).value_or(0), 2.0));
    // A kept password is in the keyring (or the private file); an older profile holds it scrambled.
    const QString pass = read("pass", 50);
    const QString entry = passwordEntry(QFileInfo(path).completeBaseName());
    p.password = !SecretStore::isMarker(pass) ? decoded(pass) : keyring ? SecretStore::instance().find(entry, pass) : QString();
    p.keptPassword = SecretStore::isMarker(pass) && !keyring ? pass : QString();
    // A private profile of an older version gives its password to the keyring at its first read;
    // in the window without waiting for it.
    const bool older = !pass.isEmpty() && !SecretStore::isMarker(pass) && !SecretStore::isAskedMarker(pass)
        && QFileInfo(path).absolutePath() == QFileInfo(privateFolder()).absoluteFilePath();
    if (older && keyring) {
        if (SecretStore::instance().migrate(entry, p.password))
            IniFile(path).writeString(kSection, QStringLiteral("pass"), SecretStore::marker());
    } else if (older) {
        SecretStore::instance().keepLater(entry, p.password, nullptr, [path](SecretStore::Kept kept) {
            if (kept != SecretStore::Kept::NotKept)
                IniFile(path).writeString(kSection, QStringLiteral("pass"), SecretStore::marker());
        });
    }
    p.port = read("port", 50);
    p.tls = vb::toNumber(read("TLS", 50)).value_or(0) == 1 ? 1 : 0;
    p.protocol = SiteProtocol::fromValue(int(vb::toNumber(read("protocol", 50)).value_or(-1)), p.tls == 1);
    return p;
}

bool frmConnectionInfo::showProfile(const ListBox& tree, const QString& folder, int index, std::function<void()> shown)
{
    if (index <= 0 || index >= tree.Items().size()) {
        cmdDeleteSite.setEnabled(false);
        return false;
    }
    const QString path = folder + u'/' + tree.Items().at(index);
    const Profile p = readProfile(path, false);
    lblStatus.setCaption(QString());
    txtProfileName.setText(p.name);
    txtHost.setText(p.host);
    txtUserName.setText(p.user);
    chkPassiveMode.setValue(p.passive);
    txtPort.setText(p.port);
    applyProtocol(SiteProtocol::Kind(p.protocol));
    cmdDeleteSite.setEnabled(true);
    txtPassword.setText(p.password);
    if (!p.keptPassword.isEmpty())
        keyring.read(txtPassword, passwordEntry(QFileInfo(path).completeBaseName()), p.keptPassword,
                     [shown](const QString&) { shown(); });
    else
        shown();
    return true;
}

void frmConnectionInfo::tvlStandard_NodeClick(int index)
{
    tvlStandard.setListIndex(index);
    if (!showProfile(tvlStandard, standardFolder(), index, [this] {
            if (txtUserName.Text() == kAnonymous)
                optAnonymous_Click();
            else
                optAnonymous.setValue(false);
            if (!txtPassword.Text().isEmpty())
                optNormal_Click();
            else
                optNormal.setValue(false);
            // A named user without a password leaves neither login type chosen; it connects as a
            // normal login, so its boxes must be editable.
            if (!optAnonymous.Value() && !optNormal.Value()) {
                txtUserName.setEnabled(true);
                txtPassword.setEnabled(true);
            }
        }))
        return;
    rememberProfile(0, tvlStandard.Items().at(index));
}

void frmConnectionInfo::tvlPrivate_NodeClick(int index)
{
    tvlPrivate.setListIndex(index);
    if (!showProfile(tvlPrivate, privateFolder(), index, [this] {
            optNormal_Click();
            if (txtUserName.Text() == kAnonymous)
                optAnonymous_Click();
        }))
        return;
    rememberProfile(1, tvlPrivate.Items().at(index));
}

void frmConnectionInfo::optAnonymous_Click()
{
    if (protocol_ == SiteProtocol::Sftp)
        return;
    keyring.stopReading(txtPassword);
    optAnonymous.setValue(true);
    optNormal.setValue(false);
    txtUserName.setEnabled(false);
    txtPassword.setEnabled(false);
    txtUserName.setText(kAnonymous);
    txtPassword.setText(QString());
}

void frmConnectionInfo::optNormal_Click()
{
    optNormal.setValue(true);
    optAnonymous.setValue(false);
    txtUserName.setEnabled(true);
    txtPassword.setEnabled(!keyring.reading(txtPassword));
}

void frmConnectionInfo::txtPort_Change()
{
    const auto port = vb::toNumber(txtPort.Text());
    if (!port || *port <= 0)
        txtPort.setText(protocol_ == SiteProtocol::Sftp ? QStringLiteral("22") : QStringLiteral("21"));
}

void frmConnectionInfo::cboProtocol_Click()
{
    const SiteProtocol::Kind chosen = SiteProtocol::fromValue(cboProtocol.ListIndex(), false);
    if (chosen == protocol_)
        return;
    txtPort.setText(SiteProtocol::portAfterChange(txtPort.Text(), protocol_, chosen));
    applyProtocol(chosen);
}

void frmConnectionInfo::applyProtocol(SiteProtocol::Kind kind)
{
    protocol_ = kind;
    if (cboProtocol.ListIndex() != kind)
        cboProtocol.setListIndex(kind);
    chkTls.setValue(kind == SiteProtocol::FtpTls ? 1 : 0);
    const bool sftp = kind == SiteProtocol::Sftp;
    const QString tip = sftp ? SiteProtocol::notOverSftp() : QString();
    for (Control* c : std::initializer_list<Control*>{&chkTls, &chkPassiveMode, &optAnonymous}) {
        c->setEnabled(!sftp);
        c->setToolTipText(tip);
    }
    // An SSH server has no anonymous login: the user names an account.
    if (sftp && optAnonymous.Value()) {
        optNormal_Click();
        txtUserName.setText(QString());
    }
}

void frmConnectionInfo::cmdNewSite_Click()
{
    TabProfiles.setSelectedIndex(1);
    TabProfiles_Click();
    keyring.stopReading(txtPassword);
    txtProfileName.setText(QString());
    txtHost.setText(QString());
    txtPassword.setText(QString());
    txtUserName.setText(QString());
    txtPort.setText(QStringLiteral("21"));
    optNormal_Click();
    // Passive data connections work behind the address translation of almost every home router.
    chkPassiveMode.setValue(1);
    applyProtocol(SiteProtocol::Ftp);
    cmdDeleteSite.setEnabled(false);
}

QString frmConnectionInfo::refusedName(const QString& name)
{
    if (name.isEmpty())
        return QStringLiteral("empty");
    if (name.startsWith(u'.'))
        return QStringLiteral("starts with a dot");
    if (name.contains(u'/') || name.contains(u'\\'))
        return QStringLiteral("holds a slash");
    if (name.contains(QLatin1String("..")))
        return QStringLiteral("holds \"..\"");
    for (const QChar c : name)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format
            || c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph)
            return QStringLiteral("holds a control character");
    if (name.toUtf8().size() > kLongestNameBytes)
        return QStringLiteral("is longer than %1 bytes").arg(kLongestNameBytes);
    return {};
}

void frmConnectionInfo::cmdSaveSite_Click()
{
    TabProfiles.setSelectedIndex(1);
    TabProfiles_Click();
    const QString name = txtProfileName.Text();
    if (name.isEmpty() || txtHost.Text().isEmpty()) {
        Prompts::instance().MsgBox(QStringLiteral("Please check Site name and Server Address!"), MsgButtons::OkOnly,
                                   MsgIcon::Exclamation, kNotice);
        return;
    }
    // The name becomes a file name in the private folder: it must name a file there and nowhere else.
    const QString why = refusedName(name);
    if (!why.isEmpty()) {
        Prompts::instance().MsgBox(QStringLiteral("The Site name can not be used as a file name: it %1. Please choose another Site name.")
                                       .arg(why),
                                   MsgButtons::OkOnly, MsgIcon::Exclamation, kNotice);
        return;
    }
    // The password goes to the keyring first, without holding up the window; the profile is
    // written when it has answered, with the values of the click.
    const QString entry = passwordEntry(name);
    const QString password = optNormal.Value() ? txtPassword.Text() : QString();
    QList<QPair<QString, QString>> values = {
        {QStringLiteral("sname"), name},
        {QStringLiteral("adresa"), txtHost.Text()},
        {QStringLiteral("ID"), encoded(txtUserName.Text())},
        {QStringLiteral("Passive"), QString::number(chkPassiveMode.Value())},
        {QStringLiteral("pass"), QString()},
        {QStringLiteral("port"), txtPort.Text()},
        {QStringLiteral("TLS"), QString::number(chkTls.Value() == 1 ? 1 : 0)},
    };
    // FTP and FTP over TLS need no key of their own (TLS says which); an SFTP profile has it, and
    // a profile that had it keeps it up to date.
    const QStringList existing = IniFile(privateFolder() + u'/' + name + kExtension).keys(kSection);
    if (protocol_ == SiteProtocol::Sftp || existing.contains(QStringLiteral("protocol"), Qt::CaseInsensitive))
        values.append({QStringLiteral("protocol"), QString::number(protocol_)});
    keyring.keep({{entry, password}}, [this, name, entry, password, values] { writeProfile(name, entry, password, values); });
}

void frmConnectionInfo::writeProfile(const QString& name, const QString& entry, const QString& password,
                                     QList<QPair<QString, QString>> values)
{
    PrivateFile::makeFolder(privateFolder());
    IniFile ini(privateFolder() + u'/' + name + kExtension);
    for (auto& [key, value] : values)
        if (key == QLatin1String("pass"))
            value = SecretStore::instance().keep(entry, password);
    const bool saved = ini.writeStrings(kSection, values);
    FillProfileTrees();
    cmdDeleteSite.setEnabled(false);
    if (!saved) {
        Prompts::instance().MsgBox(QStringLiteral("The profile could not be saved: %1.").arg(PrivateFile::lastFailure()), MsgButtons::OkOnly, MsgIcon::Critical,
                                   kErrorTitle);
        return;
    }
    // Saving is what the button says it does: the dialog's status line confirms it, no box to close.
    lblStatus.setCaption(QStringLiteral("Profile Saved: ") + name);
    rememberProfile(1, name + kExtension);
}

void frmConnectionInfo::cmdDeleteSite_Click()
{
    // Only a profile of the private tree: standard profiles are not ours to delete, and the root
    // node names no file.
    const int index = tvlPrivate.ListIndex();
    if (index <= 0 || index >= tvlPrivate.Items().size())
        return;
    const QString node = tvlPrivate.Items().at(index);
    const QString site = node.endsWith(kExtension) ? node.chopped(kExtension.size()) : node;
    if (Prompts::instance().MsgBox(QStringLiteral("Do you want to delete the site \"") + site + QStringLiteral("\"?"), MsgButtons::YesNo,
                                   MsgIcon::Question, kConfirm)
        != MsgAnswer::Yes)
        return;
    QFile file(privateFolder() + u'/' + node);
    if (!file.remove()) {
        Prompts::instance().MsgBox(file.errorString(), MsgButtons::OkOnly, MsgIcon::Information, kNotice);
        return;
    }
    FillProfileTrees();
    lblStatus.setCaption(QStringLiteral("Site deleted: ") + site);
    // Its password leaves the keyring in the background.
    keyring.keep({{passwordEntry(site), QString()}}, [] {});
}

void frmConnectionInfo::cmdConnect_Click()
{
    cancelled_ = false;
    Hide();
}

void frmConnectionInfo::cmdCancel_Click()
{
    cancelled_ = true;
    Hide();
}

}  // namespace harbel::tessaly
