// The catalogue window, the parameter dialogs and the result grid's rows, without a directory.
#include "reports/unDaysNumber.h"
#include "reports/unDynamicgroupSelect.h"
#include "reports/unReports.h"
#include "reports/unReportsStore.h"
#include "platform/adsi/adstypes.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace reports;

namespace {

DomainSettings domain(int level, int syncDays = 15)
{
    DomainSettings d;
    d.domainFunctionality = level;
    d.logonTimeSyncIntervalDays = syncDays;
    d.exchange = true;
    return d;
}

// Types text into the days box and leaves the dialog the given way.
QString daysAfter(int report, const DomainSettings &d, const QString &typed, bool ok)
{
    TfrmDaysNumber dlg(*reportByNumber(report), d, QString());
    auto *box = dlg.findChild<QComboBox *>(QStringLiteral("cbDays"));
    box->setEditText(typed);
    if (ok)
        dlg.findChild<QPushButton *>(QStringLiteral("btOK"))->click();
    else
        dlg.reject();
    return dlg.daysText();
}

TEST(DaysDialog, NumbersThatAreNotUsableBecomeTheStep)
{
    const DomainSettings d = domain(4, 14);
    EXPECT_EQ(daysAfter(4, d, QStringLiteral("abc"), true), QStringLiteral("14"));
    EXPECT_EQ(daysAfter(4, d, QString(), true), QStringLiteral("14"));
    EXPECT_EQ(daysAfter(4, d, QStringLiteral("-20"), true), QStringLiteral("14"));
    EXPECT_EQ(daysAfter(4, d, QStringLiteral("3"), true), QStringLiteral("14"));
    EXPECT_EQ(daysAfter(4, d, QStringLiteral("60"), true), QStringLiteral("60"));
    // Closing without OK checks the number too: the first run uses it.
    EXPECT_EQ(daysAfter(5, d, QStringLiteral("x1"), false), QStringLiteral("14"));
    // The password reports accept any day count from 1.
    EXPECT_EQ(daysAfter(24, d, QStringLiteral("0"), true), QStringLiteral("1"));
    EXPECT_EQ(daysAfter(24, d, QStringLiteral("3"), true), QStringLiteral("3"));
    // Below level 2 the step is 5.
    EXPECT_EQ(daysAfter(4, domain(0), QStringLiteral("2"), true), QStringLiteral("5"));
}

TEST(DaysDialog, ListAndWordingFollowTheReport)
{
    TfrmDaysNumber dlg(*reportByNumber(11), domain(4), QString());
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("  Please, specify the number of days"));
    auto *box = dlg.findChild<QComboBox *>(QStringLiteral("cbDays"));
    ASSERT_EQ(box->count(), 10);
    EXPECT_EQ(box->itemText(0), QStringLiteral("15"));
    EXPECT_EQ(box->itemText(9), QStringLiteral("150"));
    EXPECT_EQ(box->currentText(), QStringLiteral("15"));
    auto *word = dlg.findChild<QLabel *>(QStringLiteral("lbHaveNot"));
    EXPECT_EQ(word->text(), QStringLiteral("will "));
    EXPECT_TRUE(word->styleSheet().contains(QStringLiteral("red")));
    EXPECT_EQ(dlg.findChild<QLabel *>(QStringLiteral("lbLoggedTheLast"))->text(), QStringLiteral("Expire in next"));
    TfrmDaysNumber again(*reportByNumber(7), domain(4), QStringLiteral("45"));
    EXPECT_EQ(again.daysText(), QStringLiteral("45"));
    EXPECT_TRUE(again.findChild<QLabel *>(QStringLiteral("lbHaveNot"))->styleSheet().contains(QStringLiteral("navy")));
}

TEST(GroupDialog, PresetsThePreviousGroup)
{
    const QList<GroupChoice> groups{{QStringLiteral("A"), QStringLiteral("CN=A"), 1},
                                    {QStringLiteral("B"), QStringLiteral("CN=B"), 2}};
    TfrmDaysNumber first(*reportByNumber(18), groups, QString());
    EXPECT_EQ(first.windowTitle(), QStringLiteral("    Please, specify the Group..."));
    EXPECT_EQ(first.group()->dn, QStringLiteral("CN=A"));
    TfrmDaysNumber again(*reportByNumber(18), groups, QStringLiteral("B"));
    EXPECT_EQ(again.group()->token, 2);
    TfrmDaysNumber none(*reportByNumber(19), QList<GroupChoice>{}, QString());
    EXPECT_EQ(none.group(), nullptr);
}

TEST(DynamicGroupChooser, SortsByNameAndReversesOnASecondClick)
{
    const QList<DynamicGroupChoice> groups{
        {QStringLiteral("beta"), QStringLiteral("Universal Distribution"), QStringLiteral("d/Z"), QStringLiteral("CN=beta")},
        {QStringLiteral("Alpha"), QStringLiteral("Global Distribution"), QStringLiteral("d/Y"), QStringLiteral("CN=Alpha")},
        {QStringLiteral("gamma"), QStringLiteral("Domain Local"), QStringLiteral("d/X"), QStringLiteral("CN=gamma")}};
    TfrmDynamicgroupSelect dlg(groups);
    QTreeWidget *list = dlg.list();
    auto names = [list] {
        QStringList n;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            n << list->topLevelItem(i)->text(0);
        return n;
    };
    EXPECT_EQ(names(), QStringList({"Alpha", "beta", "gamma"}));
    dlg.sortByColumn(0);
    EXPECT_EQ(names(), QStringList({"gamma", "beta", "Alpha"}));
    dlg.sortByColumn(2);
    EXPECT_EQ(names(), QStringList({"gamma", "Alpha", "beta"}));

    auto *ok = dlg.findChild<QPushButton *>(QStringLiteral("btOK"));
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_EQ(dlg.chosen(), nullptr);
    list->topLevelItem(1)->setSelected(true);
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_EQ(dlg.chosen()->dn, QStringLiteral("CN=Alpha"));
}

TEST(ReportCatalogueWindow, OpensOnUsersAndHidesExchangeWithoutIt)
{
    TfrmReports withExchange(domain(4));
    EXPECT_EQ(withExchange.windowTitle(), QStringLiteral("  Reports"));
    EXPECT_EQ(withExchange.tabs()->count(), 5);
    EXPECT_EQ(withExchange.tabs()->currentIndex(), 1);
    EXPECT_EQ(withExchange.chosenReport(), 4);
    withExchange.tabs()->setCurrentIndex(3);
    EXPECT_EQ(withExchange.chosenReport(), 20);
    withExchange.findChild<QWidget *>(QStringLiteral("rbReport25"))->setProperty("checked", true);
    EXPECT_EQ(withExchange.chosenReport(), 25);
    withExchange.tabs()->setCurrentIndex(4);
    EXPECT_EQ(withExchange.chosenReport(), 27);

    DomainSettings plain = domain(4);
    plain.exchange = false;
    TfrmReports without(plain);
    EXPECT_EQ(without.tabs()->count(), 4);
    EXPECT_EQ(without.findChild<QWidget *>(QStringLiteral("rbReport27")), nullptr);
}

} // namespace

// The result grid keeps each row's cells in one text: the cells must come back whole and in
// their columns (empty ones, multi-line ones, any length), sorting by a date or number
// column goes by value and by a text column without case, and rows read after a sort show
// below the sorted ones without disturbing them.
TEST(ReportGrid, CellsStayInTheirColumnsThroughSortsAndLaterRows)
{
    QList<ReportColumn> columns(4);
    columns[0].ldapName = QStringLiteral("cn");
    columns[1].ldapName = QStringLiteral("lastLogon");
    columns[1].date = true;
    columns[2].ldapName = QStringLiteral("logonCount");
    columns[2].number = true;
    columns[3].ldapName = QStringLiteral("description");
    ReportGridModel model;
    model.setColumns(columns, false);
    const QVariant noDate = QVariant::fromValue(ads::AdsDate(0.0));
    const QString longText(5000, QLatin1Char('x'));
    const QList<QVariantList> rows = {
        {QStringLiteral("bravo"), QVariant::fromValue(ads::AdsDate(45000.5)), 10, QStringLiteral("two\r\nlines")},
        {QStringLiteral("Alpha"), noDate, 9, QVariant()},
        {QString(), QVariant::fromValue(ads::AdsDate(44000.25)), 100, longText},
        {QStringLiteral("charlie"), QVariant::fromValue(ads::AdsDate(46000.0)), QVariant(), QStringLiteral("ü€")},
    };
    for (const QVariantList &r : rows)
        model.append(r);
    EXPECT_EQ(model.rowCount(), 0); // shown only after flush
    model.flush();
    ASSERT_EQ(model.rowCount(), 4);
    for (int r = 0; r < rows.size(); ++r)
        for (int c = 0; c < columns.size(); ++c)
            EXPECT_EQ(model.text(r, c), cellText(rows[r].value(c))) << r << "," << c;
    EXPECT_EQ(model.text(2, 3), longText);
    EXPECT_EQ(model.data(model.index(0, 3), Qt::DisplayRole).toString(), QStringLiteral("two\r\nlines"));

    auto column = [&](int c) {
        QStringList out;
        for (int r = 0; r < model.rowCount(); ++r)
            out << model.text(r, c);
        return out;
    };
    model.sort(1, Qt::AscendingOrder); // no date first, then by date
    EXPECT_EQ(column(0), (QStringList{QStringLiteral("Alpha"), QString(), QStringLiteral("bravo"), QStringLiteral("charlie")}));
    model.sort(2, Qt::DescendingOrder); // 100 above 10 above 9: by value, not by text
    EXPECT_EQ(column(2), (QStringList{QStringLiteral("100"), QStringLiteral("10"), QStringLiteral("9"), QString()}));
    EXPECT_EQ(column(0), (QStringList{QString(), QStringLiteral("bravo"), QStringLiteral("Alpha"), QStringLiteral("charlie")}));
    model.sort(0, Qt::AscendingOrder);
    EXPECT_EQ(column(0), (QStringList{QString(), QStringLiteral("Alpha"), QStringLiteral("bravo"), QStringLiteral("charlie")}));
    EXPECT_EQ(column(3).value(1), QString()); // Alpha's row moved whole
    EXPECT_EQ(column(2).value(1), QStringLiteral("9"));

    model.append({QStringLiteral("aardvark"), noDate, 1, QStringLiteral("late")});
    model.flush();
    ASSERT_EQ(model.rowCount(), 5);
    EXPECT_EQ(model.text(4, 0), QStringLiteral("aardvark"));
    EXPECT_EQ(model.text(4, 3), QStringLiteral("late"));
    EXPECT_EQ(model.text(1, 0), QStringLiteral("Alpha"));
    model.sort(0, Qt::AscendingOrder);
    EXPECT_EQ(model.text(1, 0), QStringLiteral("aardvark"));

    // New columns start an empty grid.
    model.setColumns(columns.mid(0, 2), false);
    EXPECT_EQ(model.rowCount(), 0);
    model.append({QStringLiteral("one"), noDate});
    model.flush();
    EXPECT_EQ(model.text(0, 0), QStringLiteral("one"));
    EXPECT_EQ(model.text(0, 1), cellText(noDate));
}
