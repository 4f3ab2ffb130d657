#pragma once

#include "common/controls/ListView.h"

namespace harbel::tessaly {

class frmMain;

// What the keys of the two file lists run, and the order of their rows: folders first, then by
// the column the user chose (name, size or date), kept across listings.
class PaneCommands final {
public:
    enum class Pane { Local, Remote };
    enum class Command { Open, Up, Delete, Rename, Refresh };

    explicit PaneCommands(frmMain& main) : main_(main) {}

    // Runs command on pane when the pane allows it now (connected, a fitting selection, no other
    // operation running); false when it did nothing.
    bool run(Pane pane, Command command);
    // A click on a column header: sort by it; a second click on the same header reverses the order.
    void columnClick(Pane pane, int column);
    // Puts the rows in the list's order again, after a listing.
    static void sortRows(ListView& list);

private:
    static void sortRows(ListView& list, int column, ListView::SortOrderKind order);
    bool runRemote(Command command);
    bool runLocal(Command command);

    frmMain& main_;
};

}  // namespace harbel::tessaly
