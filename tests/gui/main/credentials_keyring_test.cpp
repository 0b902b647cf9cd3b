// Remember Me in the credentials dialog with a private desktop session: the dialog says when
// no keyring answers, and a keyring that does gets the password while the settings file gets
// none. Each case sets this process's session bus, so each runs in a process of its own (as
// CTest runs them).
#include "main/unCredentials.h"
#include "mainwindow_support.h"
#include "support/keyring.h"
#include "support/testdomain.h"
#include "ui/prompt.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <gtest/gtest.h>

using namespace mwtest;

namespace {

template <typename T> T *child(QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QLatin1String(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

} // namespace

TEST(CredentialsKeyring, TheDialogSaysWhenNoKeyringAnswers)
{
    testsupport::PrivateKeyring session(false);
    ASSERT_TRUE(session.error().isEmpty()) << session.error().toStdString();
    session.useInThisProcess();
    TempSettings store;
    TfrmCredentials dlg(TConnectionSettings{});
    auto *note = child<QLabel>(&dlg, "lbKeyring");
    dlg.show();
    ASSERT_TRUE(waitFor([&] { return note->isVisible(); }, 20000));
    EXPECT_TRUE(note->text().contains(QLatin1String("No keyring"))) << note->text().toStdString();
    EXPECT_TRUE(note->text().contains(QLatin1String("obfuscated in the settings file")));
}

TEST(CredentialsKeyring, RememberMeKeepsThePasswordInTheKeyringNotTheFile)
{
    ARV_REQUIRE_DOMAIN();
    testsupport::PrivateKeyring session(true);
    ASSERT_TRUE(session.error().isEmpty()) << session.error().toStdString();
    session.useInThisProcess();
    TempSettings store;
    ui::ScriptedPrompts script;
    TConnectionSettings s = domainSettings();
    TfrmCredentials dlg(s);
    child<QCheckBox>(&dlg, "cbRemember")->click();
    child<QLineEdit>(&dlg, "ebPassword")->setText(s.Password);
    ASSERT_TRUE(dlg.btApplayClick()) << script.messages().join(u'\n').toStdString();

    EXPECT_EQ(session.lookup(s.ServerName, s.UserName), s.Password);
    QFile file(store.file());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray stored = file.readAll();
    EXPECT_FALSE(stored.contains("1A15F19F-61DB-4B0B-A118-FA8DE7FF82D9")) << stored.toStdString();  // the password's value
    EXPECT_TRUE(stored.contains("7FCAA05A-944A-477C-AA2D-FB2094D598C1"));                           // Remember Me itself
    EXPECT_FALSE(child<QLabel>(&dlg, "lbKeyring")->isVisible());

    // Loading finds it again in the keyring.
    TConnectionSettings loaded;
    ASSERT_TRUE(LoadConnectionSettings(loaded));
    EXPECT_EQ(loaded.Password, s.Password);
    EXPECT_EQ(LastPasswordStore().where, TPasswordStore::Keyring);
}
