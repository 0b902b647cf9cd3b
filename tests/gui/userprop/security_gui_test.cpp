// The Security tab and the advanced security view against an independent decoding of the
// user's descriptor (Samba's own NDR code).
#include "userprop_support.h"
#include "userprop/unSecurityViews.h"

#include <QCheckBox>
#include <QLabel>
#include <QProcess>
#include <QTabWidget>
#include <QTreeWidget>

using namespace uptest;

namespace {

QByteArray descriptorBytes(const QString &dn)
{
    return entry(dn, {"nTSecurityDescriptor"}).values(QStringLiteral("nTSecurityDescriptor")).value(0);
}

} // namespace

class Security : public DialogTest {};

TEST_F(Security, TabListsTheTrusteesAndRightsSambaDecodes)
{
    const QString dn = createUser("up-sec");
    TfrmUserProp *d = open(dn);
    d->showTab(TfrmUserProp::Security);
    auto *page = d->findChild<userprop::TUserSecurityPage *>(QStringLiteral("tsSecurity"));
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(page->readable());
    EXPECT_TRUE(child<QLabel>(d, "lbNoaccess")->text().endsWith("is enabled."));

    const QList<testsupport::DecodedAce> aces = testsupport::decodeAclWithSamba(descriptorBytes(dn));
    ASSERT_FALSE(aces.isEmpty());
    QMap<QString, quint32> allow, deny;
    for (const testsupport::DecodedAce &a : aces) {
        if (a.type >= 7)
            continue;
        allow[a.sid] |= (a.type == 0 || a.type == 5) ? a.mask : 0;
        deny[a.sid] |= (a.type == 1 || a.type == 6) ? a.mask : 0;
    }
    const auto &rows = page->view->summaries();
    auto *lvSecurity = child<QTreeWidget>(d, "lvSecurity");
    EXPECT_EQ(lvSecurity->topLevelItemCount(), allow.size());
    ASSERT_EQ(rows.size(), allow.size());
    QStringList captions;
    for (const auto &r : rows) {
        ASSERT_TRUE(allow.contains(r.trustee)) << r.trustee.toStdString();
        EXPECT_EQ(r.allow, allow.value(r.trustee)) << r.trustee.toStdString();
        EXPECT_EQ(r.deny, deny.value(r.trustee)) << r.trustee.toStdString();
        EXPECT_FALSE(r.caption.isEmpty());
        captions << r.caption;
    }
    // Sorted by caption; well-known accounts without their domain; domain groups as
    // "name (DOMAIN\name)".
    QStringList sorted = captions;
    std::sort(sorted.begin(), sorted.end(), [](const QString &a, const QString &b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    QStringList shown;
    for (int i = 0; i < lvSecurity->topLevelItemCount(); ++i)
        shown << lvSecurity->topLevelItem(i)->text(0);
    EXPECT_EQ(shown, sorted);
    EXPECT_TRUE(shown.contains("SYSTEM"));
    EXPECT_TRUE(shown.contains("SELF"));
    QTreeWidgetItem *admins = nullptr;
    for (int i = 0; i < lvSecurity->topLevelItemCount(); ++i)
        if (lvSecurity->topLevelItem(i)->text(0).startsWith("Domain Admins ("))
            admins = lvSecurity->topLevelItem(i);
    ASSERT_NE(admins, nullptr);
    lvSecurity->setCurrentItem(admins);
    EXPECT_EQ(child<QLabel>(d, "lbPermissions")->text(), "Permissions for " + admins->text(0));
    auto *rights = child<QTreeWidget>(d, "lvPermitions");
    ASSERT_EQ(rights->topLevelItemCount(), 11);
    for (int i = 0; i < 11; ++i) // full control: every row allowed, nothing denied
        EXPECT_EQ(rights->topLevelItem(i)->checkState(1), Qt::Checked) << rights->topLevelItem(i)->text(0).toStdString();
    EXPECT_EQ(rights->topLevelItem(0)->checkState(2), Qt::Unchecked);
}

TEST_F(Security, AdvancedViewShowsTheCannotChangePasswordEntriesAndTheAuditEntries)
{
    const QString dn = createUser("up-secadv");
    TfrmUserProp *d = open(dn);
    d->showTab(TfrmUserProp::Account);
    child<QCheckBox>(d, "cbUserCannotChangePassword")->click();
    ASSERT_TRUE(d->Apply());
    d->showTab(TfrmUserProp::Security);
    auto *page = d->findChild<userprop::TUserSecurityPage *>(QStringLiteral("tsSecurity"));
    ASSERT_NE(page, nullptr);

    userprop::TfrmAdvancedAttributes adv(d->userObject(), page->descriptor(),
                                         userprop::TfrmAdvancedAttributes::DirectoryObject);
    QTreeWidget *perms = adv.lvPermissions;
    // The right's name as the directory publishes it.
    const auto rights = testsupport::ldapSearch(QStringLiteral("CN=Extended-Rights,CN=Configuration,") + adsitest::baseDn(),
                                                QStringLiteral("(rightsGuid=ab721a53-1e2f-11d0-9819-00aa0040529b)"),
                                                {QStringLiteral("displayName")});
    ASSERT_EQ(rights.size(), 1);
    const QString changePassword = rights.first().text(QStringLiteral("displayName"));
    ASSERT_FALSE(changePassword.isEmpty());
    int denied = 0;
    for (int i = 0; i < perms->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *it = perms->topLevelItem(i);
        if (it->text(0) == "Denied" && it->text(2) == changePassword
            && (it->text(1) == "Everyone" || it->text(1) == "SELF")) {
            ++denied;
            EXPECT_EQ(it->text(3), "<not inherited>");
            EXPECT_EQ(it->text(4), "This object only");
        }
    }
    EXPECT_EQ(denied, 2);
    if (denied != 2)
        for (int i = 0; i < perms->topLevelItemCount(); ++i)
            ADD_FAILURE() << perms->topLevelItem(i)->text(0).toStdString() << "|" << perms->topLevelItem(i)->text(1).toStdString()
                          << "|" << perms->topLevelItem(i)->text(2).toStdString();

    // Raw rows: one per DACL entry, in the order Samba decodes them.
    const QByteArray bytes = descriptorBytes(dn);
    const QList<testsupport::DecodedAce> dacl = testsupport::decodeAclWithSamba(bytes);
    ASSERT_GE(adv.lvRaw->topLevelItemCount(), dacl.size());
    for (int i = 0; i < dacl.size(); ++i) {
        const QTreeWidgetItem *it = adv.lvRaw->topLevelItem(i);
        EXPECT_EQ(it->text(0), dacl[i].sid);
        EXPECT_EQ(it->text(1), QStringLiteral("0x%1").arg(dacl[i].mask, 8, 16, QLatin1Char('0')).toUpper().replace("0X", "0x"));
        EXPECT_EQ(it->text(5).remove('{').remove('}'), dacl[i].objectType);
    }
    EXPECT_EQ(adv.lbControl->text().left(2), "0x");

    // The administrator holds the security privilege: the audit entries are those Samba
    // decodes from the SACL; the owner is named.
    adv.pcAdvanced->setCurrentIndex(1);
    const QList<testsupport::DecodedAce> sacl = testsupport::decodeAclWithSamba(bytes, true);
    int audits = 0;
    for (const testsupport::DecodedAce &a : sacl)
        audits += (a.type == 2 || a.type == 7);
    EXPECT_FALSE(adv.lbAuditNoAccess->isVisible());
    EXPECT_EQ(adv.lvAuditing->topLevelItemCount(), audits);
    EXPECT_GT(audits, 0);
    EXPECT_EQ(adv.lvRaw->topLevelItemCount(), dacl.size() + sacl.size());
    EXPECT_FALSE(adv.ebOwner->text().isEmpty());
    EXPECT_FALSE(adv.ebOwner->text().startsWith("S-1-"));
}

TEST_F(Security, WithoutTheSecurityPrivilegeTheAuditListSaysItCouldNotBeRead)
{
    const QString dn = createUser("up-secdel");
    const testsupport::Account del = testsupport::Account::delegate();
    TfrmUserProp *d = open(dn, connectionAs(del.bindName, QString::fromUtf8(del.password)));
    d->showTab(TfrmUserProp::Security);
    auto *page = d->findChild<userprop::TUserSecurityPage *>(QStringLiteral("tsSecurity"));
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(page->readable());
    userprop::TfrmAdvancedAttributes adv(d->userObject(), page->descriptor(),
                                         userprop::TfrmAdvancedAttributes::DirectoryObject);
    adv.loadAuditing();
    EXPECT_EQ(adv.lbAuditNoAccess->text(), "You do not have access to the Security Descriptor");
    EXPECT_FALSE(adv.lbAuditNoAccess->isHidden());
    EXPECT_EQ(adv.lvAuditing->topLevelItemCount(), 0);
}
