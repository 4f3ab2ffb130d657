#pragma once

#include "common/controls/Control.h"
#include "common/controls/Form.h"
#include "common/controls/KeyringNotice.h"
#include "common/controls/ListView.h"
#include "ftpclient/config/ClientControls.h"

#include <QStringList>

#include <optional>

namespace harbel::tessaly {

// The options dialog: the connection log's rules, the auto-mode extension list, the start-up
// entry, the language of the suite and the firewall (SOCKS proxy) used for connections. Every value
// is a text of the client's settings; Save writes them all and closes, Cancel closes and keeps
// nothing.
class frmOptions final : public Form {
    Q_OBJECT
public:
    // runningAutoTypes is the open main window's extension list; Save replaces it at once, so the
    // next upload in auto mode already uses the new entries.
    explicit frmOptions(QStringList& runningAutoTypes, QObject* parent = nullptr);

    // Loads the values and shows the dialog modally until Save, Cancel or closing.
    void ShowForm();

    void Form_Load();
    // Closing the window: true when it may close (nothing changed, or the user agrees to lose
    // the changes).
    bool Form_QueryUnload();
    void cmdSave_Click();
    void cmdCancel_Click();
    void tabOptions_Click();
    void chkFirewall_Click();
    void optDeleteLogOnStartup_Click();
    void optDeleteLogIfSizeExceeds_Click();
    // A size that is not a whole number of bytes, or is beyond kMaxLogFileSize, is replaced by the
    // stored limit, and lblSizeNote says which text was refused and what is kept.
    void txtLogFileSize_Change();
    // Inserts an empty row at the top and asks the view to edit it (editRequested).
    void cmdAdd_Click();
    void cmdRemove_Click();
    // The end of an edit of an extension row: false (and "Please enter extention") when the text
    // is empty or blank; the row keeps its text then.
    bool lstExtFiles_AfterLabelEdit(ListRow* row, const QString& newText);

    bool isChanged() const { return changed_; }
    // The image shown beside a language file: the ".bmp" of the same base name, or empty.
    static QString languageImage(const QString& languageFile);

    // The largest size limit taken, in bytes (1 TB): larger texts are typing slips.
    static constexpr qint64 kMaxLogFileSize = 1000000000000LL;
    // The name of this program's entry in the desktop's start-up list.
    static inline const QString kStartupEntry = QStringLiteral("Tessaly");
    // What the start-up entry runs; the tessaly program beside this one unless set.
    QString startupProgram;

    TabStrip tabOptions{*this, QStringLiteral("tabOptions")};
    Frame fraGeneral{*this, QStringLiteral("fraGeneral")};
    TextBox txtLogFilename{*this, QStringLiteral("txtLogFilename")};
    OptionButton optDeleteLogOnStartup{*this, QStringLiteral("optDeleteLogOnStartup")};
    OptionButton optDeleteLogIfSizeExceeds{*this, QStringLiteral("optDeleteLogIfSizeExceeds")};
    TextBox txtLogFileSize{*this, QStringLiteral("txtLogFileSize")};
    Label lblKiloBytes{*this, QStringLiteral("lblKiloBytes")};
    Label lblSizeNote{*this, QStringLiteral("lblSizeNote")};
    Frame fraAutoMode{*this, QStringLiteral("fraAutoMode")};
    harbel::ListView lstExtFiles{*this, QStringLiteral("lstExtFiles")};
    Button cmdAdd{*this, QStringLiteral("cmdAdd")};
    Button cmdRemove{*this, QStringLiteral("cmdRemove")};
    Label lblBinaryNote{*this, QStringLiteral("lblBinaryNote")};
    CheckBox chkAddToStartup{*this, QStringLiteral("chkAddToStartup")};
    // Connections of the transfer queue, 1 to 10; anything else is brought into that range on Save.
    Label lblTransferConnections{*this, QStringLiteral("lblTransferConnections")};
    TextBox txtTransferConnections{*this, QStringLiteral("txtTransferConnections")};
    ComboBox cmboLanguage{*this, QStringLiteral("cmboLanguage")};
    Frame fraFirewall{*this, QStringLiteral("fraFirewall")};
    CheckBox chkFirewall{*this, QStringLiteral("chkFirewall")};
    TextBox txtFirewallHostName{*this, QStringLiteral("txtFirewallHostName")};
    TextBox txtFirewallPort{*this, QStringLiteral("txtFirewallPort")};
    TextBox txtFirewallUserName{*this, QStringLiteral("txtFirewallUserName")};
    TextBox txtFirewallPassword{*this, QStringLiteral("txtFirewallPassword")};
    KeyringNotice keyring{*this};
    ComboBox comboFirewallType{*this, QStringLiteral("comboFirewallType")};
    Button cmdSave{*this, QStringLiteral("cmdSave")};
    Button cmdCancel{*this, QStringLiteral("cmdCancel")};

signals:
    // The view opens the editor of this row of lstExtFiles.
    void editRequested(harbel::ListRow* row);

private:
    void setChanged(bool on);
    void watch(Control& control);
    void fillLanguages();
    QString storedLogSize() const;
    // Everything, once the keyring has the password (nullopt: the stored one stays).
    void saveAll(const QString& size, const std::optional<QString>& password);

    QStringList& runningAutoTypes_;
    bool changed_ = false;
    bool loading_ = false;
    bool firewallPasswordMissing_ = false;
};

}  // namespace harbel::tessaly
