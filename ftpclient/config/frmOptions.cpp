#include "ftpclient/config/frmOptions.h"

#include "ftpclient/config/FirewallSettings.h"

#include "common/platform/AutoStart.h"
#include "common/platform/Shell.h"
#include "common/prompts/Prompts.h"
#include "common/support/LangString.h"
#include "common/support/VbText.h"
#include "ftpclient/config/ClientSettings.h"

#include <QDir>
#include <QFileInfo>

namespace harbel::tessaly {

namespace {

const QString kDefaultAutoTypes = QStringLiteral("txt;htm;html;php;cgi;asp;ini;inf;log");
const QString kDefaultLogSize = QStringLiteral("1000");

QString trueFalse(bool on)
{
    return on ? QStringLiteral("True") : QStringLiteral("False");
}

QString zeroOne(int value)
{
    return value == 1 ? QStringLiteral("1") : QStringLiteral("0");
}

// A size limit in bytes: digits only (blanks round them allowed), at most kMaxLogFileSize.
bool isLogSize(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 13)
        return false;
    for (const QChar c : t)
        if (c < u'0' || c > u'9')
            return false;
    return t.toLongLong() <= frmOptions::kMaxLogFileSize;
}

}  // namespace

frmOptions::frmOptions(QStringList& runningAutoTypes, QObject* parent)
    : Form(QStringLiteral("frmOptions"), parent), runningAutoTypes_(runningAutoTypes)
{
    setCaption(QStringLiteral("Options"));
    // The command, which opens the window: the window program itself is not on the search path.
    startupProgram = Shell::suiteProgram(QStringLiteral("tessaly"));
    tabOptions.setTabs({QStringLiteral("General Settings"), QStringLiteral("Firewall Settings")});
    fraGeneral.setCaption(QStringLiteral("General Settings"));
    optDeleteLogOnStartup.setCaption(QStringLiteral("Delete Log File on Startup?"));
    optDeleteLogIfSizeExceeds.setCaption(QStringLiteral("Delete Log File if it Exceeds :"));
    // The start-up rule compares the limit with the log's length in bytes, so the box says bytes.
    lblKiloBytes.setCaption(QStringLiteral("bytes"));
    fraAutoMode.setCaption(QStringLiteral(" Auto Mode Types"));
    lstExtFiles.setColumns({ColumnHeader{QStringLiteral("Extension"), 120}});
    cmdAdd.setCaption(QStringLiteral("&Add"));
    cmdRemove.setCaption(QStringLiteral("&Remove"));
    lblBinaryNote.setCaption(QStringLiteral("Other extensions will be Binary"));
    chkAddToStartup.setCaption(QStringLiteral("Add Harbel To Desktop Startup"));
    lblTransferConnections.setCaption(QStringLiteral("Parallel transfer connections (1 to %1):").arg(kMaxTransferConnections));
    fraFirewall.setCaption(QStringLiteral("Firewall Settings"));
    chkFirewall.setCaption(QStringLiteral("Use Firewall"));
    comboFirewallType.AddItem(QStringLiteral("SOCKS 4"));
    comboFirewallType.AddItem(QStringLiteral("SOCKS 5"));
    cmdSave.setCaption(QStringLiteral("&Save"));
    // Save waits for the keyring's answers.
    keyring.pendingChanged = [this] { cmdSave.setEnabled(changed_ && !keyring.pending()); };
    cmdCancel.setCaption(QStringLiteral("Cancel"));

    for (Control* c : std::initializer_list<Control*>{&txtLogFilename, &optDeleteLogOnStartup, &optDeleteLogIfSizeExceeds,
                                                      &txtLogFileSize, &chkAddToStartup, &txtTransferConnections, &cmboLanguage, &chkFirewall,
                                                      &txtFirewallHostName, &txtFirewallPort, &txtFirewallUserName,
                                                      &txtFirewallPassword, &comboFirewallType})
        watch(*c);
    connect(&lstExtFiles, &ListView::rowsChanged, this, [this] { setChanged(true); });
    connect(&txtLogFileSize, &Control::changed, this, &frmOptions::txtLogFileSize_Change);
}

void frmOptions::watch(Control& control)
{
    // A box the keyring fills in is no change of the user's.
    connect(&control, &Control::changed, this, [this, &control] {
        if (!keyring.reading(control))
            setChanged(true);
    });
}

void frmOptions::setChanged(bool on)
{
    if (loading_)
        return;
    changed_ = on;
    cmdSave.setEnabled(on && !keyring.pending());
}

void frmOptions::ShowForm()
{
    Form_Load();
    Show();
    Prompts::instance().ShowModal(*this);
    if (Visible())
        Hide();
}

void frmOptions::fillLanguages()
{
    cmboLanguage.Clear();
    const QStringList files = QDir(languageFolder()).entryList({QStringLiteral("*.ini")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QString& file : files)
        cmboLanguage.AddItem(file);
    QString chosen = storedLanguageChoice();
    if (!files.contains(chosen))
        chosen = QStringLiteral("English.ini");
    cmboLanguage.setText(chosen);
    cmboLanguage.setListIndex(int(files.indexOf(chosen)));
}

QString frmOptions::languageImage(const QString& languageFile)
{
    const QString image = languageFolder() + QFileInfo(languageFile).completeBaseName() + QStringLiteral(".bmp");
    return QFileInfo(image).isFile() ? image : QString();
}

QString frmOptions::storedLogSize() const
{
    const QString stored = setting(QStringLiteral("LOG FILE SIZE"), kDefaultLogSize).trimmed();
    return isLogSize(stored) ? stored : kDefaultLogSize;
}

void frmOptions::Form_Load()
{
    loading_ = true;
    keyring.Form_Load();
    fillLanguages();

    const FirewallSettings firewall = FirewallSettings::loadUnread();
    chkFirewall.setValue(firewall.use ? 1 : 0);
    txtFirewallHostName.setText(firewall.host);
    txtFirewallUserName.setText(firewall.user);
    txtFirewallPassword.setText(firewall.password);
    firewallPasswordMissing_ = firewall.passwordMissing;
    comboFirewallType.setText(firewall.type.isEmpty() ? QStringLiteral("SOCKS 4") : firewall.type);
    comboFirewallType.setListIndex(int(comboFirewallType.List().indexOf(comboFirewallType.Text())));
    txtFirewallPort.setText(firewall.port);
    chkFirewall_Click();
    // A kept password fills in when the keyring answers; the dialog is usable meanwhile.
    keyring.read(txtFirewallPassword, FirewallSettings::passwordEntry(), firewall.storedPassword, [this, firewall](const QString& found) {
        FirewallSettings read = firewall;
        read.takePassword(found);
        firewallPasswordMissing_ = read.passwordMissing;
        chkFirewall_Click();
    });

    txtLogFilename.setText(setting(QStringLiteral("LOG FILE NAME"), QStringLiteral("FTP.LOG")));
    optDeleteLogOnStartup.setValue(settingFlag(QStringLiteral("DELETE LOG ON STARTUP"), QStringLiteral("1")));
    optDeleteLogIfSizeExceeds.setValue(!optDeleteLogOnStartup.Value()
                                       && settingFlag(QStringLiteral("DELETE LOG IF SIZE EXCEEDS"), QStringLiteral("0")));
    txtLogFileSize.setText(storedLogSize());
    lblSizeNote.setCaption(QString());
    txtLogFileSize.setEnabled(optDeleteLogIfSizeExceeds.Value());
    lstExtFiles.Clear();
    const QString types = setting(QStringLiteral("Auto Mode Types"), kDefaultAutoTypes);
    for (const QString& type : types.split(u';', Qt::SkipEmptyParts))
        lstExtFiles.Add(type);
    chkAddToStartup.setValue(setting(QStringLiteral("ADD TO STARTUP"), QStringLiteral("0")) == QLatin1String("1") ? 1 : 0);
    txtTransferConnections.setText(QString::number(transferConnections()));

    tabOptions_Click();
    setStyleName(QStringLiteral("secondForm"));
    loading_ = false;
    setChanged(false);
}

bool frmOptions::Form_QueryUnload()
{
    if (!changed_)
        return true;
    return Prompts::instance().MsgBox(QStringLiteral("Do you want quit??"), MsgButtons::YesNo, MsgIcon::Critical, kConfirm)
           == MsgAnswer::Yes;
}

void frmOptions::tabOptions_Click()
{
    const bool general = tabOptions.SelectedIndex() != 1;
    fraGeneral.setVisible(general);
    fraFirewall.setVisible(!general);
}

void frmOptions::chkFirewall_Click()
{
    const bool on = chkFirewall.Value() == 1;
    for (Control* c : std::initializer_list<Control*>{&txtFirewallHostName, &txtFirewallPort, &txtFirewallUserName, &comboFirewallType})
        c->setEnabled(on);
    txtFirewallPassword.setEnabled(on && !keyring.reading(txtFirewallPassword));
}

void frmOptions::optDeleteLogOnStartup_Click()
{
    optDeleteLogOnStartup.setValue(true);
    optDeleteLogIfSizeExceeds.setValue(false);
    txtLogFileSize.setEnabled(false);
}

void frmOptions::optDeleteLogIfSizeExceeds_Click()
{
    optDeleteLogIfSizeExceeds.setValue(true);
    optDeleteLogOnStartup.setValue(false);
    txtLogFileSize.setEnabled(true);
}

void frmOptions::txtLogFileSize_Change()
{
    const QString text = txtLogFileSize.Text();
    // An empty box is allowed while a new number is typed; Save keeps the stored limit for it.
    if (text.isEmpty() || isLogSize(text))
        return;
    const QString kept = storedLogSize();
    lblSizeNote.setCaption(QStringLiteral("\"%1\" is not a size in bytes up to %2; the limit %3 is kept.")
                               .arg(text.left(40), QString::number(kMaxLogFileSize), kept));
    txtLogFileSize.setText(kept);
}

void frmOptions::cmdAdd_Click()
{
    // The list view only appends: rebuild it with the new row first.
    QStringList texts;
    for (const ListRow* row : lstExtFiles.rows())
        texts << row->Text();
    lstExtFiles.Clear();
    ListRow* added = lstExtFiles.Add(QString());
    for (const QString& text : texts)
        lstExtFiles.Add(text);
    lstExtFiles.selectAll(false);
    added->setSelected(true);
    lstExtFiles.setSelectedItem(added);
    emit editRequested(added);
}

void frmOptions::cmdRemove_Click()
{
    if (ListRow* row = lstExtFiles.SelectedItem())
        lstExtFiles.Remove(row);
}

bool frmOptions::lstExtFiles_AfterLabelEdit(ListRow* row, const QString& newText)
{
    if (newText.isEmpty() || newText == QLatin1String(" ")) {
        Prompts::instance().MsgBox(QStringLiteral("Please enter an extension."), MsgButtons::OkOnly, MsgIcon::Exclamation, kNotice);
        return false;
    }
    if (row)
        row->setCell(0, newText);
    setChanged(true);
    return true;
}

void frmOptions::cmdSave_Click()
{
    QString size = txtLogFileSize.Text();
    if (!isLogSize(size)) {
        const QString kept = storedLogSize();
        Prompts::instance().MsgBox(QStringLiteral("The size limit \"%1\" is not a size in bytes; the limit %2 is kept.")
                                       .arg(size.left(40), kept),
                                   MsgButtons::OkOnly, MsgIcon::Exclamation, kNotice);
        size = kept;
    }
    // The firewall's password goes to the keyring first, without holding up the window; the rest
    // is saved when it has answered. An empty field over a password this run does not have (not
    // saved, or in a keyring it cannot read) leaves it as it was.
    std::optional<QString> password;
    if (!txtFirewallPassword.Text().isEmpty() || !firewallPasswordMissing_)
        password = txtFirewallPassword.Text();
    SecretStore::Passwords passwords;
    if (password)
        passwords.append({FirewallSettings::passwordEntry(), *password});
    keyring.keep(passwords, [this, size, password] { saveAll(size, password); });
}

void frmOptions::saveAll(const QString& size, const std::optional<QString>& password)
{
    cRegister reg;
    const auto save = [&reg](const QString& name, const QString& value) {
        reg.REGSaveSetting(HKEY_LOCAL_MACHINE, kSettingsKey, name, value);
    };
    save(QStringLiteral("ADD TO STARTUP"), zeroOne(chkAddToStartup.Value()));
    save(QStringLiteral("LOG FILE NAME"), txtLogFilename.Text());
    save(QStringLiteral("DELETE LOG ON STARTUP"), trueFalse(optDeleteLogOnStartup.Value()));
    save(QStringLiteral("DELETE LOG IF SIZE EXCEEDS"), trueFalse(optDeleteLogIfSizeExceeds.Value()));
    save(QStringLiteral("LOG FILE SIZE"), size.trimmed());
    bool number = false;
    const int connections = txtTransferConnections.Text().trimmed().toInt(&number);
    save(QStringLiteral("TRANSFER CONNECTIONS"),
         QString::number(number ? qBound(1, connections, kMaxTransferConnections) : transferConnections()));

    // A row added and never filled in is no extension: it is left out.
    QStringList types;
    for (const ListRow* row : lstExtFiles.rows())
        if (!row->Text().trimmed().isEmpty())
            types << row->Text();
    save(QStringLiteral("Auto Mode Types"), types.join(u';'));
    runningAutoTypes_ = types;

    const bool entryOk = chkAddToStartup.Value() == 1 ? AutoStart::add(kStartupEntry, startupProgram) : AutoStart::remove(kStartupEntry);
    if (!entryOk)
        Prompts::instance().MsgBox(QStringLiteral("Could not change the desktop start-up entry ") + AutoStart::entryPath(kStartupEntry),
                                   MsgButtons::OkOnly, MsgIcon::Critical, kErrorTitle);

    save(QStringLiteral("Firewall Host Name"), txtFirewallHostName.Text());
    save(QStringLiteral("Firewall Proxy Port"), txtFirewallPort.Text());
    save(QStringLiteral("Firewall Use"), zeroOne(chkFirewall.Value()));
    save(QStringLiteral("Firewall User Name"), txtFirewallUserName.Text());
    if (password)
        save(QStringLiteral("Firewall Password"), SecretStore::instance().keepOrAsk(FirewallSettings::passwordEntry(), *password));
    save(QStringLiteral("Firewall Type"), comboFirewallType.Text());

    // The download manager takes the language at its next start; this program's texts stay English.
    if (!cmboLanguage.Text().isEmpty())
        storeLanguageChoice(cmboLanguage.Text());

    setChanged(false);
    Hide();
}

void frmOptions::cmdCancel_Click()
{
    Hide();
}

}  // namespace harbel::tessaly
