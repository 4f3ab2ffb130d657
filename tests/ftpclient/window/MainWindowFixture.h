#pragma once

// The common ground of the FTP client's main-window tests: a started window with scripted prompts,
// a recording desktop shell, the real pyftpdlib server over a folder of its own, and a local folder.

#include "common/platform/AppFolder.h"
#include "common/platform/CRegister.h"
#include "common/prompts/ScriptedPrompts.h"
#include "ftpclient/window/FileShell.h"
#include "ftpclient/config/ClientSettings.h"
#include "ftpclient/window/TessalyExist.h"
#include "ftpclient/window/TessalyMain.h"
#include "tests/support/PyFtpServer.h"
#include "tests/support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <array>
#include <memory>

namespace harbel::test {

using namespace harbel::tessaly;


inline void setReg(const QString& name, const QString& value)
{
    cRegister().REGSaveSetting(HKEY_LOCAL_MACHINE, kSettingsKey, name, value);
}

class RecordingShell final : public FileShell {
public:
    bool openDocument(const QString& path, const QString&) override { return record("open " + path); }
    bool showProperties(const QString& path) override { return record("properties " + path); }
    bool findFiles() override { return record("find"); }
    bool startProgram(const QString& program, const QStringList&) override { return record("start " + program); }
    bool moveToTrash(const QString& path, QString*) override
    {
        record("trash " + path);
        return QFile::remove(path);
    }
    bool emptyTrash(QString*) override { return record("empty trash"); }
    QStringList calls;

private:
    bool record(const QString& call)
    {
        calls << call;
        return true;
    }
};

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        Prompts::setInstance(&prompts);
        prompts.setUnexpectedHandler([](const QString& what) { ADD_FAILURE() << what.toStdString(); });
        FileShell::setInstance(&shell);
        root = testFolder() + "/server";
        local = testFolder() + "/local/";
        QDir().mkpath(root);
        QDir().mkpath(local);
        // The window's tests follow the transfers in one connection's log, in order; the queue's
        // own tests and the queue panel's run several connections.
        setReg("TRANSFER CONNECTIONS", "1");
    }
    void TearDown() override
    {
        form.reset();
        Prompts::setInstance(nullptr);
        FileShell::setInstance(nullptr);
        EXPECT_EQ(prompts.pendingAnswers(), 0u);
    }

    void load()
    {
        form = std::make_unique<frmMain>();
        ASSERT_TRUE(form->Form_Load());
    }

    void startServer(PyFtpServer::Options options = {})
    {
        options.password = "";
        server = std::make_unique<PyFtpServer>(root, options);
        ASSERT_TRUE(server->start()) << server->error().toStdString();
    }

    void quickConnect()
    {
        form->txtQaddress.setText("127.0.0.1");
        form->txtQport.setText(QString::number(server->port()));
        form->txtQuser.setText("tess");
        form->txtQpassword.setText("");
        form->cmdQConnect_Click();
        ASSERT_EQ(form->xFtp.State(), 2) << form->lblStatus.Caption().toStdString();
    }

    void connectLocal()
    {
        startServer();
        load();
        form->sLocalPath = local;
        quickConnect();
    }

    QStringList rows(const ListView& list) const
    {
        QStringList out;
        for (const ListRow* row : list.rows())
            out << row->Text() + "|" + row->cell(3);
        out.sort();  // in the server's order, which is not ours to fix
        return out;
    }

    static ListRow* rowNamed(const ListView& list, const QString& name)
    {
        for (ListRow* row : list.rows())
            if (row->Text() == name)
                return row;
        return nullptr;
    }
    static void selectNamed(ListView& list, const QStringList& names)
    {
        for (ListRow* row : list.rows())
            row->setSelected(names.contains(row->Text()));
    }

    // Queues an answer to the clash question: a FileClash::Answer (none: closed unanswered), with
    // "Apply To All" set or as the question came; its texts go to shown.
    void answerExist(std::optional<int> button, std::optional<bool> all = std::nullopt, QStringList* shown = nullptr)
    {
        prompts.answerForm([=](Form& f) {
            auto& q = static_cast<frmExist&>(f);
            if (shown)
                *shown << q.lblWarning.Caption() + " / " + q.lblDestination.Caption() + " / " + q.lblSource.Caption() + (q.chkAll.Value() ? " [all]" : "");
            q.chkAll.setValue(all.value_or(q.chkAll.Value()) ? 1 : 0);
            if (button)  // the buttons in the order of their answers, 0 to -3
                (q.*std::array{&frmExist::cmdOverwrite_Click, &frmExist::cmdResume_Click, &frmExist::cmdCancel_Click, &frmExist::cmdSkip_Click}[-*button])();
        });
    }

    // Waits until the transfer queue has moved all it was given and the window has taken in its
    // end (the lists, the status line).
    void waitQueue()
    {
        ASSERT_TRUE(waitUntil([this] { return form->transferQueue().isIdle(); }, 60000));
        QCoreApplication::processEvents();
    }

    QString logText() const { return QString::fromUtf8(readFile(form->logFilePath())); }

    ScriptedPrompts prompts;
    RecordingShell shell;
    QString root;
    QString local;
    std::unique_ptr<PyFtpServer> server;
    std::unique_ptr<frmMain> form;
};


}  // namespace harbel::test
