// The user grid on the offscreen platform, found by its control name: columns, hidden
// columns, dragging columns, sorting by header click, keyboard selection and Ctrl+C.
#include "main/unUserGrid.h"
#include "main/unUserListing.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

using namespace userlist;

namespace {

class UserGridGui : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = std::make_unique<QWidget>();
        list = new TUserList(window.get());
        new TUserGrid(list, window.get());
        window->resize(1200, 400);
        grid()->resize(1200, 400);
        addUser(QStringLiteral("Carol"), QStringLiteral("carol@x.test"), 45200.5, 0x200);
        addUser(QStringLiteral("alice"), QStringLiteral("alice@x.test"), 0, 0x202);
        addUser(QStringLiteral("Bob"), QStringLiteral("bob@x.test"), 45100.25, 0x10200);
        grid()->fillGrid();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    void addUser(const QString &cn, const QString &mail, double lastLogon, int uac)
    {
        TShellItem t;
        t.setText(Field::DistinguishedName, QStringLiteral("CN=%1,OU=Grid,DC=x,DC=test").arg(cn));
        t.setText(Field::Cn, cn);
        t.setText(Field::DisplayName, cn + QStringLiteral(" D"));
        t.setText(Field::Mail, mail);
        t.lastLogon = lastLogon;
        t.userAccountControl = uac;
        list->rows().append(std::move(t));
    }

    TUserGrid *grid() const { return window->findChild<TUserGrid *>(QStringLiteral("NextGrid")); }
    QString cell(int row, int tag) const
    {
        return grid()->model()->index(row, columnOfTag(tag)).data().toString();
    }
    std::vector<QString> cnColumn() const
    {
        std::vector<QString> out;
        for (int r = 0; r < grid()->model()->rowCount(); ++r)
            out.push_back(cell(r, CnTag));
        return out;
    }
    int visualOf(int tag) const { return grid()->horizontalHeader()->visualIndex(columnOfTag(tag)); }
    QPoint headerPoint(int tag) const
    {
        const QHeaderView *h = grid()->horizontalHeader();
        const int logical = columnOfTag(tag);
        return QPoint(h->sectionViewportPosition(logical) + h->sectionSize(logical) / 2, h->height() / 2);
    }

    std::unique_ptr<QWidget> window;
    TUserList *list = nullptr;
};

} // namespace

TEST_F(UserGridGui, ColumnsNamesWidthsAndHiddenSet)
{
    TUserGrid *g = grid();
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->model()->columnCount(), 18);
    const QAbstractItemModel *m = g->model();
    EXPECT_EQ(m->headerData(0, Qt::Horizontal, UserGridModel::NameRole).toString(), QStringLiteral("NxFFFFFFFB"));
    EXPECT_EQ(m->headerData(17, Qt::Horizontal, UserGridModel::NameRole).toString(), QStringLiteral("Nx00000051"));
    EXPECT_EQ(m->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Common Name"));
    EXPECT_EQ(g->columnWidth(0), IconColumnWidth);
    EXPECT_EQ(g->columnWidth(5), TextColumnWidth);

    g->setHiddenTags({0, 1, 3, 4, 5, 10, 17, 18, 19, 20, 21, 22, 23, -3, -2});
    std::vector<int> visible;
    for (int tag : g->visualTags())
        if (!g->isColumnHidden(columnOfTag(tag)))
            visible.push_back(tag);
    // Icon, Common Name, Display Name, E-Mail and Last Logon; negative tags are never hidden.
    EXPECT_EQ(visible, (std::vector<int>{IconTag, CnTag, DisplayNameTag, 7, LastLogonTag}));
    EXPECT_EQ(g->hiddenTags(), (std::vector<int>{0, 1, 3, 4, 5, 10, 17, 18, 19, 20, 21, 22, 23}));

    // Hidden tags come back in the grid's visual order.
    g->horizontalHeader()->moveSection(visualOf(23), 3);
    EXPECT_EQ(g->hiddenTags().front(), 23);
}

TEST_F(UserGridGui, DraggingColumnsKeepsTheFixedColumnsAtTheLeft)
{
    TUserGrid *g = grid();
    QHeaderView *h = g->horizontalHeader();
    EXPECT_TRUE(h->sectionsMovable());
    h->moveSection(visualOf(LastLogonTag), 3);
    EXPECT_EQ(visualOf(LastLogonTag), 3);
    EXPECT_EQ(g->visualTags()[3], LastLogonTag);

    // A column dropped among the fixed ones, or a fixed one dragged away, goes back.
    h->moveSection(visualOf(7), 1);
    EXPECT_GT(visualOf(7), 2);
    h->moveSection(visualOf(CnTag), 6);
    EXPECT_EQ(visualOf(IconTag), 0);
    EXPECT_EQ(visualOf(CnTag), 1);
    EXPECT_EQ(visualOf(DisplayNameTag), 2);
}

TEST_F(UserGridGui, FixedColumnsStayInViewAndSortFromTheirHeader)
{
    TUserGrid *g = grid();
    g->resize(300, 200);
    QApplication::processEvents();
    auto *fixed = g->findChild<QTableView *>(QStringLiteral("NextGridFixedColumns"));
    ASSERT_NE(fixed, nullptr);
    g->horizontalScrollBar()->setValue(g->horizontalScrollBar()->maximum());
    QApplication::processEvents();
    ASSERT_GT(g->horizontalScrollBar()->value(), 0);
    EXPECT_TRUE(fixed->isVisible());
    EXPECT_EQ(fixed->width(), IconColumnWidth + 2 * TextColumnWidth);
    EXPECT_EQ(fixed->model()->index(0, columnOfTag(CnTag)).data().toString(), cell(0, CnTag));

    const QHeaderView *h = fixed->horizontalHeader();
    const int logical = columnOfTag(CnTag);
    const QPoint p(h->sectionViewportPosition(logical) + h->sectionSize(logical) / 2, h->height() / 2);
    QTest::mouseClick(fixed->horizontalHeader()->viewport(), Qt::LeftButton, {}, p);
    EXPECT_EQ(cnColumn(), (std::vector<QString>{QStringLiteral("alice"), QStringLiteral("Bob"), QStringLiteral("Carol")}));
    QTest::mouseClick(fixed->horizontalHeader()->viewport(), Qt::LeftButton, {}, p);
    EXPECT_EQ(cnColumn().front(), QStringLiteral("Carol"));
}

TEST_F(UserGridGui, HeaderClickSortsLastLogonAsDatesNeverFirst)
{
    TUserGrid *g = grid();
    EXPECT_TRUE(cell(1, LastLogonTag).isEmpty());  // never logged on: empty cell
    QTest::mouseClick(g->horizontalHeader()->viewport(), Qt::LeftButton, {}, headerPoint(LastLogonTag));
    EXPECT_EQ(cnColumn(), (std::vector<QString>{QStringLiteral("alice"), QStringLiteral("Bob"), QStringLiteral("Carol")}));
    QTest::mouseClick(g->horizontalHeader()->viewport(), Qt::LeftButton, {}, headerPoint(LastLogonTag));
    EXPECT_EQ(cnColumn(), (std::vector<QString>{QStringLiteral("Carol"), QStringLiteral("Bob"), QStringLiteral("alice")}));

    // Rows still carry their own record after sorting.
    for (int r = 0; r < 3; ++r) {
        const QModelIndex cn = g->model()->index(r, columnOfTag(CnTag));
        const int record = cn.data(UserGridModel::CarriedIndexRole).toInt();
        EXPECT_EQ(list->rows().at(record).text(Field::Cn), cn.data().toString());
        EXPECT_EQ(list->rows().at(record).text(Field::DistinguishedName),
                  cn.data(UserGridModel::CarriedDnRole).toString());
    }

    // Clicking the Common Name header sorts by name and sets every column from 1 on to 80.
    g->setColumnWidth(columnOfTag(7), 200);
    QTest::mouseClick(g->horizontalHeader()->viewport(), Qt::LeftButton, {}, headerPoint(CnTag));
    EXPECT_EQ(cnColumn(), (std::vector<QString>{QStringLiteral("alice"), QStringLiteral("Bob"), QStringLiteral("Carol")}));
    EXPECT_EQ(g->columnWidth(columnOfTag(7)), TextColumnWidth);
    EXPECT_EQ(g->columnWidth(0), IconColumnWidth);
}

TEST_F(UserGridGui, SortShortcutSortsByTheCurrentColumnAndReverses)
{
    TUserGrid *g = grid();
    g->setFocus();
    g->setCurrentIndex(g->model()->index(0, columnOfTag(LastLogonTag)));   // Carol's Last Logon cell
    QTest::keyClick(g, Qt::Key_F4);
    EXPECT_EQ(cnColumn(), (std::vector<QString>{QStringLiteral("alice"), QStringLiteral("Bob"), QStringLiteral("Carol")}));
    EXPECT_EQ(g->horizontalHeader()->sortIndicatorSection(), columnOfTag(LastLogonTag));
    // The current cell follows its user, so the next press reverses the same column.
    EXPECT_EQ(cell(g->currentIndex().row(), CnTag), QStringLiteral("Carol"));
    QTest::keyClick(g, Qt::Key_F4);
    EXPECT_EQ(cnColumn(), (std::vector<QString>{QStringLiteral("Carol"), QStringLiteral("Bob"), QStringLiteral("alice")}));
    EXPECT_EQ(g->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);

    // Another column starts ascending; the name column also resets the widths as its header does.
    g->setColumnWidth(columnOfTag(7), 200);
    QTest::keyClick(g, Qt::Key_Home);    // the row's first column (the icon) ...
    QTest::keyClick(g, Qt::Key_Right);   // ... then Common Name
    ASSERT_EQ(g->currentIndex().column(), columnOfTag(CnTag));
    QTest::keyClick(g, Qt::Key_F4);
    EXPECT_EQ(cnColumn(), (std::vector<QString>{QStringLiteral("alice"), QStringLiteral("Bob"), QStringLiteral("Carol")}));
    EXPECT_EQ(g->columnWidth(columnOfTag(7)), TextColumnWidth);
}

TEST_F(UserGridGui, KeyboardSelectionBindsEachUserOnce)
{
    TUserGrid *g = grid();
    QSignalSpy selected(g, &TUserGrid::userSelected);
    g->setFocus();
    QTest::keyClick(g, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(g, Qt::Key_Down);
    ASSERT_GE(selected.count(), 1);
    const QList<QVariant> last = selected.last();
    EXPECT_EQ(last.at(1).toString(), QStringLiteral("CN=alice,OU=Grid,DC=x,DC=test"));
    EXPECT_EQ(list->selectedRowIndex(), last.at(0).toInt());

    // Moving to another column of the same row binds nothing again.
    const int before = selected.count();
    QTest::keyClick(g, Qt::Key_Right);
    EXPECT_EQ(selected.count(), before);

    // Down and back up: each change of user binds again, after sorting too.
    QTest::keyClick(g, Qt::Key_Down);
    EXPECT_EQ(selected.count(), before + 1);
    EXPECT_EQ(selected.last().at(1).toString(), QStringLiteral("CN=Bob,OU=Grid,DC=x,DC=test"));
    g->sortByColumn(columnOfTag(CnTag), Qt::DescendingOrder);   // Carol, Bob, alice; Bob stays current
    EXPECT_EQ(selected.count(), before + 1);
    QTest::keyClick(g, Qt::Key_Up);
    EXPECT_EQ(selected.last().at(1).toString(), QStringLiteral("CN=Carol,OU=Grid,DC=x,DC=test"));
    EXPECT_EQ(list->rows().at(list->selectedRowIndex()).text(Field::Cn), QStringLiteral("Carol"));
}

TEST_F(UserGridGui, CtrlCCopiesSelectedRowsOfVisibleColumns)
{
    TUserGrid *g = grid();
    g->setHiddenTags({0, 1, 3, 4, 5, 10, 17, 18, 19, 20, 21, 22, 23});
    g->horizontalHeader()->moveSection(visualOf(LastLogonTag), 3);   // before E-Mail
    g->setFocus();
    QTest::keyClick(g, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(g, Qt::Key_Down, Qt::ShiftModifier);
    QApplication::clipboard()->clear();
    QTest::keyClick(g, Qt::Key_C, Qt::ControlModifier);
    const QString lastLogon = lastLogonText(45200.5);
    ASSERT_FALSE(lastLogon.isEmpty());
    EXPECT_EQ(QApplication::clipboard()->text(),
              QStringLiteral("Carol\tCarol D\t%1\tcarol@x.test\nalice\talice D\t\talice@x.test\n").arg(lastLogon));
}

TEST_F(UserGridGui, AlignmentButtonsActOnTheCurrentColumn)
{
    TUserGrid *g = grid();
    g->setCurrentIndex(g->model()->index(0, columnOfTag(7)));
    g->alignCurrentColumn(Qt::AlignRight);
    const int align = g->model()->index(2, columnOfTag(7)).data(Qt::TextAlignmentRole).toInt();
    EXPECT_TRUE(align & Qt::AlignRight);
    const int other = g->model()->index(2, columnOfTag(CnTag)).data(Qt::TextAlignmentRole).toInt();
    EXPECT_TRUE(other & Qt::AlignLeft);
    g->alignCurrentColumn(Qt::AlignHCenter);
    EXPECT_TRUE(g->model()->index(0, columnOfTag(7)).data(Qt::TextAlignmentRole).toInt() & Qt::AlignHCenter);
}

TEST_F(UserGridGui, StateIconsDifferPerState)
{
    const QImage normal = userStateIcon(StateNormal).pixmap(16, 16).toImage();
    for (int s = 1; s <= 3; ++s)
        EXPECT_NE(userStateIcon(s).pixmap(16, 16).toImage(), normal) << s;
    EXPECT_EQ(grid()->model()->index(1, 0).data(UserGridModel::StateRole).toInt(), StateDisabled);
    EXPECT_FALSE(grid()->model()->index(1, 0).data(Qt::DecorationRole).isNull());
}
