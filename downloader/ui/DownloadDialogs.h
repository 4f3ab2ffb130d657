#pragma once

#include <QDialog>

namespace harbel {

class frmDir;
class frmExist;
class frmFile;
class frmFiles;
class frmSchedule;
class frmURL;

// The Enter URL dialog: an editable drop-down of known addresses and "&OK" (Enter runs it too).
class URLDialogView final : public QDialog {
    Q_OBJECT
public:
    explicit URLDialogView(frmURL& form, QWidget* parent = nullptr);
};

// The file-exists question.
class ExistDialogView final : public QDialog {
    Q_OBJECT
public:
    explicit ExistDialogView(frmExist& form, QWidget* parent = nullptr);
};

// The download prompt; not modal. Closing it is its "&Cancel".
class FileDialogView final : public QDialog {
    Q_OBJECT
public:
    explicit FileDialogView(frmFile& form, QWidget* parent = nullptr);

protected:
    void reject() override;

private:
    frmFile& form_;
};

// The download prompt for several addresses: their names, one folder; not modal. Closing it is
// its "&Cancel".
class FilesDialogView final : public QDialog {
    Q_OBJECT
public:
    explicit FilesDialogView(frmFiles& form, QWidget* parent = nullptr);

protected:
    void reject() override;

private:
    frmFiles& form_;
};

// The folder chooser: a folder tree, the path box and a button for a new folder.
class DirDialogView final : public QDialog {
    Q_OBJECT
public:
    explicit DirDialogView(frmDir& form, QWidget* parent = nullptr);
};

// The schedule dialog: the time, today or selected days, and what to do with existing files.
class ScheduleDialogView final : public QDialog {
    Q_OBJECT
public:
    explicit ScheduleDialogView(frmSchedule& form, QWidget* parent = nullptr);

protected:
    void reject() override;

private:
    frmSchedule& form_;
};

}  // namespace harbel
