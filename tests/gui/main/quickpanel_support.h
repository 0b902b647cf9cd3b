#pragma once
// Shared pieces of the quick panel tests: a panel bound to a fresh user of the test domain,
// with its own settings store and scripted prompts.
#include "adsi_fixture.h"
#include "main/unQuickPanel.h"
#include "main/unUserListing.h"
#include "options/unOptions.h"
#include "platform/adsi/adspath.h"
#include "platform/registry/registry.h"
#include "ui/prompt.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace qptest {

inline userlist::ListingConnection adminConnection()
{
    userlist::ListingConnection c;
    c.serverPrefix = QStringLiteral("LDAP://") + adsitest::server() + QLatin1Char('/');
    c.userName = adsitest::adminUpn();
    c.password = adsitest::adminPassword();
    c.useCredentials = true;
    return c;
}

// A user made for one test: cn "<prefix>-<random>", with the given attributes.
inline QString createUser(const QString &prefix, const QList<std::pair<QString, QVariant>> &attrs = {})
{
    const QString ou = adsitest::scratchOu();
    const QString name = QStringLiteral("%1-%2").arg(prefix).arg(QRandomGenerator::global()->bounded(100000000));
    ads::ObjectPtr parent = adsitest::bindAdmin(ou);
    ads::ObjectPtr u;
    EXPECT_EQ(parent->Create(QStringLiteral("user"), QStringLiteral("CN=") + name, &u), ads::S_OK);
    u->Put(QStringLiteral("sAMAccountName"), name.right(20));
    for (const auto &[attr, value] : attrs)
        u->Put(attr, value);
    EXPECT_EQ(u->SetInfo(), ads::S_OK) << name.toStdString();
    return QStringLiteral("CN=") + name + QLatin1Char(',') + ou;
}

// The directory's current value of one attribute (fresh bind), invalid when not set.
inline QVariant read(const QString &dn, const QString &attr)
{
    ads::ObjectPtr o = adsitest::bindAdmin(dn);
    QVariant v;
    if (!o || ads::failed(o->GetInfoEx({attr})) || ads::failed(o->Get(attr, &v)))
        return {};
    return v;
}

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ARV_REQUIRE_DOMAIN();
        ASSERT_TRUE(dir.isValid());
        registry::setStoreFile(dir.filePath(QStringLiteral("registry.ini")));
        options::TOptions o;
        options::LoadOptions(o);
        panel.setConnection(adminConnection());
        panel.setUserList(&list);
        panel.resize(700, 300);
        panel.show();
    }
    void TearDown() override { registry::setStoreFile(QString()); }

    // Lists the user as the grid's selected record and loads the panel with it.
    void load(const QString &dn, const QString &user = {}, const QString &password = {})
    {
        userlist::TShellItem item;
        item.setText(userlist::Field::DistinguishedName, dn);
        item.setText(userlist::Field::Cn, ads::firstRdn(dn).mid(3));
        list.rows().clear();
        list.rows().append(std::move(item));
        list.setSelectedRowIndex(0);
        ads::ObjectPtr obj;
        ASSERT_EQ(ads::ADsOpenObject(adsitest::path(dn), user.isEmpty() ? adsitest::adminUpn() : user,
                                     user.isEmpty() ? adsitest::adminPassword() : password, 0, &obj),
                  ads::S_OK);
        panel.LoadPanel(obj);
    }
    template <class T> T *child(const char *name)
    {
        T *w = panel.findChild<T *>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    const userlist::TShellItem &record() { return list.rows().at(0); }

    QTemporaryDir dir;
    userlist::TUserList list;
    TQuickPanel panel;
    ui::ScriptedPrompts prompts;
};

} // namespace qptest
