// Find and replace against the test domain, on a scratch OU of its own users: the preview
// finds what ldapsearch finds for the same condition; Apply writes exactly the ticked rows
// (read back with ldapsearch); placeholders, the country triple, the manager, a boolean; a
// user changed after the preview is skipped, a refused write fails only its row, a server
// that goes away leaves the rest not done; the log holds every row.
#include "bulk/replaceengine.h"
#include "platform/adsi/adsconnection.h"
#include "replace_fixture.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace findreplace;
using namespace replacetest;

namespace {

Rule ruleFor(const QString &attribute)
{
    Rule r;
    r.attribute = *attributeByName(attribute);
    return r;
}

int country(const char *alpha2) { return catalogue::countryIndexByAlpha2(QLatin1String(alpha2)); }

class ReplaceDomain : public ScratchOuTest<ReplaceDomain> {
public:
    static constexpr const char *kOuPrefix = "replace";

protected:
    std::vector<Row> preview(Rule rule, QString *error = nullptr, const TConnectionContext &ctx = adminContext(),
                             const QString &extra = {})
    {
        ReplaceRun run(ctx);
        std::vector<Row> rows;
        const QString e = run.preview(rule, ctx.ServerPrefix + ou.dn, false, extra, [&](Row &&r) {
            rows.push_back(std::move(r));
            return true;
        });
        if (error)
            *error = e;
        else
            EXPECT_TRUE(e.isEmpty()) << e.toStdString();
        return rows;
    }
    static QSet<QString> dnSet(const std::vector<Row> &rows)
    {
        QSet<QString> s;
        for (const Row &r : rows)
            s.insert(r.dn.toLower());
        return s;
    }
    static Row *byCn(std::vector<Row> &rows, const QString &cn)
    {
        for (Row &r : rows)
            if (r.cn == cn)
                return &r;
        return nullptr;
    }
    // Ticks only the rows whose cn is listed.
    static void tickOnly(std::vector<Row> &rows, const QStringList &cns)
    {
        for (Row &r : rows)
            r.selected = cns.contains(r.cn);
    }
    static QString users(const QString &condition)
    {
        return QStringLiteral("(&(objectCategory=person)(objectClass=user)%1)").arg(condition);
    }
};

TEST_F(ReplaceDomain, EveryConditionFindsWhatLdapsearchFinds)
{
    struct Case {
        Rule rule;
        QString ldapFilter;
        int expected;
    };
    std::vector<Case> cases;
    auto title = [&](Where w, const QString &find, bool notSet, const QString &filter, int expected) {
        Rule r = ruleFor(QStringLiteral("title"));
        r.where = w;
        r.find = find;
        r.valueNotSet = notSet;
        r.replace = QStringLiteral("x");
        cases.push_back({r, filter, expected});
    };
    title(Where::IsExactly, QStringLiteral("Engineer"), false, QStringLiteral("(title=Engineer)"), 1);
    title(Where::Start, QStringLiteral("Engineer"), false, QStringLiteral("(title=Engineer*)"), 2);
    title(Where::End, QStringLiteral("engineer"), false, QStringLiteral("(title=*Engineer)"), 2);
    title(Where::Contains, QStringLiteral("ngine"), false, QStringLiteral("(title=*ngine*)"), 3);
    title(Where::IsNot, QStringLiteral("Engineer"), false, QStringLiteral("(!(title=Engineer))"), 8);
    title(Where::IsExactly, QString(), false, QStringLiteral("(title=*)"), 6);
    title(Where::IsExactly, QString(), true, QStringLiteral("(!(title=*))"), 3);
    title(Where::Contains, QStringLiteral("Ωmega"), false, QStringLiteral("(title=*Ωmega*)"), 1);

    Rule memo = ruleFor(QStringLiteral("streetAddress"));
    memo.where = Where::Start;
    memo.find = QStringLiteral("1 Main");
    memo.replace = QStringLiteral("x");
    cases.push_back({memo, QStringLiteral("(streetAddress=1 Main*)"), 1});

    Rule co = ruleFor(QStringLiteral("co"));
    co.findCountry = country("DE");
    co.where = Where::IsNot;
    co.replaceCountry = country("AT");
    cases.push_back({co, QStringLiteral("(!(c=DE))"), 8});

    Rule mgr = ruleFor(QStringLiteral("manager"));
    mgr.find = ou.user(QStringLiteral("Rep Boss"));
    mgr.where = Where::IsNot;
    mgr.replace = ou.user(QStringLiteral("Rep Other"));
    cases.push_back({mgr, QStringLiteral("(&(!(manager=%1))(manager=*))").arg(ou.user(QStringLiteral("Rep Boss"))), 1});

    Rule hide = ruleFor(QStringLiteral("msExchHideFromAddressLists"));
    hide.find = QStringLiteral("TRUE");
    hide.replace = QStringLiteral("FALSE");
    cases.push_back({hide, QStringLiteral("(msExchHideFromAddressLists=TRUE)"), 1});

    Rule ext = ruleFor(QStringLiteral("extensionAttribute3"));
    ext.find = QStringLiteral("x");
    ext.replace = QStringLiteral("y");
    cases.push_back({ext, QStringLiteral("(extensionAttribute3=x)(homeMDB=*)(msExchHomeServerName=*)"), 1});

    for (const Case &c : cases) {
        const auto rows = preview(c.rule);
        const QSet<QString> expected = dnsOf(ou.dn, users(c.ldapFilter));
        EXPECT_EQ(dnSet(rows), expected) << c.ldapFilter.toStdString();
        EXPECT_EQ(static_cast<int>(rows.size()), c.expected) << c.ldapFilter.toStdString();
    }

    // The extra restriction narrows the same search.
    Rule r = ruleFor(QStringLiteral("title"));
    r.replace = QStringLiteral("x");
    EXPECT_EQ(preview(r, nullptr, adminContext(), QStringLiteral("(givenName=Ann)")).size(), 1u);
}

TEST_F(ReplaceDomain, ApplyWritesExactlyTheTickedRowsWithPlaceholdersAndLogsThem)
{
    Rule r = ruleFor(QStringLiteral("title"));
    r.where = Where::Contains;
    r.find = QStringLiteral("Engineer");
    r.replace = QStringLiteral("<%CURRENT%> (<%sn%>, <%GIVENNAME%>)");
    auto rows = preview(r);
    ASSERT_EQ(rows.size(), 3u);
    Row *cid = byCn(rows, QStringLiteral("Rep Cid"));
    ASSERT_NE(cid, nullptr);
    EXPECT_EQ(cid->currentShown(), QStringLiteral("Engineer II"));
    EXPECT_EQ(cid->targetShown(), QStringLiteral("Engineer II (Gamma, Cid)"));
    tickOnly(rows, {QStringLiteral("Rep Ann"), QStringLiteral("Rep Cid")});

    QTemporaryDir dir;
    const QString logPath = dir.filePath(QStringLiteral("replace.txt"));
    ReplaceLog log;
    QString error;
    ASSERT_TRUE(log.open(logPath, &error)) << error.toStdString();
    ReplaceRun run(adminContext());
    const ApplySummary s = run.apply(r, rows, &log);
    log.close();
    EXPECT_EQ(s.visited, 3);
    EXPECT_EQ(s.succeeded, 2);
    EXPECT_EQ(s.failed + s.skipped + s.notDone, 0);

    EXPECT_EQ(valuesOf(ou.user(QStringLiteral("Rep Ann")), QStringLiteral("title")),
              QStringList{QStringLiteral("Engineer (Alpha, Ann)")});
    EXPECT_EQ(valuesOf(ou.user(QStringLiteral("Rep Cid")), QStringLiteral("title")),
              QStringList{QStringLiteral("Engineer II (Gamma, Cid)")});
    // Unticked and unmatched users keep their values; nothing else of the rows changed.
    EXPECT_EQ(valuesOf(ou.user(QStringLiteral("Rep Ben")), QStringLiteral("title")),
              QStringList{QStringLiteral("Senior Engineer")});
    EXPECT_EQ(valuesOf(ou.user(QStringLiteral("Rep Boss")), QStringLiteral("title")), QStringList{QStringLiteral("Boss")});
    EXPECT_EQ(valuesOf(ou.user(QStringLiteral("Rep Ann")), QStringLiteral("sn")), QStringList{QStringLiteral("Alpha")});

    // The log read back by Python: UTF-8, one line per written row, the trailer counts all.
    QProcess py;
    py.start(QStringLiteral("python3"),
             {QStringLiteral("-c"),
              QStringLiteral("import sys\n"
                             "t = open(sys.argv[1], encoding='utf-8', newline='').read()\n"
                             "lines = t.split('\\r\\n')\n"
                             "rows = [l for l in lines if l.startswith('[Rep ')]\n"
                             "print(len(rows))\n"
                             "print('\\n'.join(sorted(rows)))\n"
                             "print([l for l in lines if 'items was processed' in l][0])\n"),
              logPath});
    ASSERT_TRUE(py.waitForFinished(30000));
    const QStringList out = QString::fromUtf8(py.readAllStandardOutput()).split(QLatin1Char('\n'));
    ASSERT_GE(out.size(), 4) << out.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(out[0], QStringLiteral("2"));
    EXPECT_EQ(out[1], QStringLiteral("[Rep Ann]; [%1]; [Engineer]; [Engineer (Alpha, Ann)]; [SUCCEEDED]")
                          .arg(ou.user(QStringLiteral("Rep Ann"))));
    EXPECT_EQ(out[2], QStringLiteral("[Rep Cid]; [%1]; [Engineer II]; [Engineer II (Gamma, Cid)]; [SUCCEEDED]")
                          .arg(ou.user(QStringLiteral("Rep Cid"))));
    EXPECT_TRUE(out[3].startsWith(QStringLiteral("3 items was processed for "))) << out[3].toStdString();

    // Put the titles back for the other tests.
    ASSERT_EQ(modify(QStringLiteral("dn: %1\nchangetype: modify\nreplace: title\ntitle: Engineer\n\n"
                                    "dn: %2\nchangetype: modify\nreplace: title\ntitle: Engineer II\n\n")
                         .arg(ou.user(QStringLiteral("Rep Ann")), ou.user(QStringLiteral("Rep Cid")))),
              QString());
}

TEST_F(ReplaceDomain, ClearingAndCurrentPlaceholderNeverWriteMarkerText)
{
    // Is Not over users with and without a value: "<%CURRENT%>" of a user without one is
    // empty, so that row clears (nothing to clear) instead of writing "<blank>".
    Rule r = ruleFor(QStringLiteral("title"));
    r.where = Where::IsNot;
    r.find = QStringLiteral("Boss");
    r.replace = QStringLiteral("<%CURRENT%>");
    auto rows = preview(r);
    Row *dee = byCn(rows, QStringLiteral("Rep Dee"));
    ASSERT_NE(dee, nullptr);
    EXPECT_TRUE(dee->clear);
    tickOnly(rows, {QStringLiteral("Rep Dee"), QStringLiteral("Rep Other")});
    ReplaceRun run(adminContext());
    const ApplySummary s = run.apply(r, rows, nullptr);
    EXPECT_EQ(s.succeeded, 2);
    EXPECT_TRUE(valuesOf(ou.user(QStringLiteral("Rep Dee")), QStringLiteral("title")).isEmpty());
    EXPECT_EQ(valuesOf(ou.user(QStringLiteral("Rep Other")), QStringLiteral("title")), QStringList{QStringLiteral("Chief")});
    EXPECT_EQ(dnsOf(ou.dn, users(QStringLiteral("(|(title=*blank*)(title=*<%*))"))).size(), 0);

    // An empty replace text clears; the cleared value is gone.
    Rule clear = ruleFor(QStringLiteral("streetAddress"));
    clear.find = QStringLiteral("2 Side Rd");
    auto crow = preview(clear);
    ASSERT_EQ(crow.size(), 1u);
    EXPECT_EQ(crow[0].targetShown(), kBlank);
    EXPECT_EQ(run.apply(clear, crow, nullptr).succeeded, 1);
    EXPECT_TRUE(valuesOf(ou.user(QStringLiteral("Rep Ben")), QStringLiteral("streetAddress")).isEmpty());
    modify(QStringLiteral("dn: %1\nchangetype: modify\nreplace: streetAddress\nstreetAddress: 2 Side Rd\n\n")
               .arg(ou.user(QStringLiteral("Rep Ben"))));
}

// The Street memo is written as typed: placeholder text there is what the user meant, and
// "Value Is Not Set" with "<%CURRENT%>" is no contradiction on that page.
TEST_F(ReplaceDomain, StreetMemoKeepsPlaceholderTextAsTyped)
{
    Rule r = ruleFor(QStringLiteral("streetAddress"));
    r.valueNotSet = true;
    r.replace = QStringLiteral("c/o <%sn%>\r\n<%CURRENT%> floor");
    ASSERT_TRUE(prepareRule(r).isEmpty());
    EXPECT_TRUE(placeholderAttributes(r).isEmpty());
    auto rows = preview(r);
    Row *dee = byCn(rows, QStringLiteral("Rep Dee"));
    ASSERT_NE(dee, nullptr);
    EXPECT_EQ(dee->targetShown(), r.replace);
    tickOnly(rows, {QStringLiteral("Rep Dee")});
    EXPECT_EQ(ReplaceRun(adminContext()).apply(r, rows, nullptr).succeeded, 1);
    EXPECT_EQ(valuesOf(ou.user(QStringLiteral("Rep Dee")), QStringLiteral("streetAddress")), QStringList{r.replace});
    modify(QStringLiteral("dn: %1\nchangetype: modify\ndelete: streetAddress\n\n").arg(ou.user(QStringLiteral("Rep Dee"))));
}

TEST_F(ReplaceDomain, CountryManagerAndBooleanWrites)
{
    ReplaceRun run(adminContext());
    // Country: c, co and countryCode together.
    Rule co = ruleFor(QStringLiteral("co"));
    co.findCountry = country("CH");
    co.replaceCountry = country("AT");
    auto rows = preview(co);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].currentShown(), QStringLiteral("Switzerland"));
    EXPECT_EQ(rows[0].targetShown(), QStringLiteral("Austria"));
    EXPECT_EQ(run.apply(co, rows, nullptr).succeeded, 1);
    const QString ben = ou.user(QStringLiteral("Rep Ben"));
    EXPECT_EQ(valuesOf(ben, QStringLiteral("c")), QStringList{QStringLiteral("AT")});
    EXPECT_EQ(valuesOf(ben, QStringLiteral("co")), QStringList{QStringLiteral("Austria")});
    EXPECT_EQ(valuesOf(ben, QStringLiteral("countryCode")), QStringList{QStringLiteral("40")});
    // Clearing removes c and co and leaves countryCode 0.
    Rule clear = ruleFor(QStringLiteral("co"));
    clear.findCountry = country("AT");
    clear.clear = true;
    rows = preview(clear);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(run.apply(clear, rows, nullptr).succeeded, 1);
    EXPECT_TRUE(valuesOf(ben, QStringLiteral("c")).isEmpty());
    EXPECT_TRUE(valuesOf(ben, QStringLiteral("co")).isEmpty());
    EXPECT_EQ(valuesOf(ben, QStringLiteral("countryCode")), QStringList{QStringLiteral("0")});
    // A user without any country gets all three.
    Rule none = ruleFor(QStringLiteral("co"));
    none.valueNotSet = true;
    none.replaceCountry = country("CH");
    rows = preview(none);
    tickOnly(rows, {QStringLiteral("Rep Ben")});
    EXPECT_EQ(run.apply(none, rows, nullptr).succeeded, 1);
    EXPECT_EQ(valuesOf(ben, QStringLiteral("countryCode")), QStringList{QStringLiteral("756")});
    EXPECT_EQ(valuesOf(ben, QStringLiteral("c")), QStringList{QStringLiteral("CH")});

    // Manager: the users of Rep Boss now report to Rep Other.
    Rule mgr = ruleFor(QStringLiteral("manager"));
    mgr.find = ou.user(QStringLiteral("Rep Boss"));
    mgr.replace = ou.user(QStringLiteral("Rep Other"));
    rows = preview(mgr);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(run.apply(mgr, rows, nullptr).succeeded, 2);
    EXPECT_EQ(dnsOf(ou.dn, users(QStringLiteral("(manager=%1)").arg(ou.user(QStringLiteral("Rep Other"))))).size(), 3);
    EXPECT_EQ(dnsOf(ou.dn, users(QStringLiteral("(manager=%1)").arg(ou.user(QStringLiteral("Rep Boss"))))).size(), 0);

    // Boolean: FALSE becomes TRUE.
    Rule hide = ruleFor(QStringLiteral("msExchHideFromAddressLists"));
    hide.find = QStringLiteral("FALSE");
    hide.replace = QStringLiteral("TRUE");
    rows = preview(hide);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].currentShown(), QStringLiteral("FALSE"));
    EXPECT_EQ(run.apply(hide, rows, nullptr).succeeded, 1);
    EXPECT_EQ(valuesOf(ou.user(QStringLiteral("Rep Cid")), QStringLiteral("msExchHideFromAddressLists")),
              QStringList{QStringLiteral("TRUE")});
}

TEST_F(ReplaceDomain, ChangedMeanwhileIsSkippedAndRefusedWritesFailOnlyTheirRow)
{
    Rule r = ruleFor(QStringLiteral("givenName"));
    r.replace = QStringLiteral("Renamed");
    auto rows = preview(r);
    ASSERT_GE(rows.size(), 4u);
    tickOnly(rows, {QStringLiteral("Rep Ann"), QStringLiteral("Rep Ben"), QStringLiteral("Rep Dee"),
                    QStringLiteral("Ünï Çødé")});
    // Between preview and Apply someone else renames Ben, and Dee goes away.
    ASSERT_EQ(modify(QStringLiteral("dn: %1\nchangetype: modify\nreplace: givenName\ngivenName: Benjamin\n\n")
                         .arg(ou.user(QStringLiteral("Rep Ben")))),
              QString());
    const QString deeLdif = QStringLiteral("dn: %1\nchangetype: delete\n\n").arg(ou.user(QStringLiteral("Rep Dee")));
    ASSERT_EQ(modify(deeLdif), QString());

    ReplaceRun run(adminContext());
    const ApplySummary s = run.apply(r, rows, nullptr);
    EXPECT_EQ(s.succeeded, 2);
    EXPECT_EQ(s.skipped, 1);
    EXPECT_EQ(s.failed, 1);
    EXPECT_EQ(byCn(rows, QStringLiteral("Rep Ben"))->status, Skipped);
    EXPECT_TRUE(byCn(rows, QStringLiteral("Rep Ben"))->outcome.startsWith(QStringLiteral("SKIPPED")));
    EXPECT_EQ(byCn(rows, QStringLiteral("Rep Dee"))->status, Failed);
    EXPECT_TRUE(byCn(rows, QStringLiteral("Rep Dee"))->outcome.startsWith(QStringLiteral("FAILED ")));
    EXPECT_GT(byCn(rows, QStringLiteral("Rep Dee"))->outcome.size(), 10);
    EXPECT_EQ(valuesOf(ou.user(QStringLiteral("Rep Ben")), QStringLiteral("givenName")),
              QStringList{QStringLiteral("Benjamin")});
    EXPECT_EQ(valuesOf(ou.user(QStringLiteral("Rep Ann")), QStringLiteral("givenName")),
              QStringList{QStringLiteral("Renamed")});
    EXPECT_EQ(valuesOf(ou.user(QStringLiteral("Ünï Çødé")), QStringLiteral("givenName")),
              QStringList{QStringLiteral("Renamed")});
    // Restore.
    modify(QStringLiteral("dn: %1\nchangetype: modify\nreplace: givenName\ngivenName: Ann\n\n"
                          "dn: %2\nchangetype: modify\nreplace: givenName\ngivenName: Ben\n\n"
                          "dn: %3\nchangetype: add\nobjectClass: user\nsAMAccountName: %4dee\nuserAccountControl: 546\n"
                          "givenName: Dee\nsn: Delta\n\n")
               .arg(ou.user(QStringLiteral("Rep Ann")), ou.user(QStringLiteral("Rep Ben")),
                    ou.user(QStringLiteral("Rep Dee")), ou.tag));
    modify(QStringLiteral("dn:: %1\nchangetype: modify\nreplace: givenName\ngivenName:: %2\n\n")
               .arg(b64(ou.user(QStringLiteral("Ünï Çødé"))), b64(QStringLiteral("Ünï"))));
}

TEST_F(ReplaceDomain, AValueThatAppearedAfterThePreviewIsNotOverwritten)
{
    Rule r = ruleFor(QStringLiteral("givenName"));
    r.valueNotSet = true;
    r.replace = QStringLiteral("Added");
    auto rows = preview(r);
    tickOnly(rows, {QStringLiteral("Rep Mailbox"), QStringLiteral("Rep NoMailbox")});
    const QString late = ou.user(QStringLiteral("Rep NoMailbox"));
    ASSERT_EQ(modify(QStringLiteral("dn: %1\nchangetype: modify\nadd: givenName\ngivenName: Late\n\n").arg(late)), QString());
    ReplaceRun run(adminContext());
    const ApplySummary s = run.apply(r, rows, nullptr);
    EXPECT_EQ(s.succeeded, 1);
    EXPECT_EQ(s.skipped, 1);
    EXPECT_EQ(byCn(rows, QStringLiteral("Rep NoMailbox"))->status, Skipped);
    EXPECT_EQ(valuesOf(late, QStringLiteral("givenName")), QStringList{QStringLiteral("Late")});
    EXPECT_EQ(valuesOf(ou.user(QStringLiteral("Rep Mailbox")), QStringLiteral("givenName")),
              QStringList{QStringLiteral("Added")});
    modify(QStringLiteral("dn: %1\nchangetype: modify\ndelete: givenName\n\ndn: %2\nchangetype: modify\ndelete: givenName\n\n")
               .arg(late, ou.user(QStringLiteral("Rep Mailbox"))));
}

TEST_F(ReplaceDomain, DelegatedAccountIsRefusedRowByRowAndNothingChanges)
{
    // The delegate may write telephones and addresses of its OU's users, not titles.
    TConnectionContext ctx = adminContext();
    ctx.UserName = testsupport::fact("DELEGATE_UPN");
    ctx.Password = testsupport::fact("DELEGATE_PASSWORD");
    Rule r = ruleFor(QStringLiteral("title"));
    r.replace = QStringLiteral("Should Not Be Written");
    ReplaceRun run(ctx);
    std::vector<Row> rows;
    const QString base = testsupport::fact("DELEGATE_OU");
    ASSERT_EQ(run.preview(r, ctx.ServerPrefix + base, false, QStringLiteral("(title=*)"), [&](Row &&row) {
        if (rows.size() < 3)
            rows.push_back(std::move(row));
        return rows.size() < 3;
    }), QString());
    ASSERT_EQ(rows.size(), 3u);
    const ApplySummary s = run.apply(r, rows, nullptr);
    EXPECT_EQ(s.failed, 3);
    EXPECT_EQ(s.visited, 3);  // every row tried: a refusal does not end the run
    for (const Row &row : rows) {
        EXPECT_EQ(row.status, Failed);
        EXPECT_TRUE(row.outcome.startsWith(QStringLiteral("FAILED "))) << row.outcome.toStdString();
        EXPECT_FALSE(valuesOf(row.dn, QStringLiteral("title")).contains(QStringLiteral("Should Not Be Written")));
    }
}

TEST_F(ReplaceDomain, TargetsOverTheCatalogueLimitAreRefusedAtPreview)
{
    Rule r = ruleFor(QStringLiteral("initials"));  // at most 6 characters
    r.valueNotSet = true;
    r.replace = QStringLiteral("<%sn%>-x");
    QString error;
    const auto rows = preview(r, &error);
    EXPECT_TRUE(error.contains(QStringLiteral("at most 6"))) << error.toStdString();
    EXPECT_TRUE(dnsOf(ou.dn, users(QStringLiteral("(initials=*)"))).isEmpty());
}

TEST_F(ReplaceDomain, StopEndsAfterTheCurrentRowAndTheLogSaysSo)
{
    Rule r = ruleFor(QStringLiteral("physicalDeliveryOfficeName"));
    r.valueNotSet = true;
    r.replace = QStringLiteral("Stop Test");
    auto rows = preview(r);
    ASSERT_GE(rows.size(), 4u);
    QTemporaryDir dir;
    ReplaceLog log;
    QString error;
    ASSERT_TRUE(log.open(dir.filePath(QStringLiteral("stop.txt")), &error));
    ApplyHooks hooks;
    int asked = 0;
    hooks.stopRequested = [&] { return ++asked == 2; };
    const ApplySummary s = ReplaceRun(adminContext()).apply(r, rows, &log, hooks);
    log.close();
    EXPECT_TRUE(s.stopped);
    EXPECT_EQ(s.succeeded, 2);
    EXPECT_EQ(rows[2].status, NotApplied);
    EXPECT_EQ(dnsOf(ou.dn, users(QStringLiteral("(physicalDeliveryOfficeName=Stop Test)"))).size(), 2);
    QFile f(dir.filePath(QStringLiteral("stop.txt")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(f.readAll()).contains(QStringLiteral("\r\n[STOPPED!]\r\n2 items was processed for ")));
    modify(QStringLiteral("dn: %1\nchangetype: modify\ndelete: physicalDeliveryOfficeName\n\n"
                          "dn: %2\nchangetype: modify\ndelete: physicalDeliveryOfficeName\n\n")
               .arg(rows[0].dn, rows[1].dn));
}

TEST_F(ReplaceDomain, ALogThatCannotBeWrittenStopsApplyBeforeAnyUnloggedWrite)
{
    Rule r = ruleFor(QStringLiteral("physicalDeliveryOfficeName"));
    r.valueNotSet = true;
    r.replace = QStringLiteral("Unlogged");
    auto rows = preview(r);
    ASSERT_GE(rows.size(), 2u);
    // /dev/full opens and then refuses every line: the header already fails.
    ReplaceLog log;
    QString error;
    ASSERT_TRUE(log.open(QStringLiteral("/dev/full"), &error)) << error.toStdString();
    const ApplySummary s = ReplaceRun(adminContext()).apply(r, rows, &log);
    EXPECT_TRUE(s.logFailed);
    EXPECT_TRUE(s.stopped);
    EXPECT_EQ(s.succeeded, 0);
    EXPECT_EQ(rows[0].status, NotApplied);
    EXPECT_TRUE(dnsOf(ou.dn, users(QStringLiteral("(physicalDeliveryOfficeName=Unlogged)"))).isEmpty());
}

TEST_F(ReplaceDomain, ServerLostMidApplyLeavesTheRestNotDone)
{
    ads::closeAllConnections();
    CuttingRelay relay(testsupport::fact("ADDR"), testsupport::fact("LDAP_PORT").toInt(), 3);
    const TConnectionContext ctx = adminContext(QStringLiteral("127.0.0.1:%1").arg(relay.port()));
    Rule r = ruleFor(QStringLiteral("description"));
    r.valueNotSet = true;
    r.replace = QStringLiteral("cut test");
    auto rows = preview(r, nullptr, ctx);
    ASSERT_EQ(rows.size(), 9u);
    QTemporaryDir dir;
    ReplaceLog log;
    QString error;
    ASSERT_TRUE(log.open(dir.filePath(QStringLiteral("cut.txt")), &error));
    ReplaceRun run(ctx);
    const ApplySummary s = run.apply(r, rows, &log);
    log.close();
    EXPECT_TRUE(relay.cut());
    EXPECT_TRUE(s.serverLost);
    EXPECT_EQ(s.succeeded, 2);
    // The third request left and the connection broke before an answer: from here nobody can
    // tell whether the server applied it.
    EXPECT_EQ(s.failed, 0);
    EXPECT_EQ(s.notKnown, 1);
    EXPECT_EQ(s.notDone, 6);
    EXPECT_EQ(rows[2].status, NotKnown);
    for (std::size_t i = 3; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].status, NotDone);
    // The first two are written; the others are not.
    EXPECT_EQ(dnsOf(ou.dn, users(QStringLiteral("(description=cut test)"))),
              (QSet<QString>{rows[0].dn.toLower(), rows[1].dn.toLower()}));
    QFile f(dir.filePath(QStringLiteral("cut.txt")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    EXPECT_EQ(text.count(QStringLiteral("[SUCCEEDED]")), 2);
    EXPECT_EQ(text.count(QStringLiteral("[NOT DONE")), 6);
    EXPECT_EQ(text.count(QStringLiteral("]; [NOT KNOWN ")), 1);
    EXPECT_EQ(text.count(QStringLiteral("FAILED")), 0);
    ads::closeAllConnections();
    modify(QStringLiteral("dn: %1\nchangetype: modify\ndelete: description\n\ndn: %2\nchangetype: modify\ndelete: description\n\n")
               .arg(rows[0].dn, rows[1].dn));
}

// A server that applies a modify and does not answer within the operation timeout: the row
// is not known ("may have been applied"), neither failed nor succeeded, in the row, the
// summary and the log; the directory holds the value.
TEST_F(ReplaceDomain, TimedOutModifyIsNotKnownAndMayHaveBeenApplied)
{
    ads::closeAllConnections();
    CuttingRelay relay(testsupport::fact("ADDR"), testsupport::fact("LDAP_PORT").toInt(), 2, CuttingRelay::Mode::HoldAnswer);
    const TConnectionContext ctx = adminContext(QStringLiteral("127.0.0.1:%1").arg(relay.port()));
    Rule r = ruleFor(QStringLiteral("description"));
    r.valueNotSet = true;
    r.replace = QStringLiteral("held answer");
    auto rows = preview(r, nullptr, ctx);
    ASSERT_EQ(rows.size(), 9u);
    QTemporaryDir dir;
    ReplaceLog log;
    QString error;
    ASSERT_TRUE(log.open(dir.filePath(QStringLiteral("held.txt")), &error));
    ads::setOperationTimeout(2);
    const ApplySummary s = ReplaceRun(ctx).apply(r, rows, &log);
    ads::setOperationTimeout(60);
    log.close();
    ads::closeAllConnections();
    EXPECT_TRUE(relay.cut());
    EXPECT_EQ(s.succeeded, 1);
    EXPECT_EQ(s.notKnown, 1);
    EXPECT_EQ(s.failed, 0);
    EXPECT_EQ(s.notDone, 7);
    EXPECT_EQ(rows[1].status, NotKnown);
    EXPECT_TRUE(rows[1].outcome.contains(QStringLiteral("may have been applied"))) << rows[1].outcome.toStdString();
    // The server did apply it.
    EXPECT_EQ(valuesOf(rows[1].dn, QStringLiteral("description")), QStringList{QStringLiteral("held answer")});
    QFile f(dir.filePath(QStringLiteral("held.txt")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("[%1]; [<blank>]; [held answer]; [NOT KNOWN The server did not confirm the "
                                             "change: it may have been applied.")
                                  .arg(rows[1].dn)))
        << text.toStdString();
    EXPECT_EQ(text.count(QStringLiteral("FAILED")), 0);
    modify(QStringLiteral("dn: %1\nchangetype: modify\ndelete: description\n\ndn: %2\nchangetype: modify\ndelete: description\n\n")
               .arg(rows[0].dn, rows[1].dn));
}

} // namespace
