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

namespace {

QStringList historyLines()
{
    QString text = QString::fromUtf8(readFile(History::path()));
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        CRegister().REGSaveSetting(HKEY_LOCAL_MACHINE, QString::fromLatin1(kSettingsKey), "PromptDone", "0");
        prompts.setUnexpectedHandler([](const QString& why) { ADD_FAILURE() << "unexpected prompt: " << why.toStdString(); });
        Prompts::setInstance(&prompts);
        Clipboard::setInstance(&clipboard);
        folder = test::testFolder() + "/dl";
        QDir().mkpath(folder);
        server.content = QByteArray("harbel-").repeated(300);
    }
    void TearDown() override
    {
        Clipboard::setInstance(nullptr);
        Prompts::setInstance(nullptr);
    }

    // Start-up, then the options a test needs.
    void load()
    {
        form.Form_Load();
        SettingsStore& s = SettingsStore::instance();
        s.LastSavePath = folder + "/last.bin";
        s.record.MonitorTypes = ".BIN; .ZIP;";
    }

    ScriptedPrompts prompts;
    MemoryClipboard clipboard;
    ScriptedHttpServer server;
    QString folder;
    frmMain form;
};

}  // namespace

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

TEST_F(MainWindow, TheEnterUrlDialogOffersBothListsAndTheClipboard)
{
    load();
    form.windows.DownloadLater("http://h/q.zip", folder + "/q.zip");
    test::setRowText(*form.lstComplete.Add({}, 4), DownloadRow::URL, "http://h/c.zip");
    form.windows.DownloadLater("http://h/q.zip", folder + "/q.zip");

    clipboard.setText("  see http://h/clip.zip  ");
    SettingsStore::instance().record.ClipboardMonitoring = false;
    form.URLForm.Form_Load();
    EXPECT_EQ(form.URLForm.urlHistory, QStringList({"http://h/q.zip", "http://h/q.zip", "http://h/c.zip"}));
    EXPECT_EQ(form.URLForm.txtURL.Text(), "");
    SettingsStore::instance().record.ClipboardMonitoring = true;
    form.URLForm.Form_Load();
    EXPECT_EQ(form.URLForm.txtURL.Text(), "see http://h/clip.zip");
    clipboard.setText("HTTP://h/upper.zip");
    form.URLForm.Form_Load();
    EXPECT_EQ(form.URLForm.txtURL.Text(), "");

    // A refused address keeps the dialog open with its text.
    prompts.answerForm([](Form& f) {
        auto& dialog = static_cast<frmURL&>(f);
        dialog.txtURL.setText("http://");
        dialog.cmdOk_Click();
        EXPECT_TRUE(dialog.Visible());
        EXPECT_EQ(dialog.txtURL.Text(), "http://");
    });
    prompts.answer(MsgAnswer::Ok);
    form.Flash_FSCommand("IDC_FS_AddURL");
    EXPECT_EQ(prompts.records().at(0).text, "frmURL");
    EXPECT_EQ(prompts.records().at(1).text, "Invalid URL");
}

TEST_F(MainWindow, ListCommandsAndTheRedownloadWalks)
{
    load();
    for (const char* name : {"a", "b", "c", "d"})
        form.windows.DownloadLater(QStringLiteral("http://h/%1.zip").arg(name), folder + "/" + name);
    ListView& q = form.lstMain;
    q.at(1)->setSelected(true);
    q.at(3)->setSelected(true);
    q.setSelectedItem(q.at(3));
    form.removeselection_qmnu_Click();
    ASSERT_EQ(q.count(), 2);
    EXPECT_EQ(q.at(0)->cell(DownloadRow::Filename), folder + "/a");
    EXPECT_EQ(q.at(1)->cell(DownloadRow::Filename), folder + "/c");

    form.selectall_qmnu_Click();
    EXPECT_EQ(q.selectedRows().size(), 2);
    form.deselectall_qmnu_Click();
    EXPECT_FALSE(q.anySelected());

    form.lstMain_ColumnClick(1);
    EXPECT_EQ(q.at(0)->cell(DownloadRow::Filename), folder + "/c");
    form.lstMain_ColumnClick(6);
    EXPECT_EQ(q.at(0)->cell(DownloadRow::Filename), folder + "/a");

    // The address a row restarts with.
    EXPECT_EQ(DownloadWindows::reDownloadAddress("mirror: HTTP://h/x.zip"), "HTTP://h/x.zip");
    EXPECT_EQ(DownloadWindows::reDownloadAddress("via http://p/ftp://h/x.zip"), "ftp://h/x.zip");
    EXPECT_EQ(DownloadWindows::reDownloadAddress("nothing"), "nothing");
    EXPECT_EQ(DownloadWindows::reDownloadAddress("mirror: Https://h/x.zip"), "Https://h/x.zip");
    EXPECT_EQ(DownloadWindows::reDownloadAddress("via https://p/ftps://h/x.zip"), "ftps://h/x.zip");
    EXPECT_EQ(DownloadWindows::reDownloadAddress("SFTP://me@h/srv/x.zip"), "SFTP://me@h/srv/x.zip");

    // Completed rows start again as new queue rows and stay where they are.
    form.clear_qmnu_Click();
    EXPECT_EQ(q.count(), 0);
    ListRow* done = form.lstComplete.Add({}, 4);
    test::setRowText(*done, DownloadRow::Filename, folder + "/again.bin");
    test::setRowText(*done, DownloadRow::URL, "got it from " + server.url("again.bin"));
    done->setSelected(true);
    form.lstComplete.setSelectedItem(done);
    form.mnuComPopRedown_Click();
    ASSERT_TRUE(waitUntil([&] { return form.lstComplete.count() == 2; }));
    EXPECT_EQ(readFile(folder + "/again.bin"), server.content);

    // The queue walk restarts a row in place, in the window of its position.
    ListRow* row = form.windows.DownloadLater(server.url("row.bin"), folder + "/row.bin");
    row->setSelected(true);
    q.setSelectedItem(row);
    form.mnuReDownload_Click();
    EXPECT_EQ(form.windows.existing(0)->lstItem, row);
    ASSERT_TRUE(waitUntil([&] { return q.count() == 0; }));
    EXPECT_EQ(readFile(folder + "/row.bin"), server.content);

    form.lstComplete.at(0)->setSelected(true);
    form.mnuComPopRemoveSel_Click();
    EXPECT_EQ(form.lstComplete.count(), 2);
    form.mnuComPopRemoveAll_Click();
    EXPECT_EQ(form.lstComplete.count(), 0);
}

TEST_F(MainWindow, AnExistingFileIsSettledByTheScheduleOrByTheQuestion)
{
    load();
    server.stall = true;
    writeFile(folder + "/have.bin", "old");
    form.windows.UseScheduleExistsAction = true;
    const struct { int schedule; qint16 action; } cases[] = {{1, 0}, {2, -1}, {3, -2}};
    for (const auto& c : cases) {
        writeFile(folder + "/have.bin", "old");  // an overwrite before removed it
        form.windows.ScheduleExistsAction = c.schedule;
        form.windows.DownloadNow(server.url("have.bin"), folder + "/have.bin", -1);
        EXPECT_EQ(SettingsStore::instance().FileExistsAction, c.action);
    }
    form.windows.UseScheduleExistsAction = false;
    writeFile(folder + "/have.bin", "old");
    prompts.answerForm([](Form& f) { static_cast<frmExist&>(f).cmdResume_Click(); });
    form.windows.DownloadNow(server.url("have.bin"), folder + "/have.bin", -1);
    EXPECT_EQ(prompts.last().text, "frmExist");
    EXPECT_EQ(SettingsStore::instance().FileExistsAction, -1);
    form.windows.closeAll();

    // Closed with Esc or the window's close button: that is Cancel, and the file stays as it was.
    writeFile(folder + "/kept.bin", "mine");
    const qsizetype requests = server.requests().size();
    prompts.answerForm([](Form&) {});
    frmDownload* job = form.windows.DownloadNow(server.url("kept.bin"), folder + "/kept.bin", -1);
    EXPECT_EQ(SettingsStore::instance().FileExistsAction, -2);
    test::runFor(100);
    EXPECT_TRUE(!job || !job->Visible());
    EXPECT_EQ(server.requests().size(), requests);
    EXPECT_EQ(readFile(folder + "/kept.bin"), "mine");
}

TEST_F(MainWindow, ANewDownloadNeverStopsARunningOne)
{
    load();
    server.stall = true;
    DownloadWindows& w = form.windows;
    frmDownload* a = w.DownloadNow(server.url("a.bin"), folder + "/a.bin", -1);
    frmDownload* b = w.DownloadNow(server.url("b.bin"), folder + "/b.bin", -1);
    ASSERT_TRUE(server.waitForRequests(2));
    ListRow* rowB = form.lstMain.at(1);
    // The first row leaves the queue while both still run (as a finished row does): the queue's
    // length now names the second download's slot.
    form.lstMain.Remove(1);
    frmDownload* c = w.DownloadNow(server.url("c.bin"), folder + "/c.bin", -1);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c, a);
    EXPECT_NE(c, b);
    EXPECT_TRUE(w.isBusy(1));
    EXPECT_EQ(b->lstItem, rowB);
    EXPECT_EQ(form.lstMain.count(), 2);

    // Restarting a row takes its own window, not the one its position names.
    EXPECT_EQ(w.ReDownloadRow(server.url("b.bin"), folder + "/b.bin", rowB->Index(), rowB), b);
    EXPECT_TRUE(w.isBusy(0));
    w.closeAll();
}

TEST_F(MainWindow, AFullQueueRefusesTheStartWithAMessage)
{
    load();
    for (int i = 0; i < DownloadWindows::kSlots; ++i)
        form.windows.DownloadLater("http://h/q.zip", folder + "/q.zip");
    prompts.answer(MsgAnswer::Ok);
    EXPECT_EQ(form.windows.DownloadNow(server.url("f.bin"), folder + "/f.bin", -1), nullptr);
    EXPECT_TRUE(prompts.last().text.startsWith("No download window is free"));
    EXPECT_EQ(form.lstMain.count(), DownloadWindows::kSlots);
    EXPECT_EQ(server.connections(), 0);
}

TEST_F(MainWindow, EveryListChangeIsSavedWithinASecond)
{
    load();
    form.today = [] { return QDate(2027, 3, 5); };
    EXPECT_FALSE(QFile::exists(History::path()));
    form.windows.DownloadLater("http://h/a.zip", folder + "/a.zip");
    form.windows.DownloadLater("http://h/b.zip", folder + "/b.zip");
    EXPECT_TRUE(form.historySavePending());
    EXPECT_FALSE(QFile::exists(History::path()));  // coalesced: one write for both rows
    form.tmrSaveHistory_Timer();
    EXPECT_FALSE(form.historySavePending());
    QStringList lines = historyLines();
    ASSERT_EQ(lines.size(), 16);
    EXPECT_EQ(lines[5], "http://h/a.zip");
    EXPECT_EQ(lines[6], QLocale::system().toString(QDate(2027, 3, 5), QLocale::ShortFormat));
    EXPECT_EQ(lines[14], "Complete List");

    // A cell change alone is no reason to write; a removal is.
    form.lstMain.at(0)->setCell(DownloadRow::Status, "x");
    EXPECT_FALSE(form.historySavePending());
    form.lstMain.Remove(1);
    EXPECT_TRUE(form.historySavePending());
    form.tmrSaveHistory_Timer();
    EXPECT_EQ(historyLines().size(), 9);
    form.clear_qmnu_Click();
    form.tmrSaveHistory_Timer();
    EXPECT_FALSE(QFile::exists(History::path()));
}

TEST_F(MainWindow, ShutdownSavesRunningRowsBeforeTheirWindowsClose)
{
    load();
    server.stall = true;
    QList<frmDownload*> jobs;
    for (int i = 0; i < 3; ++i)
        jobs << form.windows.DownloadNow(server.url(QStringLiteral("run%1.bin").arg(i)),
                                         folder + QStringLiteral("/run%1.bin").arg(i), -1);
    ASSERT_TRUE(server.waitForRequests(3));
    for (int i = 0; i < 3; ++i)
        test::setRowText(*form.lstMain.at(i), DownloadRow::Percent, QStringLiteral("%1%").arg(10 * (i + 1)));
    QList<QStringList> shown;
    for (ListRow* row : form.lstMain.rows())
        shown << row->cells().mid(1, 6);

    bool quit = false;
    QObject::connect(&form, &frmMain::quitRequested, [&] { quit = true; });
    prompts.answer(MsgAnswer::Ok);  // downloads are running: the user is asked first
    form.Flash_FSCommand("IDC_FS_close");
    EXPECT_TRUE(quit);
    EXPECT_FALSE(form.Tray1.IsVisible());
    for (frmDownload* job : jobs)
        EXPECT_FALSE(job->Visible());

    // They end paused, and their rows are written so.
    const QStringList lines = historyLines();
    ASSERT_EQ(lines.size(), 3 * 7 + 2);
    for (int i = 0; i < 3; ++i) {
        shown[i][DownloadRow::Status - 1] = "Paused/Stopped";
        EXPECT_EQ(lines.mid(i * 7, 6), shown[i]) << i;
    }
    // The history of the next start shows the same rows.
    frmMain next;
    next.Form_Load();
    ASSERT_EQ(next.lstMain.count(), 3);
    EXPECT_EQ(next.lstMain.at(2)->cell(DownloadRow::Percent), "30%");
}

TEST_F(MainWindow, FilesThatCannotBeReadAreToldAndNeverOverwritten)
{
    QDir().mkpath(History::path());
    QDir().mkpath(SettingsStore::settingsIniPath());
    prompts.answer(MsgAnswer::Ok);
    prompts.answer(MsgAnswer::Ok);
    load();
    ASSERT_EQ(prompts.records().size(), 2);
    EXPECT_TRUE(prompts.records()[0].text.contains("Settings.ini")) << prompts.records()[0].text.toStdString();
    EXPECT_TRUE(prompts.records()[1].text.contains("History.ini")) << prompts.records()[1].text.toStdString();
    EXPECT_TRUE(form.historyUnreadable());

    // Running as root every file reads, so a file put there after the start stands for one of the
    // user's files this run could not read: neither the lists nor the last folder replace it.
    QDir(History::path()).removeRecursively();
    QDir(SettingsStore::settingsIniPath()).removeRecursively();
    writeFile(History::path(), "the user's queue\r\n");
    writeFile(SettingsStore::settingsIniPath(), "the user's folders\r\n");
    form.windows.DownloadLater("http://h/a.zip", folder + "/a.zip");
    EXPECT_FALSE(SettingsStore::instance().SaveToINI());
    form.tmrSaveHistory_Timer();
    EXPECT_EQ(readFile(History::path()), "the user's queue\r\n");
    EXPECT_EQ(readFile(SettingsStore::settingsIniPath()), "the user's folders\r\n");
    EXPECT_TRUE(form.StatusBar.PanelText(1).contains("History.ini")) << form.StatusBar.PanelText(1).toStdString();

    // Once the user moves it away, the lists are saved again.
    QFile::remove(History::path());
    form.tmrSaveHistory_Timer();
    EXPECT_FALSE(form.historyUnreadable());
    EXPECT_EQ(historyLines().value(5), "http://h/a.zip");
    QFile::remove(SettingsStore::settingsIniPath());
    SettingsStore::instance().LoadfromINI();
}

TEST_F(MainWindow, AHistoryThatCannotBeWrittenIsToldAndKeptInTheLists)
{
    load();
    form.windows.DownloadLater("http://h/a.zip", folder + "/a.zip");
    QDir().mkpath(History::path() + "/inside");  // nothing can replace a folder that holds a file
    form.tmrSaveHistory_Timer();
    EXPECT_TRUE(form.StatusBar.PanelText(1).contains("History.ini")) << form.StatusBar.PanelText(1).toStdString();
    EXPECT_EQ(form.lstMain.count(), 1);

    // At exit the lists would be lost: the user is told.
    prompts.answer(MsgAnswer::Ok);
    form.Flash_FSCommand("IDC_FS_close");
    ASSERT_EQ(prompts.records().size(), 1);
    EXPECT_EQ(prompts.last().icon, MsgIcon::Exclamation);
    EXPECT_TRUE(prompts.last().text.contains("History.ini")) << prompts.last().text.toStdString();
}

TEST_F(MainWindow, ToolbarCommands)
{
    load();
    form.Flash_FSCommand("IDC_FS_HideB");
    EXPECT_FALSE(form.lstMain.Visible());
    form.Flash_FSCommand("IDC_FS_closeAbout");
    EXPECT_TRUE(form.lstMain.Visible());
    form.Flash_FSCommand("IDC_FS_HideC");
    prompts.answer(MsgAnswer::Ok);
    form.Flash_FSCommand("IDC_FS_openAbout");
    EXPECT_EQ(prompts.last().title, "About Pellanor");
    EXPECT_TRUE(form.lstMain.Visible());
    EXPECT_FALSE(form.lstComplete.Visible());
    form.Flash_FSCommand("IDC_FS_ShowB");
    form.Flash_FSCommand("IDC_FS_ShowC");
    EXPECT_TRUE(form.lstComplete.Visible());

    form.Show();
    form.Flash_FSCommand("IDC_FS_tray");
    EXPECT_FALSE(form.Visible());
    form.Tray1.MouseMessage(WM_LBUTTONDOWN);
    EXPECT_TRUE(waitUntil([&] { return form.Visible(); }));
    form.Flash_FSCommand("IDC_FS_minimize");
    EXPECT_EQ(form.WindowState(), 1);

    prompts.answerForm([](Form& f) { static_cast<frmSettings&>(f).cmdCancel_Click(); });
    form.Flash_FSCommand("IDC_FS_Settings");
    EXPECT_EQ(prompts.last().text, "frmSettings");
    const QString status = form.StatusBar.PanelText(1);
    form.Flash_FSCommand("IDC_FS_NoSuchThing");
    EXPECT_EQ(form.StatusBar.PanelText(1), status);

    form.tmrGraph_Timer();
    EXPECT_EQ(form.StatusBar.PanelText(0), "Total Transfer Rate: 0 B/s");

    // Connected shows the last report of any window.
    form.windows.window(3);
    emit form.windows.existing(3)->connectingChanged(true);
    EXPECT_EQ(form.Flash.GetVariable("_root.Connected"), "1");
    emit form.windows.existing(3)->connectingChanged(false);
    EXPECT_EQ(form.Flash.GetVariable("_root.Connected"), "0");
}

TEST(FolderChooser, OkTakesThePathCancelKeepsTheOldOneAndNewFoldersStayInside)
{
    ScriptedPrompts prompts;
    Prompts::setInstance(&prompts);
    const QString base = test::testFolder() + "/pick";
    QDir().mkpath(base);
    frmDir chooser;
    EXPECT_EQ(chooser.Caption(), "Select Directory");
    chooser.strDirPath = "/before";
    chooser.setPath(base);
    chooser.Show();
    chooser.cmdCancel_Click();
    EXPECT_EQ(chooser.strDirPath, "/before");

    EXPECT_TRUE(chooser.cmdNewFolder_Click("Music"));
    EXPECT_TRUE(QFileInfo(base + "/Music").isDir());
    EXPECT_EQ(chooser.txtPath.Text(), base + "/Music");
    for (const char* bad : {"..", "a/b", ""}) {
        prompts.answer(MsgAnswer::Ok);
        EXPECT_FALSE(chooser.cmdNewFolder_Click(bad)) << bad;
    }
    EXPECT_EQ(chooser.txtPath.Text(), base + "/Music");
    chooser.cmdOk_Click();
    EXPECT_EQ(chooser.strDirPath, base + "/Music");
    EXPECT_FALSE(chooser.Visible());
    Prompts::setInstance(nullptr);
}
