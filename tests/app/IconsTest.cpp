#include "common/controls/Form.h"
#include "common/controls/MovieToolbar.h"
#include "common/platform/AppFolder.h"
#include "common/ui/Icons.h"
#include "common/ui/ToolbarView.h"

#include <QAction>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace harbel;

namespace {

class ToolbarForm final : public Form {
public:
    ToolbarForm() : Form("frmMain") {}
    MovieToolbar Flash{*this, "Flash"};
};

// Some pixel painted: a theme-less desktop (offscreen has none) gives a null or blank icon
// unless the drawing ships with the programs and the SVG icon engine is installed.
bool drawn(const QIcon& icon)
{
    const QImage image = icon.pixmap(24, 24).toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 0)
                return true;
    return false;
}

}  // namespace

TEST(Icons, ToolbarsRowsAndProgramsShowOurOwnDrawingsWithoutATheme)
{
    for (const char* program : {"DM", "FTP"}) {
        ToolbarForm f;
        ASSERT_TRUE(f.Flash.LoadMovie(AppFolder::file("Harbel.toolbar")));
        f.Flash.SetVariable("_root.Program", program);
        ToolbarView view(f.Flash);
        int buttons = 0;
        for (const QAction* a : view.actions()) {
            if (a->objectName().startsWith("IDC_FS_")) {
                ++buttons;
                EXPECT_TRUE(drawn(a->icon())) << program << " " << a->text().toStdString();
            }
        }
        EXPECT_GT(buttons, 10) << program;
    }
    for (const char* name : {"pellanor", "tessaly", "row-queued", "row-completed", "row-file", "row-folder", "row-link"})
        EXPECT_TRUE(drawn(Icons::icon(name))) << name;
    EXPECT_FALSE(Icons::ships("../icons/pellanor"));
}

TEST(Icons, TrayShowsItsNamedIconAPictureOrTheProgramsIcon)
{
    // Pellanor's main window names its tray icon; download windows and Tessaly name none and
    // show the program's icon.
    EXPECT_TRUE(drawn(Icons::trayIcon("folder-download")));
    Icons::setApplicationIcon("tessaly");
    EXPECT_EQ(QGuiApplication::desktopFileName(), "tessaly");
    EXPECT_EQ(Icons::trayIcon("").pixmap(32, 32).toImage(), Icons::icon("tessaly").pixmap(32, 32).toImage());

    QTemporaryDir dir;
    QImage picture(64, 48, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(picture.save(dir.filePath("tray.png")));
    const QImage shown = Icons::trayIcon(dir.filePath("tray.png")).pixmap(32, 32).toImage();
    EXPECT_EQ(shown.pixelColor(16, 12), QColor(Qt::red));
}
