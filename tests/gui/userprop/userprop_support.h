#pragma once
// Shared pieces of the property dialog tests: connections, users and groups made for one
// test in the program's scratch OU, reading the directory back with ldapsearch.
#include "adsi_fixture.h"
#include "core/unConnection.h"
#include "core/unValues.h"
#include "options/unOptions.h"
#include "platform/adsi/adspath.h"
#include "platform/registry/registry.h"
#include "support/ldaptools.h"
#include "ui/objectbus.h"
#include "ui/prompt.h"
#include "userprop/unUserProp.h"

#include <QLineEdit>
#include <QPointer>
#include <QRandomGenerator>
#include <QTest>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

namespace uptest {

inline userprop::UserPropConnection connectionAs(const QString &user, const QString &password)
{
    userprop::UserPropConnection c;
    c.pathPrefix = QStringLiteral("LDAP://") + adsitest::server() + QLatin1Char('/');
    c.searchRoot = c.pathPrefix + adsitest::baseDn();
    c.userName = user;
    c.password = password;
    c.useCredentials = true;
    return c;
}

inline userprop::UserPropConnection adminConnection()
{
    return connectionAs(adsitest::adminUpn(), adsitest::adminPassword());
}

inline QString uniqueName(const QString &prefix)
{
    return QStringLiteral("%1-%2").arg(prefix).arg(QRandomGenerator::global()->bounded(100000000));
}

// A user made for one test below parent (the scratch OU by default).
inline QString createUser(const QString &prefix, const QList<std::pair<QString, QVariant>> &attrs = {},
                          const QString &parentDn = {})
{
    const QString ou = parentDn.isEmpty() ? adsitest::scratchOu() : parentDn;
    const QString name = uniqueName(prefix);
    ads::ObjectPtr parent = adsitest::bindAdmin(ou);
    ads::ObjectPtr u;
    EXPECT_EQ(parent->Create(QStringLiteral("user"), QStringLiteral("CN=") + name, &u), ads::S_OK);
    u->Put(QStringLiteral("sAMAccountName"), name.right(20));
    u->Put(QStringLiteral("userPrincipalName"), name + QStringLiteral("@arvendel.test"));
    for (const auto &[attr, value] : attrs)
        u->Put(attr, value);
    EXPECT_EQ(u->SetInfo(), ads::S_OK) << name.toStdString();
    return QStringLiteral("CN=") + name + QLatin1Char(',') + ou;
}

inline QString createGroup(const QString &prefix, int groupType = int(0x80000002u), const QString &parentDn = {})
{
    const QString ou = parentDn.isEmpty() ? adsitest::scratchOu() : parentDn;
    const QString name = uniqueName(prefix);
    ads::ObjectPtr parent = adsitest::bindAdmin(ou);
    ads::ObjectPtr g;
    EXPECT_EQ(parent->Create(QStringLiteral("group"), QStringLiteral("CN=") + name, &g), ads::S_OK);
    g->Put(QStringLiteral("sAMAccountName"), name.right(20));
    g->Put(QStringLiteral("groupType"), groupType);
    EXPECT_EQ(g->SetInfo(), ads::S_OK);
    return QStringLiteral("CN=") + name + QLatin1Char(',') + ou;
}

// One entry read with ldapsearch (independent of the program's directory code).
inline testsupport::LdifEntry entry(const QString &dn, const QStringList &attrs)
{
    const auto entries = testsupport::ldapSearch(dn, QStringLiteral("(objectClass=*)"), attrs,
                                                 testsupport::Account::admin(), {QStringLiteral("-s"), QStringLiteral("base")});
    EXPECT_EQ(entries.size(), 1) << dn.toStdString();
    return entries.value(0);
}

inline QString ldapText(const QString &dn, const QString &attr)
{
    return entry(dn, {attr}).text(attr);
}

inline void modify(const QString &ldif)
{
    const auto r = testsupport::ldapModify(ldif.toUtf8());
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
}

// Types into an edit as the user does (sets its Modified state); empty text deletes.
inline void typeInto(QLineEdit *e, const QString &text)
{
    e->setFocus();
    e->selectAll();
    bool ascii = true;
    for (QChar c : text)
        ascii = ascii && c.unicode() < 128;
    if (text.isEmpty()) {
        QTest::keyClick(e, Qt::Key_Delete);
    } else if (ascii) {
        QTest::keyClicks(e, text);
    } else {
        // The test library types ASCII only; other text arrives as an input method would.
        e->setText(text);
        e->setModified(true);
        emit e->textEdited(text);
    }
}

struct NoticeLog {
    QObject window;
    QStringList notices;
    NoticeLog()
    {
        ui::ObjectBus::instance().registerWindow(&window, [this](int code, const QString &dn) {
            notices << QStringLiteral("%1 %2").arg(code).arg(dn.toLower());
        });
    }
    ~NoticeLog() { ui::ObjectBus::instance().unregisterWindow(&window); }
};

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ARV_REQUIRE_DOMAIN();
        ASSERT_TRUE(dir.isValid());
        registry::setStoreFile(dir.filePath(QStringLiteral("registry.ini")));
        options::TOptions o;
        o.ShowWarning = false;
        options::SaveOptions(o);
        options::LoadOptions(o);
        TDirectoryAccess a;
        a.ServerPrefix = adminConnection().pathPrefix;
        a.DefaultNamingContext = adsitest::baseDn();
        a.UserName = adsitest::adminUpn();
        a.Password = adsitest::adminPassword();
        a.AuthFlags = 0;
        a.UseCredentials = true;
        SetDirectoryAccess(a);
    }
    void TearDown() override
    {
        for (QPointer<TfrmUserProp> d : userprop::openDialogs())
            if (d) {
                d->SetApplyEnabled(false);
                delete d.data();
            }
        TfrmUserProp::setHoursEditor({});
        TfrmUserProp::setWorkstationsEditor({});
        TfrmUserProp::setGroupPicker({});
        TfrmUserProp::setUserPicker({});
        registry::setStoreFile(QString());
    }

    TfrmUserProp *open(const QString &dn, const userprop::UserPropConnection &c = adminConnection())
    {
        TfrmUserProp *d = userprop::openUserProperties(nullptr, dn, c);
        EXPECT_NE(d, nullptr);
        return d;
    }
    template <class T> static T *child(QWidget *w, const char *name)
    {
        T *c = w->findChild<T *>(QLatin1String(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }

    QTemporaryDir dir;
    ui::ScriptedPrompts prompts;
};

} // namespace uptest
