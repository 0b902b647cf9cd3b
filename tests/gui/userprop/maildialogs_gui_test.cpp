// The mail-settings dialogs of the Exchange tabs on a mailbox user made for the test,
// read back with ldapsearch; the mailbox rights viewer on the fully populated user.
#include "userprop_support.h"
#include "userprop/unExchangeDialogs.h"
#include "userprop/unSecurityViews.h"
#include "main/unCatalogue.h"
#include "ui/icons.h"

#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>

#include <QCheckBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

using namespace uptest;

namespace {
QString seeded(const char *cn)
{
    return QStringLiteral("CN=%1,OU=Showcase,").arg(QLatin1String(cn)) + testsupport::fact("SEED_OU");
}

QStringList texts(const QString &dn, const char *attr)
{
    QStringList out;
    for (const QByteArray &v : entry(dn, {QLatin1String(attr)}).values(QLatin1String(attr)))
        out << QString::fromUtf8(v);
    out.sort(Qt::CaseInsensitive);
    return out;
}

// What a list row shows as its icon: "user", "group", "none" or "other".
QString iconKind(const QTreeWidget *list, const QString &dn)
{
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = list->topLevelItem(i);
        if (item->text(1).compare(dn, Qt::CaseInsensitive) != 0)
            continue;
        if (item->icon(0).isNull())
            return QStringLiteral("none");
        const QImage shown = item->icon(0).pixmap(16).toImage();
        return shown == ui::userIcon().pixmap(16).toImage()    ? QStringLiteral("user")
               : shown == ui::groupIcon().pixmap(16).toImage() ? QStringLiteral("group")
                                                               : QStringLiteral("other");
    }
    return QStringLiteral("no row");
}

void focus(QWidget *w, QEvent::Type type)
{
    QFocusEvent e(type, Qt::TabFocusReason);
    QApplication::sendEvent(w, &e);
}
} // namespace

class MailDialogs : public DialogTest {
protected:
    QString mailboxUser(const QList<std::pair<QString, QVariant>> &extra = {})
    {
        const auto m = entry(seeded("Mia Mailbox"), {"homeMDB", "msExchHomeServerName"});
        QList<std::pair<QString, QVariant>> attrs = {{"homeMDB", m.text("homeMDB")},
                                                     {"msExchHomeServerName", m.text("msExchHomeServerName")},
                                                     {"mailNickname", uniqueName("mbx")}};
        attrs += extra;
        return createUser("up-mail", attrs);
    }
    // Opens the dialog of a button and hands it to check while it is open.
    template <class T> void run(TfrmUserProp *d, const char *button, const std::function<void(T &)> &check)
    {
        bool ran = false;
        TfrmUserProp::setMailDialogRunner([&](QDialog *dlg) {
            T *t = dynamic_cast<T *>(dlg);
            ASSERT_NE(t, nullptr);
            ran = true;
            check(*t);
        });
        d->openMailDialog(QLatin1String(button));
        TfrmUserProp::setMailDialogRunner({});
        EXPECT_TRUE(ran) << button;
    }
    void TearDown() override
    {
        userprop::setMailPicker({});
        DialogTest::TearDown();
    }
};

TEST_F(MailDialogs, StorageLimitsLoadQuotasAndRefuseOutOfRange)
{
    const QString dn = mailboxUser({{"mDBUseDefaults", false}, {"mDBStorageQuota", 500}});
    TfrmUserProp *d = open(dn);
    ASSERT_TRUE(d->hasMailbox());
    run<userprop::TfrmStorageLimits>(d, "btLimits", [&](userprop::TfrmStorageLimits &s) {
        EXPECT_FALSE(s.cbStoreUseMailboxStoreDefaults->isChecked());
        // No deletedItemFlags: the mailbox follows its store's retention.
        EXPECT_TRUE(s.cbRetentionUseMailboxStoreDefaults->isChecked());
        EXPECT_FALSE(s.ebKeepDeletedItems->isEnabled());
        EXPECT_TRUE(s.cbIssueWarning->isChecked());
        EXPECT_EQ(s.ebIssueWarning->text(), "500");
        EXPECT_FALSE(s.cbProhibitSend->isChecked());
        s.cbProhibitSend->click();
        EXPECT_EQ(s.ebProhibitSend->text(), "0");
        typeInto(s.ebProhibitSend, "2097152");
        EXPECT_TRUE(s.btApply->isEnabled());
        s.btApplyClick();
        EXPECT_TRUE(s.btApply->isEnabled()); // refused: nothing written
        EXPECT_EQ(prompts.messages().last(),
                  "The value for \"Prohibit Send\" is not valid.\r\nSpecify a value from 0 through 2097151");
        EXPECT_EQ(texts(dn, "mDBOverQuotaLimit"), QStringList{});
        typeInto(s.ebProhibitSend, "2097151");
        typeInto(s.ebIssueWarning, "1000");
        s.cbProhibitSendAndReceive->click();
        s.cbProhibitSendAndReceive->click(); // unchecked again: cleared
        s.btApplyClick();
        EXPECT_FALSE(s.btApply->isEnabled());
    });
    EXPECT_EQ(texts(dn, "mDBStorageQuota"), QStringList{"1000"});
    EXPECT_EQ(texts(dn, "mDBOverQuotaLimit"), QStringList{"2097151"});
    EXPECT_EQ(texts(dn, "mDBOverHardQuotaLimit"), QStringList{});
    EXPECT_EQ(texts(dn, "mDBUseDefaults"), QStringList{"FALSE"});
    // Saving the quotas keeps the mailbox on its store's retention (0), never "purge at once" (5).
    EXPECT_EQ(texts(dn, "deletedItemFlags"), QStringList{"0"});

    // Its own retention, the longest period: unchecking the store's defaults opens the fields.
    run<userprop::TfrmStorageLimits>(d, "btLimits", [&](userprop::TfrmStorageLimits &s) {
        EXPECT_TRUE(s.cbRetentionUseMailboxStoreDefaults->isChecked());
        s.cbRetentionUseMailboxStoreDefaults->click();
        ASSERT_TRUE(s.ebKeepDeletedItems->isEnabled());
        typeInto(s.ebKeepDeletedItems, "24855");
        s.btApplyClick();
    });
    EXPECT_EQ(texts(dn, "garbageCollPeriod"), QStringList{QString::number(24855LL * 86400)});
    // Neither retention box checked: deleted items are purged without waiting for a backup.
    EXPECT_EQ(texts(dn, "deletedItemFlags"), QStringList{"5"});
}

TEST_F(MailDialogs, RetentionBoxesWriteDeletedItemFlagsAndReadThemBack)
{
    // The seeded showcase mailbox keeps deleted items until a backup and takes authenticated
    // senders only; both dialogs show that without writing anything.
    TfrmUserProp *ada = open(seeded("Ada Fullprofile"));
    ASSERT_TRUE(ada->writable("deletedItemFlags"));
    ASSERT_TRUE(ada->writable("msExchRequireAuthToSendTo"));
    run<userprop::TfrmStorageLimits>(ada, "btLimits", [&](userprop::TfrmStorageLimits &s) {
        EXPECT_TRUE(s.cbDoNotDelete->isChecked());
        EXPECT_FALSE(s.cbRetentionUseMailboxStoreDefaults->isChecked());
        EXPECT_EQ(s.ebKeepDeletedItems->text(), "14");
    });
    run<userprop::TfrmDeliveryRestrictions>(ada, "btRestrictions", [&](userprop::TfrmDeliveryRestrictions &r) {
        EXPECT_TRUE(r.cbAuthenticatedOnly->isChecked());
        EXPECT_TRUE(r.cbAuthenticatedOnly->isEnabled());
    });

    const QString dn = mailboxUser({{"garbageCollPeriod", 7 * 86400}, {"deletedItemFlags", 5}});
    TfrmUserProp *d = open(dn);
    run<userprop::TfrmStorageLimits>(d, "btLimits", [&](userprop::TfrmStorageLimits &s) {
        EXPECT_FALSE(s.cbRetentionUseMailboxStoreDefaults->isChecked());
        EXPECT_FALSE(s.cbDoNotDelete->isChecked());
        ASSERT_TRUE(s.cbDoNotDelete->isEnabled());
        s.cbDoNotDelete->click();
        EXPECT_TRUE(s.btApply->isEnabled());
        s.btApplyClick();
        EXPECT_FALSE(s.btApply->isEnabled());
    });
    EXPECT_EQ(texts(dn, "deletedItemFlags"), QStringList{"3"});
    EXPECT_EQ(texts(dn, "garbageCollPeriod"), QStringList{QString::number(7 * 86400)});

    run<userprop::TfrmStorageLimits>(d, "btLimits", [&](userprop::TfrmStorageLimits &s) {
        EXPECT_TRUE(s.cbDoNotDelete->isChecked());
        s.cbDoNotDelete->click(); // off again
        s.btApplyClick();
    });
    EXPECT_EQ(texts(dn, "deletedItemFlags"), QStringList{"5"});

    run<userprop::TfrmStorageLimits>(d, "btLimits", [&](userprop::TfrmStorageLimits &s) {
        EXPECT_FALSE(s.cbDoNotDelete->isChecked());
        s.cbDoNotDelete->click();
        // The store's defaults take over: the own retention settings are unchecked and locked.
        s.cbRetentionUseMailboxStoreDefaults->click();
        EXPECT_FALSE(s.cbDoNotDelete->isChecked());
        EXPECT_FALSE(s.cbDoNotDelete->isEnabled());
        EXPECT_FALSE(s.ebKeepDeletedItems->isEnabled());
        s.btOKClick();
        EXPECT_EQ(s.result(), int(QDialog::Accepted));
    });
    EXPECT_EQ(texts(dn, "deletedItemFlags"), QStringList{"0"});

    // A fresh property dialog reads the stored state from the directory.
    delete d;
    TfrmUserProp *again = open(dn);
    run<userprop::TfrmStorageLimits>(again, "btLimits", [&](userprop::TfrmStorageLimits &s) {
        EXPECT_TRUE(s.cbRetentionUseMailboxStoreDefaults->isChecked());
        EXPECT_FALSE(s.cbDoNotDelete->isChecked());
        EXPECT_FALSE(s.ebKeepDeletedItems->isEnabled());
        EXPECT_EQ(s.ebKeepDeletedItems->text(), "7");
    });
}

TEST_F(MailDialogs, AuthenticatedSendersOnlyIsWrittenAndTurnedOffAgain)
{
    const QString dn = mailboxUser();
    TfrmUserProp *d = open(dn);
    run<userprop::TfrmDeliveryRestrictions>(d, "btRestrictions", [&](userprop::TfrmDeliveryRestrictions &r) {
        EXPECT_TRUE(r.rbFromEveryone->isChecked());
        EXPECT_FALSE(r.cbAuthenticatedOnly->isChecked());
        ASSERT_TRUE(r.cbAuthenticatedOnly->isEnabled());
        r.cbAuthenticatedOnly->click();
        EXPECT_TRUE(r.btApply->isEnabled());
        r.btApplyClick();
        EXPECT_FALSE(r.btApply->isEnabled());
    });
    EXPECT_EQ(texts(dn, "msExchRequireAuthToSendTo"), QStringList{"TRUE"});
    // The box alone changed: nobody was added to or removed from the sender lists.
    EXPECT_EQ(texts(dn, "authOrig"), QStringList{});
    EXPECT_EQ(texts(dn, "unauthOrig"), QStringList{});

    delete d;
    TfrmUserProp *again = open(dn);
    run<userprop::TfrmDeliveryRestrictions>(again, "btRestrictions", [&](userprop::TfrmDeliveryRestrictions &r) {
        EXPECT_TRUE(r.cbAuthenticatedOnly->isChecked());
        r.cbAuthenticatedOnly->click();
        r.btOKClick();
        EXPECT_EQ(r.result(), int(QDialog::Accepted));
    });
    EXPECT_EQ(texts(dn, "msExchRequireAuthToSendTo"), QStringList{"FALSE"});
}

TEST_F(MailDialogs, AttributesTheDirectoryDoesNotOfferAreLeftOutOfTheSave)
{
    // A directory whose schema lacks deletedItemFlags and msExchRequireAuthToSendTo does not
    // list them among the user's writable attributes; the dialogs are handed such a set.
    const QString dn = mailboxUser({{"mDBUseDefaults", false}});
    TfrmUserProp *d = open(dn);
    ASSERT_TRUE(d->writable("deletedItemFlags"));
    QSet<QString> writable = d->writableSet();
    writable.remove(QStringLiteral("DELETEDITEMFLAGS"));
    writable.remove(QStringLiteral("MSEXCHREQUIREAUTHTOSENDTO"));
    const userprop::ExchangeContext context{d->userObject(), adminConnection(), writable};
    {
        userprop::TfrmStorageLimits s(context);
        EXPECT_FALSE(s.cbRetentionUseMailboxStoreDefaults->isEnabled());
        EXPECT_FALSE(s.cbDoNotDelete->isEnabled());
        EXPECT_TRUE(s.ebKeepDeletedItems->isEnabled());
        s.cbIssueWarning->click();
        typeInto(s.ebIssueWarning, "700");
        typeInto(s.ebKeepDeletedItems, "3");
        s.btApplyClick();
        EXPECT_FALSE(s.btApply->isEnabled()) << prompts.messages().join('\n').toStdString();
    }
    EXPECT_EQ(texts(dn, "mDBStorageQuota"), QStringList{"700"});
    EXPECT_EQ(texts(dn, "garbageCollPeriod"), QStringList{QString::number(3 * 86400)});
    EXPECT_EQ(texts(dn, "deletedItemFlags"), QStringList{});
    {
        const QString sender = createUser("up-sender");
        userprop::setMailPicker([&](QWidget *, const userprop::UserPropConnection &, bool, QString &name, QString &pdn,
                                    int &kind) {
            pdn = sender;
            name = sender;
            kind = 0;
            return true;
        });
        userprop::TfrmDeliveryRestrictions r(context);
        EXPECT_TRUE(r.gbMessageRestrictions->isEnabled());
        EXPECT_FALSE(r.cbAuthenticatedOnly->isEnabled());
        r.rbOnlyFrom->click();
        r.btAddClick();
        r.btApplyClick();
        EXPECT_FALSE(r.btApply->isEnabled()) << prompts.messages().join('\n').toStdString();
        EXPECT_EQ(texts(dn, "authOrig"), QStringList{sender});
    }
    EXPECT_EQ(texts(dn, "msExchRequireAuthToSendTo"), QStringList{});
}

TEST_F(MailDialogs, CustomAttributesAndLocatorSettingsRoundTrip)
{
    const QString dn = mailboxUser({{"extensionAttribute2", "two"}, {"autoReplyMessage", "ils.example/acc/x"}});
    TfrmUserProp *d = open(dn);
    run<userprop::TfrmExchangeExtAtt>(d, "btAttributes", [&](userprop::TfrmExchangeExtAtt &x) {
        EXPECT_EQ(x.edit(2)->text(), "two");
        EXPECT_EQ(x.edit(1)->objectName(), "ebextensionAttribute1");
        EXPECT_EQ(x.edit(15)->objectName(), "ebExtensionAttribute15");
        typeInto(x.edit(1), "  one ");
        typeInto(x.edit(2), "");
        typeInto(x.edit(15), "fifteen");
        x.btOKClick();
        EXPECT_EQ(x.result(), int(QDialog::Accepted));
    });
    // A field the account may not write: disabled, with the read-only look and the catalogue's
    // maximum length like every other field.
    QSet<QString> writable = d->writableSet();
    writable.remove(QStringLiteral("EXTENSIONATTRIBUTE3"));
    {
        userprop::TfrmExchangeExtAtt x(userprop::ExchangeContext{d->userObject(), adminConnection(), writable});
        EXPECT_FALSE(x.edit(3)->isEnabled());
        EXPECT_EQ(x.edit(3)->palette().color(QPalette::Disabled, QPalette::Base), QColor(0xF7, 0xFF, 0xFF));
        EXPECT_TRUE(x.edit(4)->isEnabled());
        EXPECT_EQ(x.edit(4)->maxLength(), EntryByLdapName(u"extensionAttribute4")->maxLength);
    }
    EXPECT_EQ(texts(dn, "extensionAttribute1"), QStringList{"one"});
    EXPECT_EQ(texts(dn, "extensionAttribute2"), QStringList{});
    EXPECT_EQ(texts(dn, "extensionAttribute15"), QStringList{"fifteen"});

    run<userprop::TfrmILSSetings>(d, "btSettings", [&](userprop::TfrmILSSetings &ils) {
        EXPECT_EQ(ils.ebILSServer->text(), "ils.example");
        EXPECT_EQ(ils.ebILSAccount->text(), "acc/x"); // everything after the first slash
        typeInto(ils.ebILSServer, " ils2.example ");
        ils.btApplyClick();
    });
    EXPECT_EQ(texts(dn, "autoReplyMessage"), QStringList{"ils2.example/acc/x"});
}

TEST_F(MailDialogs, DeliveryRestrictionsKeepEverySenderAndSplitUsersFromGroups)
{
    // A contact cannot be picked, but one already in the list must survive a save.
    const QString contactName = uniqueName("up-contact");
    {
        ads::ObjectPtr parent = adsitest::bindAdmin(adsitest::scratchOu());
        ads::ObjectPtr c;
        ASSERT_EQ(parent->Create("contact", "CN=" + contactName, &c), ads::S_OK);
        ASSERT_EQ(c->SetInfo(), ads::S_OK);
    }
    const QString contact = "CN=" + contactName + "," + adsitest::scratchOu();
    const QString sender = createUser("up-sender");
    const QString group = createGroup("up-sgroup");
    const QString dn = mailboxUser({{"unauthOrig", QVariantList{contact}}, {"submissionContlength", 100}});
    TfrmUserProp *d = open(dn);
    QStringList picks = {dn, sender, sender, group, sender};
    userprop::setMailPicker([&](QWidget *, const userprop::UserPropConnection &, bool groupsToo, QString &name,
                                QString &pdn, int &kind) {
        EXPECT_TRUE(groupsToo);
        pdn = picks.takeFirst();
        name = pdn.section(',', 0, 0).mid(3);
        kind = pdn == group ? 9 : 0;
        return true;
    });
    ASSERT_NE(ui::userIcon().pixmap(16).toImage(), ui::groupIcon().pixmap(16).toImage());
    run<userprop::TfrmDeliveryRestrictions>(d, "btRestrictions", [&](userprop::TfrmDeliveryRestrictions &r) {
        EXPECT_TRUE(r.rbSendMax->isChecked());
        EXPECT_EQ(r.ebSendingSize->text(), "100");
        EXPECT_TRUE(r.rbReceiveDefault->isChecked());
        // Entering the empty size edit chooses "Maximum KB:", leaving it empty "Use Default".
        focus(r.ebReceivingSize, QEvent::FocusIn);
        EXPECT_TRUE(r.rbReceiveMax->isChecked());
        focus(r.ebReceivingSize, QEvent::FocusOut);
        EXPECT_TRUE(r.rbReceiveDefault->isChecked());
        EXPECT_TRUE(r.rbEveryoneExcept->isChecked());
        ASSERT_EQ(r.senders().size(), 1);
        r.btAddClick(); // the user itself: ignored
        r.btAddClick(); // sender
        r.btAddClick(); // sender again: ignored
        EXPECT_EQ(r.senders().size(), 2);
        EXPECT_EQ(iconKind(r.lvSenders, contact), "none");
        EXPECT_EQ(iconKind(r.lvSenders, sender), "user");
        typeInto(r.ebReceivingSize, "2097152");
        EXPECT_EQ(prompts.messages().last(),
                  "The value for \"Receiving Message Size\" is not valid.\r\nSpecify a value from 0 through 2097151");
        r.btApplyClick();
        EXPECT_TRUE(r.btApply->isEnabled());
        typeInto(r.ebReceivingSize, "2097151");
        r.btApplyClick();
        EXPECT_FALSE(r.btApply->isEnabled());
    });
    EXPECT_EQ(texts(dn, "delivContLength"), QStringList{"2097151"});
    QStringList expected = {contact, sender};
    expected.sort(Qt::CaseInsensitive);
    EXPECT_EQ(texts(dn, "unauthOrig"), expected);

    run<userprop::TfrmDeliveryRestrictions>(d, "btRestrictions", [&](userprop::TfrmDeliveryRestrictions &r) {
        EXPECT_EQ(r.senders().size(), 2);
        r.rbFromEveryone->click();
        EXPECT_FALSE(r.btAdd->isEnabled());
        r.rbOnlyFrom->click();
        r.btAddClick(); // group
        r.btAddClick(); // sender
        EXPECT_EQ(iconKind(r.lvSenders, group), "group");
        EXPECT_EQ(iconKind(r.lvSenders, sender), "user");
        typeInto(r.ebSendingSize, "");
        r.btApplyClick();
    });
    EXPECT_EQ(texts(dn, "authOrig"), QStringList{sender});
    EXPECT_EQ(texts(dn, "dlMemSubmitPerms"), QStringList{group});
    EXPECT_EQ(texts(dn, "unauthOrig"), QStringList{});
    EXPECT_EQ(texts(dn, "dlMemRejectPerms"), QStringList{});
    EXPECT_EQ(texts(dn, "submissionContlength"), QStringList{});
    adsitest::bindAdmin(adsitest::scratchOu())->Delete("contact", "CN=" + contactName);
}

TEST_F(MailDialogs, DeliveryOptionsWriteDelegatesForwardingAndRecipientLimit)
{
    const QString delegate = createUser("up-deleg");
    const QString forward = createUser("up-fwd", {{"displayName", "Forward Target"}});
    const QString dn = mailboxUser({{"msExchRecipLimit", 20}});
    TfrmUserProp *d = open(dn);
    QStringList picks = {delegate, forward};
    userprop::setMailPicker([&](QWidget *, const userprop::UserPropConnection &, bool groupsToo, QString &name,
                                QString &pdn, int &kind) {
        EXPECT_FALSE(groupsToo);
        pdn = picks.takeFirst();
        name = pdn;
        kind = 0;
        return true;
    });
    run<userprop::TfrmDeliveryOptions>(d, "btOptions", [&](userprop::TfrmDeliveryOptions &o) {
        EXPECT_TRUE(o.rbRecipMax->isChecked());
        EXPECT_EQ(o.ebRecipLimit->text(), "20");
        EXPECT_TRUE(o.rbNone->isChecked());
        EXPECT_FALSE(o.btModify->isEnabled());
        o.btAddClick();
        o.rbForwardTo->click();
        o.btModifyClick();
        EXPECT_EQ(o.ebForwardTo->text(), "Forward Target");
        if (o.cbBoth->isEnabled())
            o.cbBoth->click();
        typeInto(o.ebRecipLimit, "2097152");
        o.btApplyClick();
        EXPECT_TRUE(o.btApply->isEnabled());
        typeInto(o.ebRecipLimit, "100");
        o.btOKClick();
        EXPECT_EQ(o.result(), int(QDialog::Accepted));
    });
    EXPECT_EQ(texts(dn, "publicDelegates"), QStringList{delegate});
    EXPECT_EQ(texts(dn, "altRecipient"), QStringList{forward});
    EXPECT_EQ(texts(dn, "msExchRecipLimit"), QStringList{"100"});
    if (d->writable("deliverAndRedirect")) {
        EXPECT_EQ(texts(dn, "deliverAndRedirect"), QStringList{"TRUE"});
    }
}

TEST_F(MailDialogs, MailboxRightsComeFromTheAttributeWithTheLimitedFunctionalityNotice)
{
    const QString ada = seeded("Ada Fullprofile");
    TfrmUserProp *d = open(ada);
    const QByteArray bytes = entry(ada, {"msExchMailboxSecurityDescriptor"}).values("msExchMailboxSecurityDescriptor").value(0);
    ASSERT_FALSE(bytes.isEmpty());
    QProcess p;
    p.start("/usr/bin/python3", {"-c", "import sys\nfrom samba.dcerpc import security\nfrom samba.ndr import ndr_unpack\n"
                                       "sd = ndr_unpack(security.descriptor, sys.stdin.buffer.read())\n"
                                       "print(len(set(str(a.trustee) for a in sd.dacl.aces if a.type < 7)))\n"});
    p.write(bytes);
    p.closeWriteChannel();
    ASSERT_TRUE(p.waitForFinished(30000));
    const int trustees = p.readAllStandardOutput().trimmed().toInt();
    run<userprop::TfrmPermitions>(d, "btRights", [&](userprop::TfrmPermitions &m) {
        EXPECT_FALSE(m.lbLimitedRights->isHidden());
        EXPECT_EQ(m.lbLimitedRights->text(), "This Page has limited functionality.");
        EXPECT_TRUE(m.lbLimitedRights->toolTip().contains("Microsoft Exchange Server Administrative console"));
        auto *rights = m.findChild<QTreeWidget *>("lvMailboxRights");
        ASSERT_NE(rights, nullptr);
        EXPECT_EQ(rights->topLevelItemCount(), trustees);
        EXPECT_GT(trustees, 0);
        EXPECT_EQ(m.view->lvPermitions->topLevelItemCount(), 7);
    });
}
