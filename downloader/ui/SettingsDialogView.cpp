#include "downloader/ui/SettingsDialogView.h"

#include "downloader/main/frmSettings.h"

#include "common/ui/Bindings.h"
#include "common/ui/PasswordFields.h"
#include "common/ui/ListViewWidget.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QVBoxLayout>

namespace harbel {

namespace {

QLabel* note(const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setWordWrap(true);
    return l;
}

// A short box for a number, with the words around it.
QHBoxLayout* numberRow(QWidget* parent, const QString& before, TextBox& box, const QString& after,
                       const std::function<void()>& edited)
{
    auto* row = new QHBoxLayout;
    if (!before.isEmpty())
        row->addWidget(new QLabel(before, parent));
    QLineEdit* edit = editFor(box, parent, edited);
    edit->setMaximumWidth(70);
    row->addWidget(edit);
    if (!after.isEmpty())
        row->addWidget(new QLabel(after, parent));
    row->addStretch();
    return row;
}

}  // namespace

SettingsDialogView::SettingsDialogView(frmSettings& form, QWidget* parent) : QDialog(parent), form_(form)
{
    setObjectName(form.name());
    setWindowTitle(form.Caption());
    auto* layout = new QVBoxLayout(this);
    auto* tabs = new QTabBar(this);
    tabs->setUsesScrollButtons(false);  // all ten tabs in sight
    bindTabs(tabs, form.tabMainSettings, [&form] { form.tabMainSettings_Click(); });
    layout->addWidget(tabs);
    for (int i = 0; i < int(form.frameInformation.size()); ++i) {
        QWidget* p = page(i);
        bindControl(p, *form.frameInformation[std::size_t(i)]);
        layout->addWidget(p, 1);
    }
    connect(&form, &frmSettings::focusRequested, this, [this](Control* control) {
        if (auto* w = findChild<QWidget*>(control->name()))
            w->setFocus();
    });

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    QPushButton* ok = buttonFor(form.cmdOK, this, [&form] { form.cmdOK_Click(); });
    ok->setDefault(true);
    buttons->addWidget(ok);
    buttons->addWidget(buttonFor(form.cmdApply, this, [&form] { form.cmdApply_Click(); }));
    buttons->addWidget(buttonFor(form.cmdCancel, this, [&form] { form.cmdCancel_Click(); }));
    buttons->addWidget(buttonFor(form.cmdHelp, this, [&form] { form.cmdHelp_Click(); }));
    layout->addLayout(buttons);
    resize(760, 500);
}

void SettingsDialogView::reject()
{
    form_.cmdCancel_Click();
    if (!form_.Visible())
        QDialog::reject();
}

QWidget* SettingsDialogView::page(int index)
{
    switch (index) {
    case frmSettings::Information:
        return informationPage();
    case frmSettings::Startup: {
        auto* p = new QWidget(this);
        auto* l = new QVBoxLayout(p);
        l->addWidget(checkFor(form_.chkStartWin, p, [this] { form_.chkStartWin_Click(); }));
        l->addStretch();
        return p;
    }
    case frmSettings::Monitor:
        return monitorPage();
    case frmSettings::SaveTo:
        return saveToPage();
    case frmSettings::Proxy:
        return proxyPage();
    case frmSettings::Connections:
        return connectionsPage();
    case frmSettings::Limits:
        return limitsPage();
    case frmSettings::Login:
        return loginPage();
    case frmSettings::Download:
        return downloadPage();
    default:
        return segmentPage();
    }
}

QWidget* SettingsDialogView::informationPage()
{
    auto* p = new QWidget(this);
    auto* l = new QVBoxLayout(p);
    auto* facts = new QFormLayout;
    facts->addRow(QStringLiteral("Version:"), labelFor(form_.lblVersion, p));
    QLabel* location = labelFor(form_.lblLocation, p);
    location->setTextInteractionFlags(Qt::TextSelectableByMouse);
    facts->addRow(QStringLiteral("Application folder:"), location);
    l->addLayout(facts);
    auto* usage = new QGroupBox(QStringLiteral("Usage Status"), p);
    auto* counts = new QFormLayout(usage);
    counts->addRow(QStringLiteral("Downloaded Files:"), labelFor(form_.lblDownloads, usage));
    counts->addRow(QStringLiteral("Bytes Downloaded:"), labelFor(form_.lblBytes, usage));
    l->addWidget(usage);
    l->addStretch();
    return p;
}

QWidget* SettingsDialogView::monitorPage()
{
    frmSettings& f = form_;
    const auto edited = [&f] { f.field_Change(); };
    auto* p = new QWidget(this);
    auto* l = new QVBoxLayout(p);
    l->addWidget(checkFor(f.chkIE, p, [&f] { f.chkIE_Click(); }));
    l->addWidget(checkFor(f.chkClipboard, p, [&f] { f.chkClipboard_Click(); }));

    const auto list = [&](const QString& caption, TextBox& box, Button& reset, std::function<void()> reseted,
                          std::function<void()> left) {
        l->addWidget(note(caption, p));
        auto* row = new QHBoxLayout;
        auto* edit = new QPlainTextEdit(p);
        edit->setObjectName(box.name());
        edit->setMaximumHeight(56);
        bindTextArea(edit, box, edited, std::move(left));
        row->addWidget(edit, 1);
        row->addWidget(buttonFor(reset, p, std::move(reseted)), 0, Qt::AlignTop);
        l->addLayout(row);
    };
    list(QStringLiteral("Ignore Servers (separate with semicolons; * stands for any part of a name)"), f.txtMonitorServer,
         f.cmdMonitorServerReset, [&f] { f.cmdMonitorServerReset_Click(); }, {});
    list(QStringLiteral("File Types to Download (separate with semicolons; ? stands for any one character)"),
         f.txtMonitorTypes, f.cmdMonitorTypesReset, [&f] { f.cmdMonitorTypesReset_Click(); },
         [&f] { f.txtMonitorTypes_LostFocus(); });
    l->addWidget(note(QStringLiteral("Take care when editing the types and servers; the user guide shows how they are written."), p));

    auto* test = new QGroupBox(QStringLiteral("Test an address against both lists:"), p);
    auto* row = new QHBoxLayout(test);
    row->addWidget(new QLabel(QStringLiteral("URL:"), test));
    row->addWidget(editFor(f.txtTestURL, test, edited), 1);
    row->addWidget(buttonFor(f.cmdTest, test, [&f] { f.cmdTest_Click(); }));
    l->addWidget(test);
    return p;
}

QWidget* SettingsDialogView::saveToPage()
{
    frmSettings& f = form_;
    const auto edited = [&f] { f.field_Change(); };
    auto* p = new QWidget(this);
    auto* l = new QVBoxLayout(p);
    auto* rules = new QHBoxLayout;
    for (OptionButton* o : {&f.optLastDir, &f.optSameDir, &f.optFileType, &f.optFileInfo})
        rules->addWidget(optionFor(*o, p, [&f, o] { f.option_Click(*o); }));
    l->addLayout(rules);

    auto* last = new QGroupBox(p);
    bindControl(last, f.fraLastDir);
    auto* lastRow = new QHBoxLayout(last);
    lastRow->addWidget(new QLabel(QStringLiteral("Last Directory:"), last));
    lastRow->addWidget(labelFor(f.lblLastDir, last), 1);
    l->addWidget(last);

    const auto folderRow = [&f, edited](QWidget* parent, TextBox& box, Button& browse, std::function<void()> click) {
        auto* row = new QHBoxLayout;
        row->addWidget(editFor(box, parent, edited), 1);
        row->addWidget(buttonFor(browse, parent, std::move(click)));
        return row;
    };

    auto* same = new QGroupBox(p);
    bindControl(same, f.fraSameDir);
    auto* sameLayout = new QVBoxLayout(same);
    sameLayout->addWidget(new QLabel(QStringLiteral("Directory:"), same));
    sameLayout->addLayout(folderRow(same, f.txtSameDir, f.cmdBrowseSameDir, [&f] { f.cmdBrowseSameDir_Click(); }));
    l->addWidget(same);

    auto* types = new QGroupBox(p);
    bindControl(types, f.fraFileType);
    auto* typesLayout = new QVBoxLayout(types);
    typesLayout->addWidget(new ListViewWidget(f.lstFileType, types));
    auto* add = new QHBoxLayout;
    QLineEdit* type = editFor(f.txtFileType, types, edited);
    type->setMaximumWidth(80);
    add->addWidget(type);
    add->addLayout(folderRow(types, f.txtFileTypeDir, f.cmdBrowseFileType, [&f] { f.cmdBrowseFileType_Click(); }), 1);
    add->addWidget(buttonFor(f.cmdAddFileType, types, [&f] { f.cmdAddFileType_Click(); }));
    add->addWidget(buttonFor(f.cmdRemoveFileType, types, [&f] { f.cmdRemoveFileType_Click(); }));
    typesLayout->addLayout(add);
    l->addWidget(types);

    auto* info = new QGroupBox(p);
    bindControl(info, f.fraFileInfo);
    auto* infoLayout = new QVBoxLayout(info);
    infoLayout->addLayout(folderRow(info, f.txtParentDir, f.cmdBrowseParentDir, [&f] { f.cmdBrowseParentDir_Click(); }));
    infoLayout->addWidget(new QLabel(QStringLiteral("Generate Sub Directory from:"), info));
    for (OptionButton* o : {&f.optServer, &f.optDate, &f.optFileExt})
        infoLayout->addWidget(optionFor(*o, info, [&f, o] { f.option_Click(*o); }));
    l->addWidget(info);
    l->addStretch();
    return p;
}

QWidget* SettingsDialogView::proxyPage()
{
    frmSettings& f = form_;
    const auto edited = [&f] { f.field_Change(); };
    auto* p = new QWidget(this);
    auto* l = new QVBoxLayout(p);
    l->addWidget(checkFor(f.chkFtpPASV, p, [&f] { f.check_Click(); }));
    l->addWidget(checkFor(f.chkUseProxy, p, [&f] { f.chkUseProxy_Click(); }));
    auto* frame = new QGroupBox(f.fraProxy.Caption(), p);
    bindControl(frame, f.fraProxy);
    auto* fields = new QFormLayout(frame);
    fields->addRow(QStringLiteral("Server:"), editFor(f.txtProxyServer, frame, edited));
    fields->addRow(QStringLiteral("Port:"), editFor(f.txtProxyPort, frame, edited));
    fields->addRow(checkFor(f.chkFTPProxy, frame, [&f] { f.check_Click(); }));
    fields->addRow(checkFor(f.chkLogProx, frame, [&f] { f.chkLogProx_Click(); }));
    fields->addRow(QStringLiteral("User ID:"), editFor(f.txtUserID, frame, edited));
    QLineEdit* password = editFor(f.txtPass, frame, edited);
    fields->addRow(checkFor(f.chkPass, frame, [&f] { f.chkPass_Click(); }), ui::passwordWithShowToggle(password, frame));
    fields->addRow(ui::keyringNoticeView(f.keyring, frame));
    l->addWidget(frame);
    l->addStretch();
    return p;
}

QWidget* SettingsDialogView::connectionsPage()
{
    frmSettings& f = form_;
    const auto edited = [&f] { f.field_Change(); };
    auto* p = new QWidget(this);
    auto* l = new QVBoxLayout(p);
    l->addLayout(numberRow(p, QStringLiteral("Rollback"), f.txtRollback, QStringLiteral("K on resuming download."), edited));
    l->addWidget(checkFor(f.chkRetry, p, [&f] { f.check_Click(); }));
    auto* retry = numberRow(p, QStringLiteral("Try after"), f.txtRetryTime, QStringLiteral("seconds up to"), edited);
    retry->insertLayout(retry->count() - 1, numberRow(p, {}, f.txtRetries, QStringLiteral("times before giving up."), edited));
    l->addLayout(retry);
    l->addLayout(numberRow(p, QStringLiteral("Timeout Connection Attempt After"), f.txtTimeout, QStringLiteral("seconds."), edited));
    l->addWidget(checkFor(f.chkStopResume, p, [&f] { f.check_Click(); }));
    l->addLayout(numberRow(p, {}, f.txtTimeResume, QStringLiteral("minutes if server can resume."), edited));
    l->addLayout(numberRow(p, {}, f.txtTimeNoResume, QStringLiteral("minutes if server does not support resume."), edited));
    l->addStretch();
    return p;
}

QWidget* SettingsDialogView::limitsPage()
{
    frmSettings& f = form_;
    const auto edited = [&f] { f.field_Change(); };
    auto* p = new QWidget(this);
    auto* l = new QVBoxLayout(p);
    auto* frame = new QGroupBox(QStringLiteral("Automatic Downloading"), p);
    auto* rows = new QVBoxLayout(frame);
    rows->addLayout(numberRow(frame, QStringLiteral("Up to"), f.txtLimitHTTP,
                              QStringLiteral("files from a specific HTTP server at same time."), edited));
    rows->addLayout(numberRow(frame, QStringLiteral("Up to"), f.txtLimitFTP,
                              QStringLiteral("files from a specific FTP server at same time."), edited));
    rows->addWidget(note(QStringLiteral("The file will be added to list without downloading if limits have been exceeded"), frame));
    l->addWidget(frame);
    l->addStretch();
    return p;
}

QWidget* SettingsDialogView::loginPage()
{
    frmSettings& f = form_;
    const auto edited = [&f] { f.field_Change(); };
    auto* p = new QWidget(this);
    auto* l = new QVBoxLayout(p);
    l->addWidget(note(QStringLiteral("These login accounts will be used during a transfer that uses the specified server in the list."), p));
    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Server:"), editFor(f.txtLoginServer, p, edited));
    fields->addRow(QStringLiteral("Username:"), editFor(f.txtLoginUsername, p, edited));
    QLineEdit* password = editFor(f.txtLoginPassword, p, edited);
    fields->addRow(QStringLiteral("Password:"), ui::passwordWithShowToggle(password, p));
    l->addLayout(fields);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(buttonFor(f.cmdLoginAdd, p, [&f] { f.cmdLoginAdd_Click(); }));
    buttons->addWidget(buttonFor(f.cmdLoginDelete, p, [&f] { f.cmdLoginDelete_Click(); }));
    buttons->addStretch();
    l->addLayout(buttons);
    l->addWidget(new ListViewWidget(f.lstLogin, p), 1);
    return p;
}

QWidget* SettingsDialogView::downloadPage()
{
    frmSettings& f = form_;
    auto* p = new QWidget(this);
    auto* l = new QVBoxLayout(p);
    l->addWidget(checkFor(f.chkPromptDone, p, [&f] { f.check_Click(); }));
    l->addWidget(checkFor(f.chkCloseWindow, p, [&f] { f.check_Click(); }));
    l->addWidget(checkFor(f.chkNotifyWhenDone, p, [&f] { f.check_Click(); }));
    for (OptionButton* o : {&f.chkDownloadNow, &f.chkDownloadLater, &f.chkDownloadPrompt})
        l->addWidget(optionFor(*o, p, [&f, o] { f.option_Click(*o); }));
    l->addStretch();
    return p;
}

QWidget* SettingsDialogView::segmentPage()
{
    frmSettings& f = form_;
    const auto edited = [&f] { f.field_Change(); };
    auto* p = new QWidget(this);
    auto* l = new QVBoxLayout(p);
    l->addWidget(checkFor(f.chkSegment, p, [&f] { f.chkSegment_Click(); }));
    l->addWidget(checkFor(f.chkAskSegmented, p, [&f] { f.check_Click(); }));
    auto* frame = new QGroupBox(f.fraSegment.Caption(), p);
    bindControl(frame, f.fraSegment);
    auto* grid = new QVBoxLayout(frame);
    for (std::size_t i = 0; i < f.txtSegment.size(); i += 2) {
        auto* row = new QHBoxLayout;
        for (std::size_t j = i; j < std::min(i + 2, f.txtSegment.size()); ++j) {
            row->addWidget(labelFor(*f.lblSegment[j], frame));
            QLineEdit* size = editFor(*f.txtSegment[j], frame, edited);
            size->setMaximumWidth(60);
            row->addWidget(size);
        }
        row->addWidget(new QLabel(i + 1 < f.txtSegment.size() ? QStringLiteral("MB") : QStringLiteral("MB or more"), frame));
        row->addStretch();
        grid->addLayout(row);
    }
    l->addWidget(frame);
    l->addStretch();
    return p;
}

}  // namespace harbel
