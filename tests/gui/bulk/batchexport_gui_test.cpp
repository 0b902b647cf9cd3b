// The batch export window against the test domain: the 50-row sample, the filter, the default
// columns and the request it hands to the export window.
#include "bulk/exportengine.h"
#include "bulk/unBatchExport.h"
#include "core/unConnection.h"
#include "platform/adsi/adspath.h"
#include "export_support.h"
#include "support/ldaptools.h"
#include "support/testdomain.h"
#include "main/unCatalogue.h"

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QDateTime>
#include <QSet>

#include <algorithm>
#include <gtest/gtest.h>

using testsupport::fact;

namespace {

const QString kUsers = QStringLiteral("(&(objectCategory=person)(objectClass=user))");

class BatchExport : public ::testing::Test {
protected:
    void SetUp() override
    {
        ARV_REQUIRE_DOMAIN();
        exporttest::connectAsAdmin();
        ASSERT_FALSE(ConnectionContext().DomainPath.isEmpty());
        bulkOu = QStringLiteral("OU=Bulk,") + fact("SEED_OU");
        w.setColumnChooser([this](QWidget *, QList<bulk::ExportColumnItem> &columns, QString &) {
            chooserSaw = columns;
            return false;  // cancelled
        });
        w.setExportWindow([this](QWidget *, const bulk::ExportRequest &r) { handed = r; ++exports; });
    }
    QTableWidget *grid() { return w.findChild<QTableWidget *>(QStringLiteral("NextGrid")); }
    QString panel(int i) { return w.findChild<QLabel *>(QStringLiteral("StatusPanel%1").arg(i))->text(); }
    QPushButton *exportButton() { return w.findChild<QPushButton *>(QStringLiteral("btExport")); }

    TfrmBatchExport w;
    QString bulkOu;
    QList<bulk::ExportColumnItem> chooserSaw;
    bulk::ExportRequest handed;
    int exports = 0;
};

TEST_F(BatchExport, SampleShowsFiftyAndTheExportCoversEveryUser)
{
    w.setContainer(ConnectionContext().ServerPrefix + ads::escapePathDn(bulkOu), QStringLiteral("Bulk"), true);
    EXPECT_EQ(w.findChild<QLabel *>(QStringLiteral("lbContainerForExport"))->text(), QStringLiteral("Bulk"));
    // A fresh window: no columns, empty grid, Export disabled.
    EXPECT_EQ(grid()->rowCount(), 0);
    EXPECT_FALSE(exportButton()->isEnabled());
    // A cancelled chooser still brings the 17 default columns and the sample.
    w.btColumsClick();
    EXPECT_EQ(chooserSaw.size(), 17);
    EXPECT_EQ(w.columnList().size(), 17);
    EXPECT_EQ(grid()->columnCount(), 18);
    EXPECT_EQ(grid()->horizontalHeaderItem(1)->text(), QStringLiteral("Common Name"));
    EXPECT_EQ(grid()->rowCount(), 50);
    EXPECT_EQ(panel(2), QStringLiteral("The first 50 accounts"));
    ASSERT_TRUE(exportButton()->isEnabled());

    w.btExportClick();
    ASSERT_EQ(exports, 1);
    EXPECT_EQ(handed.sourceText, QStringLiteral("Selected [Bulk]"));
    EXPECT_EQ(handed.scope, ads::ADS_SCOPE_ONELEVEL);
    EXPECT_EQ(handed.columns.size(), 17);
    EXPECT_EQ(handed.columns.last().ldapName, QStringLiteral("lastLogon"));
    // The request covers every user of the container, not the 50 of the sample.
    QTemporaryDir dir;
    bulk::ExportOptions o;
    o.fileName = dir.filePath(QStringLiteral("all.csv"));
    const bulk::ExportResult r = bulk::ExportEngine().run(handed, o);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_EQ(r.written, testsupport::ldapCount(bulkOu, kUsers));
    EXPECT_GT(r.written, 50);
}

TEST_F(BatchExport, FilterNarrowsTheSampleAndCancelRemovesIt)
{
    w.setContainer(ConnectionContext().ServerPrefix + ads::escapePathDn(bulkOu), QStringLiteral("Bulk"), true);
    w.btColumsClick();
    ASSERT_EQ(grid()->rowCount(), 50);
    w.setFilterBuilder([](QWidget *, QString &filter, bool &fromBuilder) {
        filter = QStringLiteral("(sn=NoSuchSurname-xyz)");
        fromBuilder = false;
        return true;
    });
    w.btRestrictionsClick();
    EXPECT_EQ(grid()->rowCount(), 0);
    EXPECT_EQ(panel(2), QStringLiteral("No items"));
    EXPECT_FALSE(exportButton()->isEnabled());
    EXPECT_TRUE(panel(0).endsWith(QStringLiteral(" [Filter Activated]")));
    EXPECT_EQ(w.request().filter, QStringLiteral("(&(objectCategory=person)(objectClass=user)(sn=NoSuchSurname-xyz))"));

    w.setFilterBuilder([](QWidget *, QString &, bool &) { return false; });
    w.btRestrictionsClick();
    EXPECT_TRUE(w.filter().isEmpty());
    EXPECT_FALSE(panel(0).contains(QStringLiteral("[Filter Activated]")));
    EXPECT_EQ(grid()->rowCount(), 50);
}

TEST_F(BatchExport, MemberOfShowsThePrimaryGroupAndDatesSortAsDates)
{
    w.setColumnChooser([](QWidget *, QList<bulk::ExportColumnItem> &columns, QString &) {
        columns.clear();
        for (const char *n : {"cn", "memberOf", "whenCreated", "pwdLastSet"}) {
            const ADSIUserField *e = EntryByLdapName(QLatin1String(n));
            columns << bulk::ExportColumnItem(e->caption.toString(), e->key);
        }
        return true;
    });
    const QString showcase = QStringLiteral("OU=Showcase,") + fact("SEED_OU");
    w.setContainer(ConnectionContext().ServerPrefix + ads::escapePathDn(showcase), QStringLiteral("Showcase"), false);
    w.btColumsClick();
    ASSERT_GT(grid()->rowCount(), 3);

    // The groups as the directory has them, with the primary group (Domain Users) added.
    const QString domainUsers = QStringLiteral("CN=Domain Users,CN=Users,") + fact("BASE_DN");
    QHash<QString, QSet<QString>> groups;
    for (const auto &e : testsupport::ldapSearch(showcase, kUsers, {QStringLiteral("cn"), QStringLiteral("memberOf"),
                                                                    QStringLiteral("primaryGroupID")})) {
        if (e.text(QStringLiteral("primaryGroupID")) != QLatin1String("513"))
            continue;
        QSet<QString> g{domainUsers};
        for (const QByteArray &v : e.values(QStringLiteral("memberOf")))
            g.insert(QString::fromUtf8(v));
        groups.insert(e.text(QStringLiteral("cn")), g);
    }
    int onlyPrimary = 0, checked = 0;
    for (int r = 0; r < grid()->rowCount(); ++r) {
        const auto it = groups.constFind(grid()->item(r, 1)->text());
        if (it == groups.constEnd())
            continue;
        const QStringList shown = grid()->item(r, 2)->text().split(QLatin1Char('\r'));
        EXPECT_EQ(QSet<QString>(shown.begin(), shown.end()), *it) << grid()->item(r, 1)->text().toStdString();
        onlyPrimary += it->size() == 1;
        ++checked;
    }
    EXPECT_GT(checked, 3);
    EXPECT_GT(onlyPrimary, 0) << "the showcase has users in no group but their primary one";

    // A header click sorts a date column by date, either way, blank cells before the dates
    // when ascending.
    for (int column : {3, 4}) {
        for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            grid()->sortByColumn(column, order);
            QList<QDateTime> seen;
            for (int r = 0; r < grid()->rowCount(); ++r)
                seen << grid()->item(r, column)->data(Qt::DisplayRole).toDateTime();
            ASSERT_TRUE(std::any_of(seen.begin(), seen.end(), [](const QDateTime &d) { return d.isValid(); }));
            for (int r = 1; r < seen.size(); ++r) {
                const QDateTime &a = order == Qt::AscendingOrder ? seen.at(r - 1) : seen.at(r);
                const QDateTime &b = order == Qt::AscendingOrder ? seen.at(r) : seen.at(r - 1);
                EXPECT_TRUE(!a.isValid() || (b.isValid() && a <= b)) << column << " row " << r;
            }
        }
    }
}

}  // namespace
