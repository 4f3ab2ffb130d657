#include "downloader/ui/DownloadDialogs.h"

#include "downloader/main/frmDir.h"
#include "downloader/main/frmExist.h"
#include "downloader/main/frmFile.h"
#include "downloader/main/frmFiles.h"
#include "downloader/main/frmSchedule.h"
#include "downloader/main/frmURL.h"

#include "common/support/LangString.h"
#include "common/ui/Bindings.h"
#include "common/ui/ListViewWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace harbel {

URLDialogView::URLDialogView(frmURL& form, QWidget* parent) : QDialog(parent)
{
    setObjectName(form.name());
    setWindowTitle(form.Caption());
    auto* layout = new QHBoxLayout(this);
    auto* combo = new QComboBox(this);
    combo->setObjectName(form.txtURL.name());
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setMinimumWidth(420);
    combo->addItems(form.urlHistory);
    combo->setCurrentIndex(-1);
    combo->setEditText(form.txtURL.Text());
    combo->lineEdit()->selectAll();
    connect(combo, &QComboBox::editTextChanged, this, [&form](const QString& t) { form.txtURL.setText(t); });
    connect(&form.txtURL, &Control::changed, combo, [combo, &form] {
        if (combo->currentText() != form.txtURL.Text())
            combo->setEditText(form.txtURL.Text());
    });
    layout->addWidget(combo, 1);
    auto* ok = buttonFor(form.cmdOk, this, [&form] { form.cmdOk_Click(); });
    ok->setDefault(true);
    ok->setAutoDefault(true);
    layout->addWidget(ok);
}

ExistDialogView::ExistDialogView(frmExist& form, QWidget* parent) : QDialog(parent)
{
    setObjectName(form.name());
    setWindowTitle(form.Caption());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(form.lblWarning.Caption(), this));
    auto* row = new QHBoxLayout;
    row->addWidget(buttonFor(form.cmdOverwrite, this, [&form] { form.cmdOverwrite_Click(); }));
    row->addWidget(buttonFor(form.cmdResume, this, [&form] { form.cmdResume_Click(); }));
    row->addWidget(buttonFor(form.Command3, this, [&form] { form.Command3_Click(); }));
    layout->addLayout(row);
}

namespace {

// A modeless question shows itself, in front, when its form is shown and hides with it.
void followForm(QDialog* view, Form& form)
{
    QObject::connect(&form, &Form::shown, view, [view] {
        view->show();
        view->raise();
        view->activateWindow();
    });
    QObject::connect(&form, &Form::hidden, view, &QWidget::hide);
}

}  // namespace

FileDialogView::FileDialogView(frmFile& form, QWidget* parent) : QDialog(parent), form_(form)
{
    setObjectName(form.name());
    setWindowTitle(form.Caption());
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    auto* frame = new QGroupBox(form.Frame1.Caption(), this);
    auto* fields = new QFormLayout(frame);
    auto* url = editFor(form.txtURL, frame);
    url->setReadOnly(true);
    url->setMinimumWidth(380);
    fields->addRow(form.lblURL.Caption(), url);
    fields->addRow(form.lblSaveAS.Caption(), editFor(form.txtSaveTo, frame));
    layout->addWidget(frame);
    auto* row = new QHBoxLayout;
    auto* begin = buttonFor(form.cmdBeginDown, this, [&form] { form.cmdBeginDown_Click(); });
    begin->setDefault(true);
    row->addWidget(begin);
    row->addWidget(buttonFor(form.cmdDownLater, this, [&form] { form.cmdDownLater_Click(); }));
    row->addWidget(buttonFor(form.cmdChange, this, [&form] { form.cmdChange_Click(); }));
    row->addWidget(buttonFor(form.cmdCancel, this, [&form] { form.cmdCancel_Click(); }));
    layout->addLayout(row);
    followForm(this, form);
}

void FileDialogView::reject()
{
    form_.cmdCancel_Click();
    QDialog::reject();
}

FilesDialogView::FilesDialogView(frmFiles& form, QWidget* parent) : QDialog(parent), form_(form)
{
    setObjectName(form.name());
    setWindowTitle(form.Caption());
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    auto* count = labelFor(form.lblCount, this);
    count->setWordWrap(true);
    layout->addWidget(count);
    auto* names = new ListViewWidget(form.lstNames, this);
    names->setMinimumSize(520, 160);
    names->stretchColumn(1);
    layout->addWidget(names, 1);
    auto* folder = new QHBoxLayout;
    folder->addWidget(labelFor(form.lblFolder, this));
    folder->addWidget(editFor(form.txtFolder, this), 1);
    folder->addWidget(buttonFor(form.cmdChange, this, [&form] { form.cmdChange_Click(); }));
    layout->addLayout(folder);
    auto* row = new QHBoxLayout;
    row->addStretch();
    auto* begin = buttonFor(form.cmdBeginDown, this, [&form] { form.cmdBeginDown_Click(); });
    begin->setDefault(true);
    row->addWidget(begin);
    row->addWidget(buttonFor(form.cmdDownLater, this, [&form] { form.cmdDownLater_Click(); }));
    row->addWidget(buttonFor(form.cmdCancel, this, [&form] { form.cmdCancel_Click(); }));
    layout->addLayout(row);
    followForm(this, form);
}

void FilesDialogView::reject()
{
    form_.cmdCancel_Click();
    QDialog::reject();
}

DirDialogView::DirDialogView(frmDir& form, QWidget* parent) : QDialog(parent)
{
    setObjectName(form.name());
    setWindowTitle(form.Caption());
    if (currentLanguageFile().compare(QLatin1String("Arabic.ini"), Qt::CaseInsensitive) == 0)
        setLayoutDirection(Qt::RightToLeft);
    auto* layout = new QVBoxLayout(this);
    auto* model = new QFileSystemModel(this);
    model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    model->setRootPath(QStringLiteral("/"));
    auto* tree = new QTreeView(this);
    tree->setModel(model);
    for (int c = 1; c < model->columnCount(); ++c)
        tree->hideColumn(c);
    tree->header()->hide();
    tree->setMinimumSize(360, 300);
    layout->addWidget(tree);
    auto* path = editFor(form.txtPath, this);
    layout->addWidget(path);
    const auto showPath = [tree, model, &form] {
        const QModelIndex at = model->index(form.txtPath.Text());
        if (at.isValid()) {
            tree->setCurrentIndex(at);
            tree->scrollTo(at);
        }
    };
    showPath();
    connect(tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [model, &form](const QModelIndex& at) { form.setPath(model->filePath(at)); });
    connect(&form.txtPath, &Control::changed, this, showPath);
    auto* row = new QHBoxLayout;
    row->addWidget(buttonFor(form.cmdNewFolder, this, [this, &form] {
        bool ok = false;
        const QString name = QInputDialog::getText(this, form.cmdNewFolder.Caption(), form.cmdNewFolder.Caption(),
                                                   QLineEdit::Normal, {}, &ok);
        if (ok)
            form.cmdNewFolder_Click(name);
    }));
    row->addStretch();
    row->addWidget(buttonFor(form.cmdOk, this, [&form] { form.cmdOk_Click(); }));
    row->addWidget(buttonFor(form.cmdCancel, this, [&form] { form.cmdCancel_Click(); }));
    layout->addLayout(row);
}

ScheduleDialogView::ScheduleDialogView(frmSchedule& form, QWidget* parent) : QDialog(parent), form_(form)
{
    setObjectName(form.name());
    setWindowTitle(form.Caption());
    auto* layout = new QVBoxLayout(this);
    auto* info = new QLabel(form.lblInfo.Caption(), this);
    info->setWordWrap(true);
    layout->addWidget(info);
    layout->addWidget(checkFor(form.chkNoSch, this, [&form] { form.chkNoSch_Click(); }));

    auto* time = new QHBoxLayout;
    time->addWidget(choiceFor(form.cmbHour, this, [&form] { form.cmbHour_Click(); }));
    time->addWidget(choiceFor(form.cmbMinute, this, [] {}));
    time->addWidget(choiceFor(form.cmbType, this, [] {}));
    time->addStretch();
    layout->addLayout(time);

    layout->addWidget(optionFor(form.optToday, this, [&form] { form.optToday_Click(); }));
    layout->addWidget(optionFor(form.optSelDay, this, [&form] { form.optSelDay_Click(); }));
    auto* days = new QHBoxLayout;
    days->addSpacing(20);
    for (CheckBox* day : form.dayBoxes())
        days->addWidget(checkFor(*day, this, [] {}));
    days->addStretch();
    layout->addLayout(days);

    // The two option groups are kept apart by the form (the bound widgets never group themselves).
    auto* existing = new QGroupBox(form.fraExisting.Caption(), this);
    auto* choices = new QHBoxLayout(existing);
    const auto only = [&form](OptionButton& chosen) {
        return [&form, &chosen] {
            for (OptionButton* o : {&form.optOver, &form.optRes, &form.optSkip})
                o->setValue(o == &chosen);
        };
    };
    for (OptionButton* o : {&form.optOver, &form.optRes, &form.optSkip})
        choices->addWidget(optionFor(*o, existing, only(*o)));
    layout->addWidget(existing);

    auto* row = new QHBoxLayout;
    row->addStretch();
    auto* ok = buttonFor(form.cmdOK, this, [&form] { form.cmdOK_Click(); });
    ok->setDefault(true);
    row->addWidget(ok);
    row->addWidget(buttonFor(form.cmdCancel, this, [&form] { form.cmdCancel_Click(); }));
    layout->addLayout(row);
}

void ScheduleDialogView::reject()
{
    form_.cmdCancel_Click();
    QDialog::reject();
}

}  // namespace harbel
