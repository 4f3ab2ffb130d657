#include "ftpclient/ui/OptionsView.h"

#include "common/ui/PasswordFields.h"
#include "ftpclient/config/frmOptions.h"
#include "ftpclient/ui/TessalyBindings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

namespace harbel::tessaly {

namespace {

// A fixed list to choose from (no typing); icon gives the image of an item.
void bindIconChoice(QComboBox* combo, ComboBox& control, std::function<QIcon(const QString&)> icon = {})
{
    auto syncing = std::make_shared<bool>(false);
    auto sync = [combo, &control, syncing, icon] {
        *syncing = true;
        combo->setEnabled(control.Enabled());
        QStringList shown;
        for (int i = 0; i < combo->count(); ++i)
            shown << combo->itemData(i).toString();
        if (shown != control.List()) {
            combo->clear();
            for (const QString& item : control.List())
                combo->addItem(icon ? icon(item) : QIcon(), item.endsWith(QLatin1String(".ini")) ? item.chopped(4) : item, item);
        }
        combo->setCurrentIndex(int(control.List().indexOf(control.Text())));
        *syncing = false;
    };
    QObject::connect(&control, &Control::changed, combo, sync);
    QObject::connect(combo, &QComboBox::activated, combo, [&control, syncing](int index) {
        if (!*syncing)
            control.setListIndex(index);
    });
    sync();
}

// The extension list: one editable line per row.
void bindExtensions(QListWidget* list, frmOptions& form)
{
    auto syncing = std::make_shared<bool>(false);
    auto sync = [list, &form, syncing] {
        *syncing = true;
        list->clear();
        for (ListRow* row : form.lstExtFiles.rows()) {
            auto* item = new QListWidgetItem(row->Text(), list);
            item->setFlags(item->flags() | Qt::ItemIsEditable);
            if (row == form.lstExtFiles.SelectedItem())
                list->setCurrentItem(item);
        }
        *syncing = false;
    };
    QObject::connect(&form.lstExtFiles, &ListView::rowsChanged, list, sync);
    QObject::connect(list, &QListWidget::currentRowChanged, list, [&form, syncing](int index) {
        if (!*syncing)
            form.lstExtFiles.setSelectedItem(index >= 0 && index < form.lstExtFiles.count() ? form.lstExtFiles.at(index) : nullptr);
    });
    QObject::connect(list, &QListWidget::itemChanged, list, [list, &form, syncing](QListWidgetItem* item) {
        if (*syncing)
            return;
        const int index = list->row(item);
        if (index < 0 || index >= form.lstExtFiles.count())
            return;
        ListRow* row = form.lstExtFiles.at(index);
        if (!form.lstExtFiles_AfterLabelEdit(row, item->text())) {
            *syncing = true;
            item->setText(row->Text());
            *syncing = false;
            // The edit is refused: the row is edited again.
            QTimer::singleShot(0, list, [list, item] { list->editItem(item); });
        }
    });
    QObject::connect(&form, &frmOptions::editRequested, list, [list, &form](ListRow* row) {
        const int index = form.lstExtFiles.indexOf(row) - 1;
        if (QListWidgetItem* item = list->item(index)) {
            list->setFocus();
            list->setCurrentItem(item);
            list->editItem(item);
        }
    });
    sync();
}

}  // namespace

OptionsView::OptionsView(frmOptions& form, QWidget* parent) : QDialog(parent), form_(form)
{
    setWindowTitle(form.Caption());
    auto* layout = new QVBoxLayout(this);
    auto* tabs = new QTabWidget(this);
    layout->addWidget(tabs);
    auto text = [this](TextBox& box, bool secret = false) {
        auto* edit = new QLineEdit(this);
        if (secret)
            edit->setEchoMode(QLineEdit::Password);
        ui::bindText(edit, box);
        return edit;
    };

    // General settings.
    auto* general = new QWidget(tabs);
    auto* g = new QVBoxLayout(general);
    auto* logBox = new QFormLayout;
    logBox->addRow(QStringLiteral("Log File Name:"), text(form.txtLogFilename));
    auto* onStart = new QRadioButton(general);
    ui::bindOption(onStart, form.optDeleteLogOnStartup, [&form] { form.optDeleteLogOnStartup_Click(); });
    logBox->addRow(onStart);
    auto* sizeRow = new QHBoxLayout;
    auto* ifSize = new QRadioButton(general);
    ui::bindOption(ifSize, form.optDeleteLogIfSizeExceeds, [&form] { form.optDeleteLogIfSizeExceeds_Click(); });
    sizeRow->addWidget(ifSize);
    sizeRow->addWidget(text(form.txtLogFileSize));
    auto* unit = new QLabel(general);
    ui::bindLabel(unit, form.lblKiloBytes);
    sizeRow->addWidget(unit);
    logBox->addRow(sizeRow);
    auto* note = new QLabel(general);
    note->setWordWrap(true);
    ui::bindLabel(note, form.lblSizeNote);
    logBox->addRow(note);
    g->addLayout(logBox);

    auto* autoMode = new QGroupBox(form.fraAutoMode.Caption(), general);
    auto* a = new QHBoxLayout(autoMode);
    auto* extensions = new QListWidget(autoMode);
    bindExtensions(extensions, form);
    a->addWidget(extensions);
    auto* listButtons = new QVBoxLayout;
    auto* add = new QPushButton(autoMode);
    ui::bindButton(add, form.cmdAdd, [&form] { form.cmdAdd_Click(); });
    auto* remove = new QPushButton(autoMode);
    ui::bindButton(remove, form.cmdRemove, [&form] { form.cmdRemove_Click(); });
    auto* binary = new QLabel(autoMode);
    binary->setWordWrap(true);
    ui::bindLabel(binary, form.lblBinaryNote);
    listButtons->addWidget(add);
    listButtons->addWidget(remove);
    listButtons->addWidget(binary);
    listButtons->addStretch();
    a->addLayout(listButtons);
    g->addWidget(autoMode);

    auto* startup = new QCheckBox(general);
    bindCheck(startup, form.chkAddToStartup);
    g->addWidget(startup);
    auto* languageRow = new QFormLayout;
    auto* language = new QComboBox(general);
    bindIconChoice(language, form.cmboLanguage, [](const QString& file) {
        const QString image = frmOptions::languageImage(file);
        return image.isEmpty() ? QIcon() : QIcon(image);
    });
    languageRow->addRow(QStringLiteral("Language of Pellanor (from its next start):"), language);
    auto* connectionsLabel = new QLabel(general);
    ui::bindLabel(connectionsLabel, form.lblTransferConnections);
    languageRow->addRow(connectionsLabel, text(form.txtTransferConnections));
    g->addLayout(languageRow);
    tabs->addTab(general, form.fraGeneral.Caption());

    // Firewall settings.
    auto* firewall = new QWidget(tabs);
    auto* f = new QFormLayout(firewall);
    auto* use = new QCheckBox(firewall);
    bindCheck(use, form.chkFirewall, [&form] { form.chkFirewall_Click(); });
    f->addRow(use);
    f->addRow(QStringLiteral("Host Name:"), text(form.txtFirewallHostName));
    f->addRow(QStringLiteral("Port:"), text(form.txtFirewallPort));
    f->addRow(QStringLiteral("User Name:"), text(form.txtFirewallUserName));
    f->addRow(QStringLiteral("Password:"), harbel::ui::passwordWithShowToggle(text(form.txtFirewallPassword), firewall));
    f->addRow(harbel::ui::keyringNoticeView(form.keyring, firewall));
    auto* type = new QComboBox(firewall);
    bindIconChoice(type, form.comboFirewallType);
    f->addRow(QStringLiteral("Type:"), type);
    tabs->addTab(firewall, form.fraFirewall.Caption());

    tabs->setCurrentIndex(form.tabOptions.SelectedIndex() == 1 ? 1 : 0);
    connect(tabs, &QTabWidget::currentChanged, this, [&form](int index) {
        form.tabOptions.setSelectedIndex(index);
        form.tabOptions_Click();
    });

    auto* buttons = new QHBoxLayout;
    auto* save = new QPushButton(this);
    save->setDefault(true);
    ui::bindButton(save, form.cmdSave, [&form] { form.cmdSave_Click(); });
    auto* cancel = new QPushButton(this);
    ui::bindButton(cancel, form.cmdCancel, [&form] { form.cmdCancel_Click(); });
    buttons->addStretch();
    buttons->addWidget(save);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
}

void OptionsView::reject()
{
    // Esc and the close button: unsaved changes are asked about, and "No" keeps the dialog open.
    if (form_.Form_QueryUnload())
        form_.cmdCancel_Click();
}

}  // namespace harbel::tessaly
