// Pellanor's main window: start-up, a second copy, the addresses handed over to the running one
// and the questions they bring.

#include "downloader/main/frmMain.h"

#include "downloader/main/DownloadRow.h"
#include "tests/downloader/main/QueueRowTexts.h"
#include "downloader/window/frmDownload.h"
#include "downloader/main/History.h"
#include "downloader/main/frmDir.h"
#include "downloader/main/frmExist.h"
#include "downloader/settings/DownloadSettings.h"

#include "common/platform/Clipboard.h"
#include "common/platform/CRegister.h"
#include "common/prompts/ScriptedPrompts.h"
#include "common/platform/SingleInstance.h"
#include "common/support/LangString.h"
#include "tests/support/ScriptedHttpServer.h"
#include "tests/support/TestEnvironment.h"
#include "tests/downloader/main/PellanorMainWindowFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include "tests/support/QtPrint.h"

#include <gtest/gtest.h>

using namespace harbel;
using harbel::test::ScriptedHttpServer;
using harbel::test::readFile;
using harbel::test::waitUntil;
using harbel::test::writeFile;

using MainWindow = harbel::test::PellanorMainWindow;

TEST(FileExists, EachAnswerSetsTheActionAndClosingKeepsTheValueBefore)
{
    struct Case {
        std::function<void(frmExist&)> press;
        qint16 expected;
    };
    const Case cases[] = {
        {[](frmExist& f) { f.cmdOverwrite_Click(); }, 0},
        {[](frmExist& f) { f.cmdResume_Click(); }, -1},
        {[](frmExist& f) { f.Command3_Click(); }, -2},
        {[](frmExist&) {}, 0},  // closed without an answer
    };
    for (const Case& c : cases) {
        SettingsStore::instance().FileExistsAction = 0;
        frmExist question;
        EXPECT_EQ(question.Caption(), "File Already Exists!?");
        EXPECT_EQ(question.lblWarning.Caption(), "The file already exists at this location!  What would you like to do?");
        question.Show();
        c.press(question);
        EXPECT_EQ(SettingsStore::instance().FileExistsAction, c.expected);
    }
}

TEST_F(MainWindow, StartUpDressesTheWindowAndLoadsTheHistory)
{
    writeFile(History::path(), "/d/a.zip\r\n10%\r\n1 MB\r\n100 KB\r\nPaused\r\nhttp://h/a.zip\r\n1/1/26\r\n"
                               "Complete List\r\n/d/b.zip\r\n100%\r\n2 MB\r\n2 MB\r\nDone\r\nhttp://h/b.zip\r\n1/1/26\r\n"
                               "Finish History\r\n");
    const QByteArray before = readFile(History::path());
    form.Form_Load();
    EXPECT_EQ(form.Caption(), "Pellanor");
    EXPECT_EQ(form.Tray1.TrayToolTip(), "Pellanor");
    EXPECT_TRUE(form.Tray1.IsVisible());
    EXPECT_EQ(form.Flash.GetVariable("_root.Program"), "DM");
    EXPECT_FALSE(form.FirstPromptShown);
    EXPECT_EQ(SettingsStore::instance().FileExistsAction, -2);
    ASSERT_EQ(form.lstMain.count(), 1);
    ASSERT_EQ(form.lstComplete.count(), 1);
    EXPECT_EQ(form.lstMain.at(0)->cell(DownloadRow::Status), "Paused");
    EXPECT_EQ(form.lstComplete.at(0)->SmallIcon(), DownloadRow::kCompleteIcon);
    // Loading is not a change: nothing is written back.
    EXPECT_FALSE(form.historySavePending());
    EXPECT_EQ(readFile(History::path()), before);
}

TEST_F(MainWindow, ASecondCopyAsksNothingAndLeavesTheHistoryAlone)
{
    writeFile(History::path(), "Complete List\r\nFinish History\r\n");
    SingleInstance running("Pellanor", "TessalyRecieveMessage");
    ASSERT_TRUE(frmMain::checkSingleInstance(running));
    QStringList handed;
    QObject::connect(&running, &SingleInstance::received, [&](const QString& t) { handed << t; });

    // A running copy that cannot be asked to show its window yet: the second one waits for it a
    // while, then gives up without a box that would wait for a click.
    SingleInstance second("Pellanor", "TessalyRecieveMessage");
    bool handedOver = true;
    EXPECT_FALSE(frmMain::checkSingleInstance(second, &handedOver, {}, 300));
    EXPECT_FALSE(handedOver);
    EXPECT_TRUE(prompts.records().isEmpty());
    EXPECT_EQ(readFile(History::path()), "Complete List\r\nFinish History\r\n");

    // Once it listens, a second copy ends silently and the running one shows its window.
    ASSERT_TRUE(running.listen());
    int raised = 0;
    QObject::connect(&running, &SingleInstance::raiseRequested, [&] { ++raised; });
    SingleInstance third("Pellanor", "TessalyRecieveMessage");
    EXPECT_FALSE(frmMain::checkSingleInstance(third, &handedOver));
    EXPECT_TRUE(handedOver);
    EXPECT_TRUE(prompts.records().isEmpty());
    EXPECT_TRUE(waitUntil([&] { return raised == 1; }));

    // `pellanor --add` is the second copy's hand-over.
    ASSERT_TRUE(second.send("http://host/file.zip"));
    EXPECT_TRUE(waitUntil([&] { return handed.size() == 1; }));
    EXPECT_EQ(handed.value(0), "http://host/file.zip");
}

namespace {

// A save dialog that stays open while the event loop runs on, as a real one does.
class LingeringPrompts final : public Prompts {
public:
    std::function<bool()> closeWhen;
    MsgAnswer MsgBox(const QString&, MsgButtons, MsgIcon, const QString&) override { return MsgAnswer::Ok; }
    std::optional<QString> InputBox(const QString&, const QString&, const QString&) override { return std::nullopt; }
    std::optional<QString> SaveFileName(const QString&, const QString&, const QString&) override
    {
        ++asked;
        waitUntil(closeWhen, 2000);
        return std::nullopt;
    }
    std::optional<QString> OpenFileName(const QString&, const QString&, const QString&) override { return std::nullopt; }
    std::optional<QString> ChooseFolder(const QString&, const QString&) override { return std::nullopt; }
    void ShowModal(Form& form) override { form.Hide(); }
    int asked = 0;
};

}  // namespace

TEST_F(MainWindow, AHandOverMayOpenADialogThatOutlivesTheSendersConnection)
{
    load();
    SingleInstance running("Pellanor", "TessalyRecieveMessage");
    ASSERT_TRUE(running.acquire());
    ASSERT_TRUE(running.listen());
    form.takeHandOvers(running);
    LingeringPrompts lingering;
    Prompts::setInstance(&lingering);
    bool delivered = false;
    // The dialog stays open until the sender has hung up and its socket has been cleaned away.
    int turns = 0;
    lingering.closeWhen = [&] { return delivered && ++turns > 50; };
    {
        SingleInstance second("Pellanor", "TessalyRecieveMessage");
        delivered = second.send("http://host/one.zip");
    }
    ASSERT_TRUE(waitUntil([&] { return lingering.asked == 1; }));
    EXPECT_FALSE(form.FileForm.Visible());
    EXPECT_EQ(form.lstMain.count(), 0);
    Prompts::setInstance(&prompts);
}

TEST_F(MainWindow, AHandOverWaitsUntilTheOpenQuestionIsAnswered)
{
    load();
    // The first address is being asked about: its save dialog has been answered and the prompt
    // waits for Begin or Later.
    prompts.answerText(folder + "/first.bin");
    form.txtChager_Change(server.url("first.bin"));
    ASSERT_TRUE(form.FileForm.Visible());
    // A second one arrives meanwhile: it waits, and the prompt keeps the first address with its
    // own path.
    form.txtChager_Change(server.url("second.bin"));
    test::runFor(300);
    EXPECT_EQ(form.FileForm.txtURL.Text(), server.url("first.bin"));
    EXPECT_EQ(form.FileForm.txtSaveTo.Text(), folder + "/first.bin");
    EXPECT_EQ(prompts.records().size(), 1u);

    // Answered: the first goes into its own file, then the second is asked about in turn.
    prompts.answerText(folder + "/second.bin");
    form.FileForm.cmdBeginDown_Click();
    ASSERT_TRUE(waitUntil([&] { return form.FileForm.Visible(); }));
    EXPECT_EQ(form.FileForm.txtURL.Text(), server.url("second.bin"));
    EXPECT_EQ(form.FileForm.txtSaveTo.Text(), folder + "/second.bin");
    ASSERT_TRUE(waitUntil([&] { return form.lstComplete.count() == 1; }));
    EXPECT_EQ(form.lstComplete.at(0)->cell(DownloadRow::Filename), folder + "/first.bin");
    EXPECT_EQ(readFile(folder + "/first.bin"), server.content);
    form.FileForm.cmdCancel_Click();
    EXPECT_FALSE(QFile::exists(folder + "/second.bin"));
}

TEST_F(MainWindow, AddressesThatComeDuringAQuestionAreAskedAboutInOne)
{
    load();
    prompts.answerText(folder + "/first.bin");
    form.txtChager_Change(server.url("first.bin"));
    ASSERT_TRUE(form.FileForm.Visible());
    // Several come meanwhile (two of them with the same name). Once the first is answered, all of
    // them are asked about in one question: one folder, each name listed, no dialog each.
    for (const char* name : {"second.bin", "third.zip", "dir/second.bin", "fourth.bin"})
        form.txtChager_Change(server.url(name));
    form.FileForm.cmdDownLater_Click();
    ASSERT_TRUE(waitUntil([&] { return form.FilesForm.Visible(); }));
    EXPECT_EQ(prompts.records().size(), 1u);
    // One arriving while that question is open joins its list.
    form.txtChager_Change(server.url("fifth.bin"));
    QStringList names;
    for (const ListRow* row : form.FilesForm.lstNames.rows())
        names << row->cell(0);
    EXPECT_EQ(names, QStringList({"second.bin", "third.zip", "second (2).bin", "fourth.bin", "fifth.bin"}));
    EXPECT_EQ(form.FilesForm.txtFolder.Text(), folder);
    prompts.answerText(folder + "/all");
    form.FilesForm.cmdChange_Click();
    form.FilesForm.cmdDownLater_Click();
    EXPECT_FALSE(form.FilesForm.Visible());
    ASSERT_EQ(form.lstMain.count(), 6);
    EXPECT_EQ(form.lstMain.at(1)->cell(DownloadRow::Filename), folder + "/all/second.bin");
    EXPECT_EQ(form.lstMain.at(3)->cell(DownloadRow::Filename), folder + "/all/second (2).bin");
    EXPECT_EQ(form.lstMain.at(5)->cell(DownloadRow::URL), server.url("fifth.bin"));
    EXPECT_EQ(prompts.records().size(), 2u);
    EXPECT_EQ(prompts.last().kind, ScriptedPrompts::Kind::ChooseFolder);
}

TEST_F(MainWindow, HandedOverTextsEnterTheAddUrlFlowUnlessTheyAreMenus)
{
    load();
    form.FirstPromptShown = true;
    SettingsStore::instance().record.DownloadLaterOption = true;
    SettingsStore::instance().record.DownloadPromptOption = false;
    form.txtChager_Change("MENU http://host/a.zip");
    form.txtChager_Change("");
    EXPECT_EQ(form.lstMain.count(), 0);
    form.txtChager_Change("http://host/a.zip");
    ASSERT_EQ(form.lstMain.count(), 1);
    EXPECT_EQ(form.lstMain.at(0)->cell(DownloadRow::Status), "Not Downloaded");
    EXPECT_EQ(form.lstMain.at(0)->cell(DownloadRow::Filename), folder + "/a.zip");
}

TEST_F(MainWindow, TheFirstAddressIsAlwaysAskedAboutAndTheSecondFollowsTheSetting)
{
    load();
    SettingsStore& s = SettingsStore::instance();
    s.record.DownloadNowOption = true;
    s.record.DownloadPromptOption = false;

    // The prompt's first question, cancelled: nothing is queued, and the next one is not asked.
    prompts.answerText(std::nullopt);
    form.URLForm.DownLoadURL(server.url("one.bin"));
    EXPECT_EQ(prompts.last().kind, ScriptedPrompts::Kind::SaveFileName);
    EXPECT_EQ(prompts.last().title, "[Save file to?]");
    EXPECT_EQ(prompts.last().initial, folder + "/one.bin");
    EXPECT_FALSE(form.FileForm.Visible());
    EXPECT_EQ(form.lstMain.count(), 0);
    EXPECT_TRUE(form.FirstPromptShown);

    form.URLForm.DownLoadURL(server.url("two.bin"));
    ASSERT_EQ(form.lstMain.count() + form.lstComplete.count(), 1);
    ASSERT_TRUE(waitUntil([&] { return form.lstComplete.count() == 1; }));
    EXPECT_EQ(readFile(folder + "/two.bin"), server.content);
    EXPECT_EQ(form.lstComplete.at(0)->cell(DownloadRow::URL), server.url("two.bin"));
}

TEST_F(MainWindow, ThePromptBeginsLatersChangesAndCancels)
{
    load();
    frmFile& prompt = form.FileForm;

    // Begin: the chosen path becomes the last save path and the download runs into it.
    prompts.answerText(folder + "/chosen.bin");
    form.URLForm.DownLoadURL(server.url("x.bin"));
    ASSERT_TRUE(prompt.Visible());
    EXPECT_EQ(prompt.txtURL.Text(), server.url("x.bin"));
    EXPECT_EQ(SettingsStore::instance().LastSavePath, folder + "/chosen.bin");
    form.lstMain.setVisible(false);
    prompt.cmdBeginDown_Click();
    EXPECT_FALSE(prompt.Visible());
    EXPECT_TRUE(form.lstMain.Visible());
    ASSERT_TRUE(waitUntil([&] { return form.lstComplete.count() == 1; }));
    EXPECT_EQ(readFile(folder + "/chosen.bin"), server.content);

    // An emptied save field makes both buttons do nothing; Change fills it without touching the
    // last save path; Later queues it.
    prompts.answerText(folder + "/y.bin");
    form.URLForm.DownLoadURL("http://host/y.bin");
    prompt.txtSaveTo.setText("");
    prompt.cmdBeginDown_Click();
    prompt.cmdDownLater_Click();
    EXPECT_TRUE(prompt.Visible());
    EXPECT_EQ(form.lstMain.count(), 0);
    prompts.answerText(folder + "/other.bin");
    prompt.cmdChange_Click();
    EXPECT_EQ(prompts.last().title, "Save file to...");
    EXPECT_EQ(prompt.txtSaveTo.Text(), folder + "/other.bin");
    EXPECT_EQ(SettingsStore::instance().LastSavePath, folder + "/y.bin");
    prompt.cmdDownLater_Click();
    EXPECT_FALSE(prompt.Visible());
    ASSERT_EQ(form.lstMain.count(), 1);
    EXPECT_EQ(form.lstMain.at(0)->cell(DownloadRow::Filename), folder + "/other.bin");
    EXPECT_EQ(form.lstMain.at(0)->cell(DownloadRow::Status), "Not Downloaded");

    // Cancel drops the address.
    prompts.answerText(folder + "/z.bin");
    form.URLForm.DownLoadURL("http://host/z.bin");
    prompt.cmdCancel_Click();
    EXPECT_FALSE(prompt.Visible());
    EXPECT_EQ(form.lstMain.count(), 1);
}

TEST_F(MainWindow, RefusedAddressesAreQueuedAndMarked)
{
    load();
    SettingsStore& s = SettingsStore::instance();
    s.record.MonitorServer = "blocked.example ; *shop.example";
    s.record.LimitHTTP = "1";

    // Blocked server and blocked type: the message stands in the file-name cell, "0 %" in the
    // percent, and the status bar says why the address did not start.
    const struct {
        const char* address;
        const char* cell;
        const char* why;
    } refused[] = {
        {"http://blocked.example/a.zip", "You block this server", "19390"},
        {"http://www.shop.example/a.zip", "You block this server", "19390"},
        {"http://host/a.txt", "You block this extension", "19391"},
    };
    for (const auto& r : refused) {
        form.lstMain_OLEDragDrop(r.address);
        EXPECT_EQ(form.lstMain.rows().last()->cell(DownloadRow::Filename), r.cell);
        EXPECT_EQ(form.StatusBar.PanelText(1), GetLangString(r.why, "?") + u' ' + r.address);
    }
    ASSERT_EQ(form.lstMain.count(), 3);
    // History.ini keeps the reason as it has always been written, so older copies read it back.
    EXPECT_EQ(queueRowCells(entryOf(*form.lstMain.at(2))).value(DownloadRow::Filename), "You block this Extenison");
    for (ListRow* row : form.lstMain.rows()) {
        EXPECT_EQ(row->cell(DownloadRow::Percent), "0 %");
        EXPECT_EQ(row->cell(DownloadRow::Status), "Not Downloaded");
    }
    EXPECT_FALSE(form.FirstPromptShown);  // refusals do not count as the first prompt
    EXPECT_EQ(prompts.records().size(), 0);

    // The limit counts only downloads running or paused: with 0, one of them queues the next
    // address from their server silently; a row of any other kind lets it start.
    s.record.LimitHTTP = "0";
    DownloadWindows& w = form.windows;
    const auto start = [&](const char* name) { return w.DownloadNow(server.url(name), folder + '/' + name, -1); };
    server.script("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    const struct {
        const char* kind;
        std::function<void()> make;
        bool counts;
    } cases[] = {
        {"refused", [&] { start("a.bin"); ASSERT_TRUE(waitUntil([&] { return w.runningCount() == 0; })); }, false},
        {"blocked", [&] { w.DownloadBlocked(server.url("c.txt"), "You block this Extenison"); }, false},
        {"reloaded", [&] { test::setRowText(*w.DownloadLater(server.url("e.bin"), "/e"), DownloadRow::Percent, "40%"); }, false},
        {"running", [&] { server.stall = true; start("f.bin"); }, true},
        {"paused", [&] { start("g.bin")->Pause_Resume(); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        form.lstMain.Clear();
        c.make();
        if (!c.counts)
            prompts.answerText(std::nullopt);  // it starts: the download prompt asks where to save it
        const int rows = form.lstMain.count();
        form.URLForm.DownLoadURL(server.url("new.bin"));
        ASSERT_EQ(form.lstMain.count(), rows + (c.counts ? 1 : 0));
        if (c.counts) {  // queued silently
            EXPECT_EQ(form.lstMain.at(rows)->cells().mid(1, 2), QStringList({folder + "/new.bin", "0%"}));
        }
        EXPECT_EQ(prompts.pendingAnswers(), 0u);
    }
}
