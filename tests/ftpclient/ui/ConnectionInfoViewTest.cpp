// The site dialog's window draws the profile trees and the values, and hands clicks to the form.
#include "common/prompts/ScriptedPrompts.h"
#include "ftpclient/config/frmConnectionInfo.h"
#include "ftpclient/ui/ConnectionInfoView.h"
#include "tests/support/TestEnvironment.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace harbel;
using namespace harbel::tessaly;

TEST(ConnectionInfoView, TreesTabsAndBoxesFollowTheForm)
{
    ScriptedPrompts prompts;
    prompts.setUnexpectedHandler([](const QString& what) { ADD_FAILURE() << what.toStdString(); });
    Prompts::setInstance(&prompts);
    {
        frmConnectionInfo form;
        form.Form_Load();
        form.cmdNewSite_Click();
        form.txtProfileName.setText("Home");
        form.txtHost.setText("ftp.home.example");
        form.txtUserName.setText("me");
        form.cmdSaveSite_Click();
        form.Form_Load();

        ConnectionInfoView view(form);
        view.show();
        QApplication::processEvents();
        auto* standard = view.findChild<QTreeWidget*>("tvlStandard");
        auto* priv = view.findChild<QTreeWidget*>("tvlPrivate");
        ASSERT_TRUE(standard && priv);
        EXPECT_TRUE(priv->isVisible());  // the tab of the profile used last
        EXPECT_FALSE(standard->isVisible());

        auto* tabs = view.findChild<QTabBar*>();
        ASSERT_TRUE(tabs);
        EXPECT_EQ(tabs->tabText(0), "Standard");
        emit tabs->tabBarClicked(0);
        QApplication::processEvents();
        EXPECT_TRUE(standard->isVisible());
        EXPECT_FALSE(priv->isVisible());
        emit tabs->tabBarClicked(1);
        QApplication::processEvents();
        EXPECT_TRUE(priv->isVisible());
        EXPECT_FALSE(standard->isVisible());
        ASSERT_EQ(priv->topLevelItemCount(), 1);
        QTreeWidgetItem* root = priv->topLevelItem(0);
        EXPECT_EQ(root->text(0), "Profiles");
        ASSERT_EQ(root->childCount(), 1);
        EXPECT_EQ(root->child(0)->text(0), "Home.Profile");

        emit priv->itemClicked(root->child(0), 0);
        QApplication::processEvents();
        EXPECT_EQ(view.findChild<QLineEdit*>("txtHost")->text(), "ftp.home.example");
        EXPECT_EQ(view.findChild<QLineEdit*>("txtUserName")->text(), "me");
        EXPECT_EQ(view.findChild<QLineEdit*>("txtPort")->text(), "21");
        EXPECT_TRUE(form.cmdDeleteSite.Enabled());

        QRadioButton* anonymous = nullptr;
        for (auto* radio : view.findChildren<QRadioButton*>())
            if (radio->text() == "Anonymous")
                anonymous = radio;
        ASSERT_TRUE(anonymous);
        anonymous->click();
        QApplication::processEvents();
        EXPECT_TRUE(form.optAnonymous.Value());
        EXPECT_EQ(view.findChild<QLineEdit*>("txtUserName")->text(), "anonymous");
        EXPECT_FALSE(view.findChild<QLineEdit*>("txtUserName")->isEnabled());

        // The FTP over TLS box shows the form's choice and sets it.
        auto* tls = view.findChild<QCheckBox*>("chkTls");
        ASSERT_TRUE(tls);
        EXPECT_EQ(tls->text(), "FTP over TLS (encrypted)");
        EXPECT_FALSE(tls->isChecked());
        tls->click();
        EXPECT_EQ(form.chkTls.Value(), 1);
        form.chkTls.setValue(0);
        EXPECT_FALSE(tls->isChecked());

        emit priv->itemClicked(root, 0);
        EXPECT_FALSE(form.cmdDeleteSite.Enabled());
    }
    Prompts::setInstance(nullptr);
}
