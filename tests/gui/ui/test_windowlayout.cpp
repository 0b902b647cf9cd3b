// What every window shares about its layout: columns that fit their content until the user
// sizes them, and the size, splitter positions and column widths the user sets, remembered in
// a key of their own across a restart of the program and forgotten again by the reset (the
// program's menu and arvendel-cli settings reset-layout).
#include "platform/registry/registry.h"
#include "ui/windowlayout.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QHeaderView>
#include <QMouseEvent>
#include <QProcess>
#include <QProcessEnvironment>
#include <QScreen>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

// A window as the program builds them: a list of names over a list whose widths the window
// gives, split, and no remembered layout of its own making.
struct ProbeWindow : QDialog {
    QTreeWidget *names;
    QTreeWidget *details;
    QSplitter *split;
    ProbeWindow()
    {
        setObjectName(QStringLiteral("frmLayoutProbe"));
        split = new QSplitter(Qt::Vertical, this);
        split->setObjectName(QStringLiteral("split"));
        names = new QTreeWidget(split);
        names->setObjectName(QStringLiteral("names"));
        names->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Description")});
        details = new QTreeWidget(split);
        details->setObjectName(QStringLiteral("details"));
        details->setHeaderLabels({QStringLiteral("Key"), QStringLiteral("Value"), QStringLiteral("More")});
        for (int c = 0; c < 3; ++c)
            details->setColumnWidth(c, 50);
        ui::setupColumns(details, ui::Columns::Given);
        new QTreeWidgetItem(names, {QStringLiteral("Ada"), QStringLiteral("short")});
        new QTreeWidgetItem(details, {QStringLiteral("a key that is long"), QStringLiteral("v"), QStringLiteral("m")});
        (new QVBoxLayout(this))->addWidget(split);
        ui::setupWindow(this, QSize(420, 320));
    }
};

void showAndSettle(QWidget *w)
{
    w->show();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

void sendMouse(QWidget *target, QEvent::Type type, QPoint at, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, at, target->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &e);
}

// Drags a divider as the user does: press on it, move with the button held, release.
void drag(QWidget *target, QPoint from, QPoint by)
{
    sendMouse(target, QEvent::MouseButtonPress, from, Qt::LeftButton);
    sendMouse(target, QEvent::MouseMove, from + by / 2, Qt::LeftButton);
    sendMouse(target, QEvent::MouseMove, from + by, Qt::LeftButton);
    sendMouse(target, QEvent::MouseButtonRelease, from + by, Qt::NoButton);
    QCoreApplication::processEvents();
}

QPoint dividerOf(QHeaderView *h, int logical)
{
    return QPoint(h->sectionViewportPosition(logical) + h->sectionSize(logical) - 1, h->height() / 2);
}

class WindowMemory : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        store = dir.filePath(QStringLiteral("registry.ini"));
        registry::setStoreFile(store);
    }
    void TearDown() override { registry::setStoreFile(QString()); }

    // The program starts again: the settings are read from the file, not from this run.
    void restart()
    {
        const QString next = dir.filePath(QStringLiteral("registry-%1.ini").arg(++restarts));
        ASSERT_TRUE(QFile::copy(store, next));
        store = next;
        registry::setStoreFile(store);
    }

    QTemporaryDir dir;
    QString store;
    int restarts = 0;
};

} // namespace

TEST_F(WindowMemory, ColumnsFollowTheirContentUntilTheUserSizesThem)
{
    ProbeWindow w;
    showAndSettle(&w);
    QHeaderView *h = w.names->header();
    const int first = h->sectionSize(0);
    EXPECT_TRUE(h->sectionResizeMode(0) == QHeaderView::Interactive);
    EXPECT_TRUE(w.details->header()->sectionResizeMode(0) == QHeaderView::Interactive);
    // The given widths stay as the window set them.
    EXPECT_EQ(w.details->columnWidth(0), 50);

    new QTreeWidgetItem(w.names, {QStringLiteral("Ada Fullprofile-Müller-Lüdenscheidt"), QStringLiteral("x")});
    QCoreApplication::processEvents();
    const int grown = h->sectionSize(0);
    EXPECT_GT(grown, first + 100) << "a Name column follows a longer name";

    // Once the user drags the divider, the width is theirs.
    drag(h->viewport(), dividerOf(h, 0), QPoint(-60, 0));
    const int dragged = h->sectionSize(0);
    EXPECT_NEAR(dragged, grown - 60, 2);
    new QTreeWidgetItem(w.names, {QStringLiteral("An even longer name than all the names before it"), QStringLiteral("y")});
    QCoreApplication::processEvents();
    EXPECT_EQ(h->sectionSize(0), dragged);

    // A double click on the divider fits it again.
    QTest::mouseDClick(h->viewport(), Qt::LeftButton, Qt::NoModifier, dividerOf(h, 0));
    QCoreApplication::processEvents();
    EXPECT_GT(h->sectionSize(0), grown + 50) << "the fit follows the longest name, not the dragged width";
}

// The last column takes the room left over, but a name longer than that room widens it
// (the list scrolls) instead of being cut.
TEST_F(WindowMemory, TheLastColumnIsNeverNarrowerThanItsNames)
{
    ProbeWindow w;
    showAndSettle(&w);
    QHeaderView *h = w.names->header();
    EXPECT_TRUE(h->stretchLastSection());
    const QString longest = QStringLiteral("a description much longer than the room the window leaves for it, and longer still");
    new QTreeWidgetItem(w.names, {QStringLiteral("Bo"), longest});
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    const int need = w.names->fontMetrics().horizontalAdvance(longest);
    EXPECT_GE(h->sectionSize(1), need);
    EXPECT_GT(h->length(), w.names->viewport()->width());
}

// A window with a row of tabs that asks for more room than any screen has.
struct TabbedWindow : QDialog {
    QTabWidget *tabs;
    TabbedWindow(int count, QSize preferred)
    {
        setObjectName(QStringLiteral("frmTabProbe"));
        tabs = new QTabWidget(this);
        for (int i = 0; i < count; ++i)
            tabs->addTab(new QWidget, QStringLiteral("A caption of page %1").arg(i));
        (new QVBoxLayout(this))->addWidget(tabs);
        ui::setupWindow(this, preferred);
    }
};

TEST_F(WindowMemory, TheFramedWindowFitsTheScreenAndOnlyATooLongTabRowScrolls)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    {
        // More than the screen is asked for: the window with its frame still fits, and a
        // row that fits keeps every tab in view without scroll arrows.
        TabbedWindow w(3, QSize(5000, 5000));
        showAndSettle(&w);
        EXPECT_LE(w.frameGeometry().width(), screen.width());
        EXPECT_LE(w.frameGeometry().height(), screen.height());
        EXPECT_FALSE(w.tabs->usesScrollButtons());
        EXPECT_GE(w.tabs->tabBar()->width(), w.tabs->tabBar()->sizeHint().width());
    }
    {
        // Sixty captions cannot stand in one row: the row scrolls, no caption is shortened,
        // and the window stays on the screen.
        TabbedWindow w(60, QSize());
        showAndSettle(&w);
        EXPECT_TRUE(w.tabs->usesScrollButtons());
        EXPECT_EQ(w.tabs->elideMode(), Qt::ElideNone);
        EXPECT_LE(w.frameGeometry().width(), screen.width());
    }
}

TEST_F(WindowMemory, SizeSplitterAndWidthsSurviveARestartAndTheResetForgetsThem)
{
    QSize opening, resized;
    QList<int> splitAfterDrag;
    int namesWidth = 0, detailsWidth = 0, detailsDefault = 0;
    {
        ProbeWindow w;
        showAndSettle(&w);
        opening = w.size();
        EXPECT_GE(opening.width(), 420);
        detailsDefault = w.details->columnWidth(0);
        drag(w.names->header()->viewport(), dividerOf(w.names->header(), 0), QPoint(70, 0));
        namesWidth = w.names->columnWidth(0);
        // The window's given width is fitted by a double click, and that is remembered too.
        QTest::mouseDClick(w.details->header()->viewport(), Qt::LeftButton, Qt::NoModifier, dividerOf(w.details->header(), 0));
        QCoreApplication::processEvents();
        detailsWidth = w.details->columnWidth(0);
        EXPECT_GT(detailsWidth, detailsDefault);
        QSplitterHandle *handle = w.split->handle(1);
        drag(handle, QPoint(handle->width() / 2, handle->height() / 2), QPoint(0, 40));
        EXPECT_NE(w.split->sizes(), QList<int>());
        resized = opening + QSize(90, 60);
        w.resize(resized);
        QCoreApplication::processEvents();
        splitAfterDrag = w.split->sizes();
        w.close();
    }
    // Stored under the window's own key, nowhere near the column sets or saved queries.
    EXPECT_TRUE(registry::keyExists(ui::windowLayoutKey() + QStringLiteral("\\frmLayoutProbe")));
    EXPECT_FALSE(registry::keyExists(registry::kProgramRoot + QStringLiteral("\\COLUMNEXP")));
    EXPECT_FALSE(registry::keyExists(registry::kProgramRoot + QStringLiteral("\\LDAPQ")));

    ASSERT_NO_FATAL_FAILURE(restart());
    {
        ProbeWindow w;
        showAndSettle(&w);
        EXPECT_EQ(w.size(), resized);
        EXPECT_EQ(w.names->columnWidth(0), namesWidth);
        EXPECT_EQ(w.details->columnWidth(0), detailsWidth);
        EXPECT_EQ(w.details->columnWidth(1), 50);
        EXPECT_EQ(w.split->sizes(), splitAfterDrag);

        // The reset returns the open window to its defaults and forgets what was stored.
        ASSERT_TRUE(ui::resetWindowLayouts());
        QCoreApplication::processEvents();
        EXPECT_EQ(w.size(), opening);
        EXPECT_EQ(w.details->columnWidth(0), detailsDefault);
        EXPECT_LT(w.names->columnWidth(0), namesWidth);
        EXPECT_FALSE(registry::keyExists(ui::windowLayoutKey()));
        w.close();
    }
    // Closing a window nobody changed stores nothing.
    EXPECT_FALSE(registry::keyExists(ui::windowLayoutKey()));
}

#ifdef ARV_CLI_PATH
TEST_F(WindowMemory, TheCommandLineToolForgetsTheLayouts)
{
    {
        ProbeWindow w;
        showAndSettle(&w);
        w.resize(w.size() + QSize(50, 50));
        w.close();
    }
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ARV_SETTINGS_FILE"), store);
    cli.setProcessEnvironment(env);
    cli.start(QStringLiteral(ARV_CLI_PATH), {QStringLiteral("settings"), QStringLiteral("reset-layout")});
    ASSERT_TRUE(cli.waitForFinished(60000));
    EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
    EXPECT_TRUE(cli.readAllStandardOutput().contains("frmLayoutProbe"));
    ASSERT_NO_FATAL_FAILURE(restart());
    EXPECT_FALSE(registry::keyExists(ui::windowLayoutKey()));
    ProbeWindow w;
    showAndSettle(&w);
    EXPECT_EQ(w.size(), ui::defaultWindowSize(&w));
}
#endif
