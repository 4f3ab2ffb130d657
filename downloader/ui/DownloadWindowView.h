#pragma once

#include <QWidget>

class QLabel;
class QMenu;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace harbel {

class frmDownload;

// The download window on screen: widgets that show the job's controls and hand the user's
// presses to the job's handlers. It decides nothing itself.
class DownloadWindowView final : public QWidget {
    Q_OBJECT
public:
    explicit DownloadWindowView(frmDownload& job, QWidget* parent = nullptr);

    frmDownload& job() const { return job_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void syncForm();

    frmDownload& job_;
    QMenu* moreMenu_ = nullptr;
};

}  // namespace harbel
