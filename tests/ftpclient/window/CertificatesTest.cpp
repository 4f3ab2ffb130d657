// FTP over TLS in the main window and the site dialog: certificates that fail verification are
// asked about (trusted once, always, or refused), a changed certificate is a warning, and the TLS
// choice of a site is kept in its profile. The real pyftpdlib TLS server with a private authority.

#include "common/net/TlsTrust.h"
#include "common/platform/IniFile.h"
#include "ftpclient/component/IniCertificateTrust.h"
#include "ftpclient/config/frmConnectionInfo.h"
#include "tests/ftpclient/window/MainWindowFixture.h"
#include "tests/support/TestAuthority.h"

#include <QSslCertificate>

namespace harbel::test {

class Certificates : public MainWindow {
protected:
    void SetUp() override
    {
        MainWindow::SetUp();
        authority = std::make_unique<TestAuthority>(testFolder() + "/ca");
        ASSERT_TRUE(authority->create()) << authority->why().toStdString();
    }
    void TearDown() override
    {
        tls::clearAddedAuthorities();
        MainWindow::TearDown();
    }

    // A TLS server with a certificate of the private authority (which nothing trusts yet).
    void startTlsServer(const QString& name, quint16 port = 0)
    {
        const TestAuthority::Issued issued = authority->issue(name, {"127.0.0.1"});
        ASSERT_FALSE(issued.certificate.isEmpty()) << authority->why().toStdString();
        fingerprint = tls::fingerprint(QSslCertificate::fromPath(issued.certificate).value(0));
        PyFtpServer::Options options;
        options.tlsCertificate = issued.certificate;
        options.tlsKey = issued.key;
        options.port = port;
        startServer(options);
    }

    void connectTls()
    {
        form->txtQaddress.setText("127.0.0.1");
        form->txtQport.setText(QString::number(server->port()));
        form->txtQuser.setText("tess");
        form->txtQpassword.setText("");
        form->chkQTls.setValue(1);
        form->cmdQConnect_Click();
    }

    QString trusted() const { return IniCertificateTrust(AppFolder::file("TrustedCertificates.ini")).fingerprintFor("127.0.0.1", server->port()); }
    QString serverName() const { return "127.0.0.1:" + QString::number(server->port()); }

    std::unique_ptr<TestAuthority> authority;
    QString fingerprint;
};

TEST_F(Certificates, AnUnverifiedCertificateIsShownAndTrustedOnceAlwaysOrRefused)
{
    writeFile(root + "/hello.txt", "hi");
    startTlsServer("server");
    load();

    // Refused: Cancel, the answer a dismissed box gives too.
    prompts.answer(MsgAnswer::Cancel);
    connectTls();
    EXPECT_EQ(form->xFtp.State(), 0);
    EXPECT_EQ(form->lblStatus.Caption(), "Could not connect to 127.0.0.1");
    const ScriptedPrompts::Record asked = prompts.last();
    EXPECT_EQ(asked.kind, ScriptedPrompts::Kind::MsgBox);
    EXPECT_EQ(asked.buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(asked.icon, MsgIcon::Question);
    EXPECT_EQ(asked.title, kQuery);
    for (const QString& part : {"The certificate of " + serverName() + " could not be verified: the certificate is not trusted.",
                                QString("Subject: CN=127.0.0.1"), QString("Issuer: CN=Harbel Test Authority"),
                                "SHA-256 fingerprint: " + fingerprint, QString("Valid from "), QString("Yes: trust it always"),
                                QString("No: trust it this time only"), QString("Cancel: do not connect")})
        EXPECT_TRUE(asked.text.contains(part)) << part.toStdString() << "\n" << asked.text.toStdString();
    EXPECT_TRUE(logText().contains("The certificate of 127.0.0.1 was refused: the certificate is not trusted."))
        << logText().toStdString();
    EXPECT_FALSE(logText().contains("USER tess"));

    // This time only: the session works, its data connections included, and nothing is kept.
    prompts.answer(MsgAnswer::No);
    connectTls();
    ASSERT_EQ(form->xFtp.State(), 2) << form->lblStatus.Caption().toStdString();
    EXPECT_TRUE(form->xFtp.Encrypted());
    EXPECT_NE(rowNamed(form->lstRemoteFileList, "hello.txt"), nullptr);
    EXPECT_TRUE(trusted().isEmpty());
    form->CloseSession();

    // Always: kept beside the profiles, and the next connect asks nothing.
    prompts.answer(MsgAnswer::Yes);
    connectTls();
    ASSERT_EQ(form->xFtp.State(), 2);
    EXPECT_EQ(trusted(), fingerprint);
    EXPECT_EQ(IniFile(AppFolder::file("TrustedCertificates.ini")).value("Trusted", serverName()), fingerprint);
    form->CloseSession();
    const qsizetype questions = prompts.records().size();
    connectTls();
    ASSERT_EQ(form->xFtp.State(), 2);
    EXPECT_EQ(prompts.records().size(), questions);
    EXPECT_TRUE(logText().contains("is one you chose to trust always"));
    form->CloseSession();
}

TEST_F(Certificates, AChangedCertificateIsAWarningWithBothFingerprintsAndAValidOneNeedsNoQuestion)
{
    startTlsServer("first");
    load();
    prompts.answer(MsgAnswer::Yes);
    connectTls();
    ASSERT_EQ(form->xFtp.State(), 2);
    form->CloseSession();
    const QString before = fingerprint;
    const quint16 port = server->port();
    server.reset();

    // The same server name and port with another certificate.
    startTlsServer("second", port);
    ASSERT_NE(fingerprint, before);
    prompts.answer(MsgAnswer::Cancel);
    connectTls();
    EXPECT_EQ(form->xFtp.State(), 0);
    const ScriptedPrompts::Record warned = prompts.last();
    EXPECT_EQ(warned.icon, MsgIcon::Exclamation);
    EXPECT_TRUE(warned.text.startsWith("WARNING: the certificate of " + serverName() + " has CHANGED since you chose to trust it."))
        << warned.text.toStdString();
    EXPECT_TRUE(warned.text.contains("Trusted before: " + before));
    EXPECT_TRUE(warned.text.contains("Presented now: " + fingerprint));
    EXPECT_EQ(trusted(), before);  // refusing keeps the old one
    EXPECT_TRUE(logText().contains("WARNING: the certificate of 127.0.0.1 has changed"));

    // Once the authority is trusted, the certificate is valid: no question, whatever was kept.
    QString why;
    ASSERT_TRUE(tls::addTrustedAuthorities(authority->certificateFile(), &why)) << why.toStdString();
    const qsizetype questions = prompts.records().size();
    connectTls();
    EXPECT_EQ(form->xFtp.State(), 2) << form->lblStatus.Caption().toStdString();
    EXPECT_EQ(prompts.records().size(), questions);
    form->CloseSession();
}

TEST_F(Certificates, TheSiteDialogKeepsTheTlsChoiceInTheProfileAndConnectsWithIt)
{
    QString why;
    ASSERT_TRUE(tls::addTrustedAuthorities(authority->certificateFile(), &why)) << why.toStdString();
    startTlsServer("server");
    writeFile(root + "/hello.txt", "hi");
    load();
    const QString port = QString::number(server->port());
    // A profile written before the choice existed has no "TLS" key: it reads as off.
    QDir().mkpath(frmConnectionInfo::privateFolder());
    writeFile(frmConnectionInfo::privateFolder() + "/Old.Profile", "[PROFILE]\nsname=Old\nadresa=127.0.0.1\nPassive=1\nport=21\n");

    prompts.answerForm([&](Form& f) {
        auto& d = static_cast<frmConnectionInfo&>(f);
        d.TabProfiles.setSelectedIndex(1);
        d.TabProfiles_Click();
        d.tvlPrivate_NodeClick(1);  // Old.Profile
        EXPECT_EQ(d.txtHost.Text(), "127.0.0.1");
        EXPECT_EQ(d.chkTls.Value(), 0);
        d.cmdNewSite_Click();
        d.txtProfileName.setText("Secure");
        d.txtHost.setText("127.0.0.1");
        d.txtUserName.setText("tess");
        d.txtPort.setText(port);
        d.chkTls.setValue(1);
        d.cmdSaveSite_Click();
        d.cmdCancel_Click();
    });
    form->ConnectToSite();
    EXPECT_EQ(IniFile(frmConnectionInfo::privateFolder() + "/Secure.Profile").value("PROFILE", "TLS"), "1");

    prompts.answerForm([&](Form& f) {
        auto& d = static_cast<frmConnectionInfo&>(f);
        EXPECT_EQ(d.chkTls.Value(), 0);  // the main window's last choice
        d.TabProfiles.setSelectedIndex(1);
        d.TabProfiles_Click();
        d.tvlPrivate_NodeClick(2);  // Secure.Profile
        EXPECT_EQ(d.chkTls.Value(), 1);
        d.cmdConnect_Click();
    });
    form->ConnectToSite();
    ASSERT_EQ(form->xFtp.State(), 2) << form->lblStatus.Caption().toStdString();
    EXPECT_TRUE(form->xFtp.UseTls);
    EXPECT_TRUE(form->xFtp.Encrypted());
    EXPECT_EQ(form->chkQTls.Value(), 1);  // Quick Connect shows the site's choice, as its other fields
    EXPECT_NE(rowNamed(form->lstRemoteFileList, "hello.txt"), nullptr);
    form->CloseSession();
}

}  // namespace harbel::test

namespace harbel::test {

TEST_F(Certificates, ASessionLeavesFilesAndFoldersOnlyItsUserCanRead)
{
    startTlsServer("server");
    load();
    prompts.answer(MsgAnswer::Yes);  // trusted always: the fingerprint is kept
    connectTls();
    ASSERT_EQ(form->xFtp.State(), 2) << form->lblStatus.Caption().toStdString();
    form->CloseSession();
    prompts.answerForm([&](Form& f) {
        auto& d = static_cast<frmConnectionInfo&>(f);
        d.cmdNewSite_Click();
        d.txtProfileName.setText("Mine");
        d.txtHost.setText("127.0.0.1");
        d.txtUserName.setText("tess");
        d.cmdSaveSite_Click();
        d.cmdCancel_Click();
    });
    form->ConnectToSite();
    form.reset();
    ASSERT_TRUE(QFileInfo::exists(frmConnectionInfo::privateFolder() + "/Mine.Profile"));
    ASSERT_TRUE(QFileInfo::exists(AppFolder::file("TrustedCertificates.ini")));
    EXPECT_EQ(notPrivate({AppFolder::path(), qEnvironmentVariable("HARBEL_REGISTRY")}), QStringList());
}

}  // namespace harbel::test
