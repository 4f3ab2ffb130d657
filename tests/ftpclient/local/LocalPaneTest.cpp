// The local pane of the main window and the local-paths class behind it.
#include "common/prompts/ScriptedPrompts.h"
#include "ftpclient/window/FileShell.h"
#include "ftpclient/window/TessalyMain.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace harbel;
using namespace harbel::tessaly;
using harbel::test::writeFile;

namespace {

class TrashShell final : public FileShell {
public:
    bool openDocument(const QString& path, const QString& folder) override { return record("open " + path + " in " + folder); }
    bool showProperties(const QString& path) override { return record("properties " + path); }
    bool findFiles() override { return record("find"); }
    bool startProgram(const QString& program, const QStringList&) override { return record("start " + program); }
    bool moveToTrash(const QString& path, QString* error) override
    {
        record("trash " + path);
        if (!QFile::remove(path)) {
            *error = "cannot trash " + path;
            return false;
        }
        return true;
    }
    bool emptyTrash(QString* error) override
    {
        record("empty trash");
        *error = "trash busy";
        return false;
    }
    QStringList calls;

private:
    bool record(const QString& c)
    {
        calls << c;
        return true;
    }
};

class LocalPane : public ::testing::Test {
protected:
    void SetUp() override
    {
        Prompts::setInstance(&prompts);
        prompts.setUnexpectedHandler([](const QString& what) { ADD_FAILURE() << what.toStdString(); });
        FileShell::setInstance(&shell);
        dir = test::testFolder() + "/files/";
        QDir().mkpath(dir + "MixedCase Folder");
        writeFile(dir + "notes.txt", "12345");
        writeFile(dir + "picture.gif", "gif");
        QFile::link(dir + "gone", dir + "dangling");
        form = std::make_unique<frmMain>();
        ASSERT_TRUE(form->Form_Load());
        ASSERT_TRUE(form->ChangeCurrentLocalFolder(dir));
        form->RefreshLocalList();
    }
    void TearDown() override
    {
        form.reset();
        Prompts::setInstance(nullptr);
        FileShell::setInstance(nullptr);
        EXPECT_EQ(prompts.pendingAnswers(), 0u);
    }

    int rowOf(const QString& name) const
    {
        const QList<ListRow*> rows = form->lstLocalFileList.rows();
        for (int i = 0; i < rows.size(); ++i)
            if (rows[i]->Text() == name)
                return i;
        return -1;
    }
    ListRow* row(const QString& name) const
    {
        const int i = rowOf(name);
        return i < 0 ? nullptr : form->lstLocalFileList.rows()[i];
    }
    void select(const QStringList& names)
    {
        for (ListRow* r : form->lstLocalFileList.rows())
            r->setSelected(names.contains(r->Text()));
        form->UpdateLocalCommands();
    }

    ScriptedPrompts prompts;
    TrashShell shell;
    QString dir;
    std::unique_ptr<frmMain> form;
};

}  // namespace

TEST_F(LocalPane, ListsEntriesWithKindsSizesAndKeepsNamesAsTheyAre)
{
    EXPECT_EQ(form->lblStatus.Caption(), "Local folder changed to " + dir);
    EXPECT_TRUE(form->cboLocalPath.List().contains(dir));
    const ListRow* folder = row("MixedCase Folder");
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->SmallIcon(), 2);
    EXPECT_EQ(folder->cell(1), "");
    EXPECT_EQ(folder->cell(3), "D");
    const ListRow* notes = row("notes.txt");
    ASSERT_TRUE(notes);
    EXPECT_EQ(notes->SmallIcon(), 1);
    EXPECT_EQ(notes->cell(1), "5");
    EXPECT_FALSE(notes->cell(2).isEmpty());
    EXPECT_EQ(notes->cell(3), "F");
    // An entry that cannot be read is listed as a file.
    ASSERT_GE(rowOf("dangling"), 0);
    EXPECT_EQ(row("dangling")->cell(3), "F");
}

TEST_F(LocalPane, NavigatesIntoFoldersUpAndByTypedPaths)
{
    select({"MixedCase Folder"});
    form->lstLocalFileList_DblClick();
    EXPECT_EQ(form->sLocalPath, dir + "MixedCase Folder/");
    EXPECT_EQ(form->lblStatus.Caption(), "Local folder changed.");
    EXPECT_EQ(form->lstLocalFileList.count(), 0);

    form->cmdUpLocal_Click();
    EXPECT_EQ(form->sLocalPath, dir);
    EXPECT_GE(rowOf("notes.txt"), 0);

    form->cboLocalPath.setText(dir + "MixedCase Folder");  // typed without the closing separator
    form->cboLocalPath_KeyPress(13);
    EXPECT_EQ(form->sLocalPath, dir + "MixedCase Folder/");

    form->ChangeCurrentLocalFolder("/");
    form->movToolbar_FSCommand("IDC_FS_LocalUpLevel");
    EXPECT_EQ(form->lblStatus.Caption(), "Local path already at root folder.");
    EXPECT_EQ(form->sLocalPath, "/");

    prompts.answer(MsgAnswer::Ok);
    form->ChangeCurrentLocalFolder(dir + "missing/");
    form->RefreshLocalList();
    EXPECT_EQ(prompts.last().text, "Cannot read the contents of " + dir + "missing/");
    EXPECT_EQ(prompts.last().title, "FTP Client[Error]");
}

TEST_F(LocalPane, DoubleClickOnAFileWhenNotConnectedSaysSo)
{
    select({"notes.txt"});
    form->lstLocalFileList_DblClick();
    EXPECT_EQ(form->lblStatus.Caption(), "Cannot upload file(s) when not connected.");
}

TEST_F(LocalPane, CommandsFollowTheSelection)
{
    select({});
    form->UpdateLocalCommands();
    EXPECT_FALSE(form->miDeleteLocalFile.Enabled());
    EXPECT_FALSE(form->miRenameLocalFile.Enabled());
    EXPECT_TRUE(form->miCreateLocalFolder.Enabled());
    select({"MixedCase Folder"});
    EXPECT_FALSE(form->miDeleteLocalFile.Enabled());
    select({"notes.txt"});
    EXPECT_TRUE(form->miDeleteLocalFile.Enabled());
    EXPECT_TRUE(form->miRenameLocalFile.Enabled());
    EXPECT_FALSE(form->cmdSend.Enabled());  // not connected
    select({"notes.txt", "MixedCase Folder"});
    EXPECT_TRUE(form->miDeleteLocalFile.Enabled());
    EXPECT_FALSE(form->miRenameLocalFile.Enabled());
}

TEST_F(LocalPane, FilterAndViews)
{
    prompts.answerText(QString("*.gif"));
    form->movToolbar_FSCommand("IDC_FS_LDirFilters");
    EXPECT_EQ(prompts.last().title, "Define Type For Local Server Directory Listing");
    ASSERT_EQ(form->lstLocalFileList.count(), 1);
    EXPECT_EQ(form->lstLocalFileList.rows()[0]->Text(), "picture.gif");
    form->mnuLocalFilterAll_Click();
    EXPECT_GE(form->lstLocalFileList.count(), 4);

    prompts.answerText(QString());
    prompts.answer(MsgAnswer::Ok);
    form->mnuLocalFilterDefineTypes_Click();
    EXPECT_EQ(prompts.last().text, "No command was entered.");

    form->movToolbar_FSCommand("IDC_FS_LocalSmallIcons");
    EXPECT_EQ(form->lstLocalFileList.View(), 1);
    form->movToolbar_FSCommand("IDC_FS_LocalDetailsIcons");
    EXPECT_EQ(form->lstLocalFileList.View(), 3);
}

TEST_F(LocalPane, DeleteRenameCreateAndTrash)
{
    select({"picture.gif"});
    prompts.answer(MsgAnswer::No);
    form->movToolbar_FSCommand("IDC_FS_Erase");
    EXPECT_EQ(form->lblStatus.Caption(), "Local file(s) not deleted.");
    EXPECT_TRUE(QFileInfo::exists(dir + "picture.gif"));
    prompts.answer(MsgAnswer::Yes);
    form->miDeleteLocalFile_Click();
    EXPECT_EQ(prompts.last().text, "Are you sure you want to delete the selected local file(s)?");
    EXPECT_FALSE(QFileInfo::exists(dir + "picture.gif"));
    EXPECT_EQ(rowOf("picture.gif"), -1);
    EXPECT_EQ(form->lblStatus.Caption(), "Local file(s) deleted.");

    // A folder is not a file: the class says so and nothing is lost.
    select({"MixedCase Folder"});
    prompts.answer(MsgAnswer::Yes);
    prompts.answer(MsgAnswer::Ok);
    form->miDeleteLocalFile_Click();
    EXPECT_EQ(prompts.last().text, "Cannot delete " + dir + "MixedCase Folder");
    EXPECT_EQ(prompts.last().title, "FTP Client[Notice]");
    EXPECT_EQ(prompts.last().buttons, MsgButtons::OkCancel);
    EXPECT_TRUE(QFileInfo(dir + "MixedCase Folder").isDir());

    select({"notes.txt"});
    prompts.answer(MsgAnswer::Yes);
    prompts.answerText(QString("renamed.txt"));
    form->movToolbar_FSCommand("IDC_FS_LRename");
    EXPECT_EQ(prompts.records()[prompts.records().size() - 2].text, "Rename local file " + dir + "notes.txt?");
    EXPECT_EQ(prompts.last().text, "Enter the new name for " + dir + "notes.txt");
    EXPECT_TRUE(QFileInfo::exists(dir + "renamed.txt"));
    EXPECT_EQ(form->lblStatus.Caption(), "Local file renamed.");
    select({"renamed.txt"});
    prompts.answer(MsgAnswer::Yes);
    prompts.answerText(QString());
    form->miRenameLocalFile_Click();
    EXPECT_EQ(form->lblStatus.Caption(), "Local file not renamed.");

    // Renaming onto an existing file would destroy it: refused.
    writeFile(dir + "other.txt", "keep me");
    form->RefreshLocalList();
    select({"renamed.txt"});
    prompts.answer(MsgAnswer::Yes);
    prompts.answerText(QString("other.txt"));
    prompts.answer(MsgAnswer::Ok);
    form->miRenameLocalFile_Click();
    EXPECT_EQ(prompts.last().text, "Cannot rename " + dir + "renamed.txt");
    EXPECT_EQ(test::readFile(dir + "other.txt"), "keep me");
    EXPECT_TRUE(QFileInfo::exists(dir + "renamed.txt"));

    prompts.answerText(QString("new folder"));
    form->movToolbar_FSCommand("IDC_FS_LCreateFolder");
    EXPECT_TRUE(QFileInfo(dir + "new folder").isDir());
    EXPECT_GE(rowOf("new folder"), 0);

    select({"renamed.txt"});
    prompts.answer(MsgAnswer::Yes);
    form->movToolbar_FSCommand("IDC_FS_LDelete");
    EXPECT_EQ(prompts.last().text, "Move the selected files to the trash?");
    EXPECT_EQ(shell.calls.last(), "trash " + dir + "renamed.txt");
    EXPECT_EQ(rowOf("renamed.txt"), -1);

    form->movToolbar_FSCommand("IDC_FS_Recycle");
    EXPECT_EQ(form->lstConnectionInfo.Items().last(), "Error trash busy");
}

TEST_F(LocalPane, OpenPropertiesAndFind)
{
    prompts.answer(MsgAnswer::Ok);
    select({});
    form->movToolbar_FSCommand("IDC_FS_Properties");
    EXPECT_EQ(prompts.last().text, "Properties of what, Please select an item?");
    select({"notes.txt"});
    form->movToolbar_FSCommand("IDC_FS_Properties");
    form->movToolbar_FSCommand("IDC_FS_OpenFile");
    form->movToolbar_FSCommand("IDC_FS_FindFile");
    EXPECT_EQ(shell.calls, (QStringList{"properties " + dir + "notes.txt", "open " + dir + "notes.txt in " + dir, "find"}));
}
