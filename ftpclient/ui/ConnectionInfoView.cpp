#include "ftpclient/ui/ConnectionInfoView.h"

#include "common/ui/PasswordFields.h"
#include "ftpclient/config/frmConnectionInfo.h"
#include "ftpclient/ui/TessalyBindings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace harbel::tessaly {

namespace {

// A profile tree: the list box's first line is the root node, the others its children.
QTreeWidget* profileTree(ListBox& control, std::function<void(int)> onClick, QWidget* parent)
{
    auto* tree = new QTreeWidget(parent);
    tree->setHeaderHidden(true);
    tree->setObjectName(control.name());
    auto sync = [tree, &control] {
        tree->setVisible(control.Visible());
        tree->setEnabled(control.Enabled());
        QStringList shown;
        if (QTreeWidgetItem* root = tree->topLevelItem(0)) {
            shown << root->text(0);
            for (int i = 0; i < root->childCount(); ++i)
                shown << root->child(i)->text(0);
        }
        if (shown != control.Items()) {
            tree->clear();
            if (!control.Items().isEmpty()) {
                auto* root = new QTreeWidgetItem(tree, {control.Items().first()});
                for (qsizetype i = 1; i < control.Items().size(); ++i)
                    new QTreeWidgetItem(root, {control.Items().at(i)});
                root->setExpanded(true);
            }
        }
        QTreeWidgetItem* root = tree->topLevelItem(0);
        const int index = control.ListIndex();
        QTreeWidgetItem* current = !root || index < 0 ? nullptr : index == 0 ? root : root->child(index - 1);
        if (tree->currentItem() != current)
            tree->setCurrentItem(current);
    };
    QObject::connect(&control, &Control::changed, tree, sync);
    QObject::connect(tree, &QTreeWidget::itemClicked, tree, [tree, onClick = std::move(onClick)](QTreeWidgetItem* item) {
        QTreeWidgetItem* parentItem = item->parent();
        onClick(parentItem ? parentItem->indexOfChild(item) + 1 : (item == tree->topLevelItem(0) ? 0 : -1));
    });
    sync();
    return tree;
}

}  // namespace

ConnectionInfoView::ConnectionInfoView(frmConnectionInfo& form, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(form.Caption());
    auto* layout = new QHBoxLayout(this);

    // Left: the two profile trees under their tab strip.
    auto* profiles = new QVBoxLayout;
    auto* tabs = new QTabBar(this);
    for (const QString& caption : form.TabProfiles.Tabs())
        tabs->addTab(caption);
    auto syncTabs = [tabs, &form] { tabs->setCurrentIndex(form.TabProfiles.SelectedIndex()); };
    connect(&form.TabProfiles, &Control::changed, tabs, syncTabs);
    connect(tabs, &QTabBar::tabBarClicked, tabs, [&form](int index) {
        form.TabProfiles.setSelectedIndex(index);
        form.TabProfiles_Click();
    });
    syncTabs();
    profiles->addWidget(tabs);
    profiles->addWidget(profileTree(form.tvlStandard, [&form](int i) { form.tvlStandard_NodeClick(i); }, this));
    profiles->addWidget(profileTree(form.tvlPrivate, [&form](int i) { form.tvlPrivate_NodeClick(i); }, this));
    auto* siteButtons = new QHBoxLayout;
    auto button = [this](Button& control, std::function<void()> onClick) {
        auto* b = new QPushButton(this);
        b->setAutoDefault(false);
        ui::bindButton(b, control, std::move(onClick));
        return b;
    };
    siteButtons->addWidget(button(form.cmdNewSite, [&form] { form.cmdNewSite_Click(); }));
    siteButtons->addWidget(button(form.cmdSaveSite, [&form] { form.cmdSaveSite_Click(); }));
    siteButtons->addWidget(button(form.cmdDeleteSite, [&form] { form.cmdDeleteSite_Click(); }));
    profiles->addLayout(siteButtons);
    layout->addLayout(profiles);

    // Right: the connection values.
    auto* values = new QVBoxLayout;
    auto* fields = new QFormLayout;
    auto field = [&](const QString& label, TextBox& box, bool secret = false) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(box.name());
        ui::bindText(edit, box);
        fields->addRow(label, secret ? harbel::ui::passwordWithShowToggle(edit, this) : edit);
    };
    field(QStringLiteral("Profile name:"), form.txtProfileName);
    auto* protocol = new QComboBox(this);
    harbel::bindChoice(protocol, form.cboProtocol, [&form] { form.cboProtocol_Click(); });
    fields->addRow(QStringLiteral("Protocol:"), protocol);
    field(QStringLiteral("Host:"), form.txtHost);
    field(QStringLiteral("Port:"), form.txtPort);
    field(QStringLiteral("User name:"), form.txtUserName);
    field(QStringLiteral("Password:"), form.txtPassword, true);
    values->addLayout(fields);
    values->addWidget(harbel::ui::keyringNoticeView(form.keyring, this));

    auto* loginType = new QGroupBox(form.frameLoginType.Caption(), this);
    auto* loginLayout = new QHBoxLayout(loginType);
    auto option = [&](OptionButton& control, std::function<void()> onClick) {
        auto* radio = new QRadioButton(loginType);
        radio->setAutoExclusive(false);  // the form keeps the choice, including "neither"
        ui::bindOption(radio, control, std::move(onClick));
        loginLayout->addWidget(radio);
    };
    option(form.optNormal, [&form] { form.optNormal_Click(); });
    option(form.optAnonymous, [&form] { form.optAnonymous_Click(); });
    values->addWidget(loginType);

    auto* passive = new QCheckBox(form.chkPassiveMode.Caption(), this);
    auto syncPassive = [passive, &form] { passive->setChecked(form.chkPassiveMode.Value() == 1); };
    connect(&form.chkPassiveMode, &Control::changed, passive, syncPassive);
    connect(passive, &QCheckBox::clicked, passive, [&form](bool on) { form.chkPassiveMode.setValue(on ? 1 : 0); });
    syncPassive();
    harbel::bindControl(passive, form.chkPassiveMode);
    values->addWidget(passive);

    auto* tls = new QCheckBox(form.chkTls.Caption(), this);
    tls->setObjectName(form.chkTls.name());
    auto syncTls = [tls, &form] { tls->setChecked(form.chkTls.Value() == 1); };
    connect(&form.chkTls, &Control::changed, tls, syncTls);
    connect(tls, &QCheckBox::clicked, tls, [&form](bool on) { form.chkTls.setValue(on ? 1 : 0); });
    syncTls();
    harbel::bindControl(tls, form.chkTls);
    values->addWidget(tls);
    values->addStretch();
    auto* status = new QLabel(this);
    status->setObjectName(form.lblStatus.name());
    ui::bindLabel(status, form.lblStatus);
    values->addWidget(status);

    auto* buttons = new QHBoxLayout;
    auto* connectButton = new QPushButton(this);
    connectButton->setDefault(true);
    ui::bindButton(connectButton, form.cmdConnect, [&form] { form.cmdConnect_Click(); });
    auto* cancel = new QPushButton(this);
    cancel->setAutoDefault(false);
    ui::bindButton(cancel, form.cmdCancel, [&form] { form.cmdCancel_Click(); });
    buttons->addStretch();
    buttons->addWidget(connectButton);
    buttons->addWidget(cancel);
    values->addLayout(buttons);
    layout->addLayout(values);

    // Closing the window is Cancel.
    connect(this, &QDialog::rejected, this, [&form] {
        if (form.Visible())
            form.cmdCancel_Click();
    });
}

}  // namespace harbel::tessaly
