// The keyboard commands of the main window's two file lists and the order of their rows.

#include "ftpclient/window/PaneCommands.h"

#include "ftpclient/window/TessalyMain.h"

namespace harbel::tessaly {

namespace {

constexpr int kNameColumn = 0;
constexpr int kSizeColumn = 1;
constexpr int kDateColumn = 2;
constexpr int kKindColumn = 3;

bool isFolder(const ListRow& row)
{
    return row.cell(kKindColumn) == QLatin1String("D");
}

// A folder's size cell is empty and sorts before every file's.
qint64 sizeOf(const ListRow& row)
{
    bool ok = false;
    const qint64 size = row.cell(kSizeColumn).toLongLong(&ok);
    return ok ? size : -1;
}

// Negative, zero or positive as a sorts before, with or after b in column, ascending.
int compareIn(int column, const ListRow& a, const ListRow& b)
{
    if (column == kSizeColumn) {
        const qint64 x = sizeOf(a), y = sizeOf(b);
        if (x != y)
            return x < y ? -1 : 1;
    } else if (column == kDateColumn) {
        // The row's tag holds the time itself; the cell is only its local rendering.
        const QDateTime x = a.Tag().toDateTime(), y = b.Tag().toDateTime();
        if (x != y)
            return x < y ? -1 : 1;
    }
    return ListView::naturalCompare(a.Text(), b.Text());
}

}  // namespace

void PaneCommands::sortRows(ListView& list)
{
    sortRows(list, list.SortKey(), list.SortOrder());
}

void PaneCommands::sortRows(ListView& list, int column, ListView::SortOrderKind order)
{
    list.sortBy(column, order, [column, order](const ListRow& a, const ListRow& b) {
        // Folders stay on top whichever way the column runs.
        if (isFolder(a) != isFolder(b))
            return isFolder(a);
        const int c = compareIn(column, a, b);
        return order == ListView::lvwAscending ? c < 0 : c > 0;
    });
}

void PaneCommands::columnClick(Pane pane, int column)
{
    if (column < kNameColumn || column > kDateColumn)
        return;
    ListView& list = pane == Pane::Remote ? main_.lstRemoteFileList : main_.lstLocalFileList;
    const bool reverse = list.SortKey() == column && list.SortOrder() == ListView::lvwAscending;
    sortRows(list, column, reverse ? ListView::lvwDescending : ListView::lvwAscending);
}

bool PaneCommands::run(Pane pane, Command command)
{
    return pane == Pane::Remote ? runRemote(command) : runLocal(command);
}

bool PaneCommands::runRemote(Command command)
{
    // The remote menu is enabled exactly while the session is connected and idle.
    if (!main_.miRemote.Enabled() || main_.operationRunning())
        return false;
    switch (command) {
    case Command::Open:
        if (!main_.lstRemoteFileList.anySelected())
            return false;
        main_.lstRemoteFileList_DblClick();
        return true;
    case Command::Up:
        main_.cmdUpFtp_Click();
        return true;
    case Command::Delete:
        if (!main_.miDeleteRemoteFile.Enabled())
            return false;
        main_.DeleteRemoteSelection();
        return true;
    case Command::Rename:
        if (!main_.miRenameRemoteFile.Enabled())
            return false;
        main_.RenameRemoteItem();
        return true;
    case Command::Refresh:
        main_.movToolbar_FSCommand(QStringLiteral("IDC_FS_RemoteRefresh"));
        return true;
    }
    return false;
}

bool PaneCommands::runLocal(Command command)
{
    if (main_.operationRunning())
        return false;
    switch (command) {
    case Command::Open:
        if (!main_.lstLocalFileList.anySelected())
            return false;
        main_.lstLocalFileList_DblClick();
        return true;
    case Command::Up:
        main_.cmdUpLocal_Click();
        return true;
    case Command::Delete:
        if (!main_.miDeleteLocalFile.Enabled())
            return false;
        main_.miDeleteLocalFile_Click();
        return true;
    case Command::Rename:
        if (!main_.miRenameLocalFile.Enabled())
            return false;
        main_.miRenameLocalFile_Click();
        return true;
    case Command::Refresh:
        main_.RefreshLocalList();
        return true;
    }
    return false;
}

}  // namespace harbel::tessaly
