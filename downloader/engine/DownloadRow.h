#pragma once

#include <QObject>
#include <QStringList>

namespace harbel {

// One row of the queue or of the completed list: a small icon and eight text cells.
class DownloadRow final : public QObject {
    Q_OBJECT
public:
    enum Cell { Icon = 0, Filename = 1, Percent = 2, Size = 3, Recieved = 4, Status = 5, URL = 6, Date = 7 };
    static constexpr int kCells = 8;

    explicit DownloadRow(int smallIcon = 1, QObject* parent = nullptr);

    int SmallIcon() const { return icon_; }
    void setSmallIcon(int icon);
    QString cell(int index) const { return cells_.value(index); }
    void setCell(int index, const QString& text);
    const QStringList& cells() const { return cells_; }

signals:
    void changed();

private:
    int icon_;
    QStringList cells_;
};

}  // namespace harbel
