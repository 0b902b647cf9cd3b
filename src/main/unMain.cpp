#include "main/unMain.h"

#include "core/unValues.h"
#include "main/unConnectionDlg.h"
#include "main/unCredentials.h"
#include "main/unDataModule.h"
#include "main/unQuickPanel.h"
#include "main/unSchemaThreads.h"
#include "main/unUserGrid.h"
#include "options/unFormOptions.h"
#include "platform/adsi/adsconnection.h"
#include "platform/adsi/adserror.h"
#include "options/unModifyColumns.h"
#include "ui/objectbus.h"
#include "ui/prompt.h"
#include "ui/texts.h"
#include "ui/windowlayout.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QThread>
#include <QScopedValueRollback>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
int g_connectPauseMs = 500;
int g_connectAttempts = 151;

const QString kAppTitle = QStringLiteral("Arvendel");
const QString kCloseWindowsText = QStringLiteral("Please, close all opened property pages before this action!");
const QString kReadyText = QStringLiteral("  Ready for actions!");
const QString kHowManyHint = QStringLiteral(
    "Use this space to control the maximum number of objects that can be displayed. You can enter a number "
    "from 0 to 2000. \r\n0 (Zero) means \"no restriction\" (all object will be displayed).");

constexpr int kPathRole = Qt::UserRole + 1;

QAction *makeAction(QObject *owner, const char *name, const QString &caption, TDM::ActionImage image = TDM::ActionImageCount)
{
    auto *a = new QAction(caption, owner);
    a->setObjectName(QString::fromLatin1(name));
    if (image != TDM::ActionImageCount)
        a->setIcon(TDM::instance().actionImage(image));
    return a;
}

QToolButton *toolButton(QToolBar *bar, QAction *a, const char *name)
{
    bar->addAction(a);
    auto *b = qobject_cast<QToolButton *>(bar->widgetForAction(a));
    if (b)
        b->setObjectName(QString::fromLatin1(name));
    return b;
}
} // namespace

TDomainFacts &DomainFacts()
{
    static TDomainFacts facts;
    return facts;
}

void TfrmMain::setConnectWaitForTests(int pauseMs, int attempts)
{
    g_connectPauseMs = pauseMs;
    g_connectAttempts = attempts;
}

TfrmMain::TfrmMain(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowIcon(TDM::instance().appIcon());
    // Notices written by the core (NotifyOtherWindows) travel over the window bus.
    SetNotifyOtherWindowsHook([](const void *sender, int code, const QString &text) {
        ui::ObjectBus::instance().notify(code, text, static_cast<const QObject *>(sender));
    });
    list_ = new userlist::TUserList(this);
    buildActions();
    buildWidgets();
    FormCreate();
    ui::ObjectBus::instance().registerWindow(this, [this](int code, const QString &text) { handleNotice(code, text); });
}

TfrmMain::~TfrmMain()
{
    ui::ObjectBus::instance().unregisterWindow(this);
    for (QThread *t : {static_cast<QThread *>(attrThread_.data()), static_cast<QThread *>(guidThread_.data())})
        if (t) {
            t->requestInterruption();
            t->wait();
        }
}

void TfrmMain::buildActions()
{
    acConnect = makeAction(this, "acConnect", QStringLiteral("&Connect"), TDM::ImgConnect);
    actExit = makeAction(this, "actExit", QStringLiteral("&Exit"), TDM::ImgExit);
    acOptions = makeAction(this, "acOptions", QStringLiteral("&Connection"), TDM::ImgConnection);
    actSelectVisibleColumns = makeAction(this, "actSelectVisibleColumns", QStringLiteral("&Select Columns"), TDM::ImgColumns);
    ActionFilter = makeAction(this, "ActionFilter", QStringLiteral("&Filter"), TDM::ImgFilter);
    ActionGeneral = makeAction(this, "ActionGeneral", QStringLiteral("&General Option"), TDM::ImgOptions);
    actBulkExport = makeAction(this, "actBulkExport", QStringLiteral("&Bulk Export"), TDM::ImgBulkExport);
    ActionReports = makeAction(this, "ActionReports", QStringLiteral("&Reports"), TDM::ImgReports);
    ActionGroups = makeAction(this, "ActionGroups", QStringLiteral("&Groups"), TDM::ImgGroups);
    ActionQueryBasedDL = makeAction(this, "ActionQueryBasedDL", QStringLiteral("&Query-Based Distribution Groups"), TDM::ImgQueryGroups);
    actFindAndReplace = makeAction(this, "actFindAndReplace", QStringLiteral("&Find Fast && Replace"), TDM::ImgFindReplace);
    actServerInformation = makeAction(this, "actServerInformation", QStringLiteral("&Server(s) Information"), TDM::ImgServerInfo);
    ActionAbout = makeAction(this, "ActionAbout", QStringLiteral("&About"), TDM::ImgAbout);
    actFindFast = makeAction(this, "actFindFast", QStringLiteral("Find User"), TDM::ImgFindUser);
    actBulkImport = makeAction(this, "actBulkImport", QStringLiteral("Bulk Import"));
    actLastLogon = makeAction(this, "actLastLogon", QStringLiteral("Actual Last Logon"));
    actStop = makeAction(this, "actStop", QStringLiteral("Stop"), TDM::ImgStop);
    actResetWindowLayouts = makeAction(this, "actResetWindowLayouts", QStringLiteral("&Reset Window Layouts"));

    actExit->setShortcut(QKeySequence(QStringLiteral("Alt+F4")));
    actStop->setShortcut(QKeySequence(Qt::Key_Escape));
    ui::setHint(actFindFast, QStringLiteral("Fast find user."));
    ui::setHint(actSelectVisibleColumns, QStringLiteral("Define the visible columns."));
    ui::setHint(actStop, QStringLiteral("Stop retrieving the users."));

    connect(acConnect, &QAction::triggered, this, &TfrmMain::acConnectExecute);
    connect(actExit, &QAction::triggered, this, &QWidget::close);
    connect(acOptions, &QAction::triggered, this, &TfrmMain::acOptionsExecute);
    connect(actSelectVisibleColumns, &QAction::triggered, this, &TfrmMain::actSelectVisibleColumnsExecute);
    connect(ActionGeneral, &QAction::triggered, this, &TfrmMain::ActionGeneralExecute);
    connect(ActionAbout, &QAction::triggered, this, &TfrmMain::ActionAboutExecute);
    connect(actStop, &QAction::triggered, list_, &userlist::TUserList::stop);
    connect(actResetWindowLayouts, &QAction::triggered, this, [this] {
        QString error;
        if (!ui::resetWindowLayouts(&error))
            ui::Prompt::error(this, error, kAppTitle);
    });
    connect(ActionFilter, &QAction::triggered, this, &TfrmMain::ActionFilterExecute);
    connect(actFindFast, &QAction::triggered, this, &TfrmMain::actFindFastExecute);
    // The windows of these actions live in other folders and plug in through
    // setActionHandler; the actions follow the enabling and refusing rules here.
    for (QAction *a : {ActionGroups, ActionQueryBasedDL, actFindAndReplace})
        connect(a, &QAction::triggered, this, [this, a] { runActionHandler(a, true); });
    for (QAction *a : {actBulkExport, ActionReports, actServerInformation})
        connect(a, &QAction::triggered, this, [this, a] { runActionHandler(a, false); });
}

void TfrmMain::setActionHandler(QAction *action, std::function<void()> handler)
{
    actionHandlers_[action] = std::move(handler);
}

void TfrmMain::runActionHandler(QAction *action, bool checkOpenWindows)
{
    if (Busy())
        return;
    if (checkOpenWindows && !openWindowsCheck())
        return;
    if (auto it = actionHandlers_.find(action); it != actionHandlers_.end() && it->second)
        it->second();
}

void TfrmMain::buildWidgets()
{
    // Menus.
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("mnuFile"));
    file->addAction(acConnect);
    file->addSeparator();
    file->addAction(actExit);
    QMenu *opts = menuBar()->addMenu(QStringLiteral("&Options"));
    opts->setObjectName(QStringLiteral("mnuOptions"));
    opts->addAction(acOptions);
    opts->addAction(actSelectVisibleColumns);
    opts->addAction(ActionFilter);
    opts->addSeparator();
    opts->addAction(ActionGeneral);
    opts->addAction(actResetWindowLayouts);
    QMenu *extras = menuBar()->addMenu(QStringLiteral("E&xtras"));
    extras->setObjectName(QStringLiteral("mnuExtras"));
    extras->addAction(actBulkExport);
    extras->addAction(ActionReports);
    extras->addSeparator();
    extras->addAction(ActionGroups);
    extras->addAction(ActionQueryBasedDL);
    extras->addSeparator();
    extras->addAction(actFindAndReplace);
    QMenu *info = menuBar()->addMenu(QStringLiteral("&Information"));
    info->setObjectName(QStringLiteral("mnuInformation"));
    info->addAction(actServerInformation);
    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    help->addAction(ActionAbout);

    // The quick panel owns the Apply action.
    panel_ = new TQuickPanel(this);
    panel_->setObjectName(QStringLiteral("QuickPanel"));
    ActionApplay = panel_->ActionApplay();
    ActionApplay->setIcon(TDM::instance().actionImage(TDM::ImgApply));
    addAction(ActionApplay);

    // Toolbar with captions.
    ToolBarActions = addToolBar(QStringLiteral("Actions"));
    ToolBarActions->setObjectName(QStringLiteral("ToolBarActions"));
    ToolBarActions->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    ToolBarActions->setFixedHeight(40 + ToolBarActions->contentsMargins().top() + ToolBarActions->contentsMargins().bottom() + 12);
    ToolBarActions->setMovable(false);
    toolButton(ToolBarActions, acConnect, "tbConnect");
    tbSelectColumn = toolButton(ToolBarActions, actSelectVisibleColumns, "tbSelectColumn");
    tbFindFast = toolButton(ToolBarActions, actFindFast, "tbFindFast");
    toolButton(ToolBarActions, ActionApplay, "tbApplay");
    ToolBarActions->addSeparator();
    auto *lbFirst = new QLabel(QStringLiteral("Get only the first"), ToolBarActions);
    lbFirst->setObjectName(QStringLiteral("lbGetOnlyTheFirst"));
    ToolBarActions->addWidget(lbFirst);
    ebHowMany = new QSpinBox(ToolBarActions);
    lbFirst->setBuddy(ebHowMany);
    ebHowMany->setObjectName(QStringLiteral("ebHowMany"));
    ebHowMany->setRange(0, 2000);
    ebHowMany->setAlignment(Qt::AlignRight);
    ebHowMany->setButtonSymbols(QAbstractSpinBox::NoButtons);
    ebHowMany->setMinimumWidth(60);
    ebHowMany->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    ebHowMany->installEventFilter(this);
    ui::setHint(ebHowMany, kHowManyHint, 80);
    ToolBarActions->addWidget(ebHowMany);
    auto *lbUsers = new QLabel(QStringLiteral("   users   "), ToolBarActions);
    lbUsers->setObjectName(QStringLiteral("lbUsers"));
    ToolBarActions->addWidget(lbUsers);
    tbStop = toolButton(ToolBarActions, actStop, "tbStop");
    ui::setHint(tbFindFast, QStringLiteral("Fast find user."));
    ui::setHint(tbSelectColumn, QStringLiteral("Define the visible columns."));
    ui::setHint(tbStop, QStringLiteral("Stop retrieving the users."));

    // Tree | grid over panel.
    DomainTreeView = new QTreeWidget(this);
    DomainTreeView->setObjectName(QStringLiteral("DomainTreeView"));
    DomainTreeView->setHeaderHidden(true);
    DomainTreeView->setAccessibleName(QStringLiteral("Domain tree"));
    DomainTreeView->setColumnCount(1);
    DomainTreeView->setSelectionMode(QAbstractItemView::SingleSelection);
    DomainTreeView->installEventFilter(this);
    DomainTreeView->viewport()->installEventFilter(this);

    NextGrid = new TUserGrid(list_, this);
    NextGrid->setObjectName(QStringLiteral("NextGrid"));
    NextGrid->setAccessibleName(QStringLiteral("Users"));

    ToolBarGridFont = new QToolBar(QStringLiteral("Grid"), this);
    ToolBarGridFont->setObjectName(QStringLiteral("ToolBarGridFont"));
    ToolBarGridFont->setIconSize(QSize(16, 16));
    auto gridButton = [this](const char *name, const QString &caption, auto slot) {
        auto *a = new QAction(caption, ToolBarGridFont);
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, slot);
        toolButton(ToolBarGridFont, a, name);
        return a;
    };
    gridButton("tbLeftGrid", QStringLiteral("Left"), [this] { NextGrid->alignCurrentColumn(Qt::AlignLeft); });
    gridButton("tbCenterGrid", QStringLiteral("Center"), [this] { NextGrid->alignCurrentColumn(Qt::AlignHCenter); });
    gridButton("tbRightGrid", QStringLiteral("Right"), [this] { NextGrid->alignCurrentColumn(Qt::AlignRight); });
    tbUserProperties_ = gridButton("tbUserProperties", QStringLiteral("Properties"), [this] { openUserProperties(); });
    tbUserProperties_->setIcon(TDM::instance().actionImage(TDM::ImgUserProperties));
    tbUserProperties_->setEnabled(false);
    ui::setHint(tbUserProperties_, QStringLiteral("User Properties (detail)"));

    auto *right = new QWidget(this);
    auto *rv = new QVBoxLayout(right);
    rv->setContentsMargins(0, 0, 0, 0);
    rv->setSpacing(0);
    auto *gridSplit = new QSplitter(Qt::Vertical, right);
    gridSplit->setObjectName(QStringLiteral("SplitterGrid"));
    auto *gridBox = new QWidget(gridSplit);
    auto *gv = new QVBoxLayout(gridBox);
    gv->setContentsMargins(0, 0, 0, 0);
    gv->setSpacing(0);
    gv->addWidget(ToolBarGridFont);
    gv->addWidget(NextGrid, 1);
    gridSplit->addWidget(gridBox);
    gridSplit->addWidget(panel_);
    gridSplit->setStretchFactor(0, 3);
    gridSplit->setStretchFactor(1, 2);
    rv->addWidget(gridSplit);

    auto *split = new QSplitter(Qt::Horizontal, this);
    split->setObjectName(QStringLiteral("SplitterTree"));
    split->addWidget(DomainTreeView);
    split->addWidget(right);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 3);
    split->setSizes({240, 760});
    setCentralWidget(split);

    // Status bar: panel 0 (380 pixels) for listings, panel 1 for the connection.
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    for (int i = 0; i < 2; ++i) {
        statusPanels_[i] = new QLabel(statusBar());
        statusPanels_[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        statusPanels_[i]->setFrameShape(QFrame::Panel);
        statusPanels_[i]->setFrameShadow(QFrame::Sunken);
    }
    statusPanels_[0]->setFixedWidth(380);
    statusBar()->addWidget(statusPanels_[0]);
    statusBar()->addWidget(statusPanels_[1], 1);
    statusProtection_ = new QLabel(statusBar());
    statusProtection_->setObjectName(QStringLiteral("StatusProtection"));
    statusBar()->addPermanentWidget(statusProtection_);

    // Wiring of the listing.
    list_->setSelectedNodeProvider([this] { return selectedListingNode(); });
    connect(list_, &userlist::TUserList::busyChanged, this, [this](bool busy) {
        ebHowMany->setEnabled(!busy);
        actStop->setEnabled(busy);
        if (busy) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
        } else {
            QApplication::restoreOverrideCursor();
            ToolBarGridFont->setEnabled(true);
            if (closeAfterListing_)
                QTimer::singleShot(0, this, &QWidget::close);
        }
    });
    connect(list_, &userlist::TUserList::listingStarted, this, [this] {
        panel_->hidePanel();
        panel_->SetApplyEnabled(false);
        panel_->SetUserButtons(false);
    });
    connect(list_, &userlist::TUserList::rowsCleared, this, [this] { ToolBarGridFont->setEnabled(false); });
    connect(list_, &userlist::TUserList::statusTextChanged, this, [this](const QString &t) { setStatusPanel(0, t); });
    connect(list_, &userlist::TUserList::treeSelectionRemoved, this, [this] {
        suppressTreeChange_ = true;
        DomainTreeView->clearSelection();
        DomainTreeView->setCurrentItem(nullptr);
        suppressTreeChange_ = false;
    });
    connect(list_, &userlist::TUserList::listingError, this, &TfrmMain::showError);
    connect(NextGrid, &TUserGrid::userSelected, this, &TfrmMain::NextGridSelectCell);
    connect(DomainTreeView, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *current, QTreeWidgetItem *) { DomainTreeViewChange(current); });
    connect(ebHowMany, &QSpinBox::valueChanged, this, [this](int v) { list_->setHowMany(v); });
    connect(ebHowMany, &QSpinBox::editingFinished, this, &TfrmMain::ebHowManyExit);

    panel_->setUserList(list_);
    panel_->setBusyProvider([this] { return Busy(); });
    // The user's property dialog: the grid's double click and Enter, the panel's path label,
    // its speed button and direct reports.
    connect(panel_, &TQuickPanel::userButtonsChanged, this, [this](bool on, bool) { tbUserProperties_->setEnabled(on); });
    connect(panel_, &TQuickPanel::userPropertiesRequested, this, [this](const QString &dn) { openUserProperties(dn); });
    connect(NextGrid, &QAbstractItemView::doubleClicked, this, [this] { openUserProperties(); });
    for (const int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
        auto *enter = new QShortcut(QKeySequence(key), NextGrid, nullptr, nullptr, Qt::WidgetShortcut);
        connect(enter, &QShortcut::activated, this, [this] { openUserProperties(); });
    }

    // F6 / Shift+F6 move between the tree, the grid and the panel without the mouse.
    auto cycle = [this](int step) {
        QList<QWidget *> stops = {DomainTreeView, NextGrid};
        if (panel_->isVisible())
            stops << panel_;
        int at = 0;
        for (int i = 0; i < stops.size(); ++i)
            if (stops[i] == QApplication::focusWidget() || stops[i]->isAncestorOf(QApplication::focusWidget()))
                at = i;
        QWidget *next = stops[(at + step + stops.size()) % stops.size()];
        if (next == panel_)
            panel_->nextInFocusChain()->setFocus(Qt::TabFocusReason);
        else
            next->setFocus(Qt::ShortcutFocusReason);
    };
    auto *f6 = new QAction(this);
    f6->setObjectName(QStringLiteral("actNextPane"));
    f6->setShortcut(QKeySequence(Qt::Key_F6));
    connect(f6, &QAction::triggered, this, [cycle] { cycle(1); });
    addAction(f6);
    auto *shiftF6 = new QAction(this);
    shiftF6->setObjectName(QStringLiteral("actPreviousPane"));
    shiftF6->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6));
    connect(shiftF6, &QAction::triggered, this, [cycle] { cycle(-1); });
    addAction(shiftF6);
    ui::setupWindow(this, QSize(1100, 720));
}

void TfrmMain::FormCreate()
{
    // 1. Hints and titles.
    setWindowTitle(kAppTitle);
    QApplication::setApplicationDisplayName(QString());
    // 2. Every action enabled, then Server Information off.
    for (QAction *a : findChildren<QAction *>())
        a->setEnabled(true);
    actServerInformation->setEnabled(false);
    // 3. Settings and options.
    settings_ = TConnectionSettings();
    LoadConnectionSettings(settings_);
    options::LoadOptions(options_);
    list_->setHideOptions(options_.HideDisabled, options_.HideExpired);
    // 4. The grid's columns (hidden set of the options).
    NextGrid->setHiddenTags(options::LoadHiddenColumns());
    // 5. The panel and the grid toolbar.
    panel_->hidePanel();
    panel_->SetUserButtons(false);
    panel_->SetApplyEnabled(false);
    actFindFast->setEnabled(false);
    ToolBarGridFont->setEnabled(false);
    actStop->setEnabled(false);
    // 9.
    list_->setLastHowMany(ebHowMany->value());
    // 10.
    ActionFilter->setEnabled(false);
    ActionReports->setEnabled(false);
    options::ApplyWindowFont(this);
    actBulkExport->setEnabled(false);
    ActionGroups->setEnabled(false);
    actFindAndReplace->setEnabled(false);
    ActionQueryBasedDL->setEnabled(false);
}

bool TfrmMain::Busy() const { return list_->busy(); }

QString TfrmMain::statusPanel(int index) const { return statusPanels_[index]->text(); }

void TfrmMain::setStatusPanel(int index, const QString &text) { statusPanels_[index]->setText(text); }

bool TfrmMain::schemaThreadsRunning() const
{
    // A reader counts as running until its end handler has run on the window thread.
    return attrThread_ || guidThread_;
}

QString TfrmMain::nodePath(const QTreeWidgetItem *item) { return item ? item->data(0, kPathRole).toString() : QString(); }

void TfrmMain::pause(int ms)
{
    // Waits while the window keeps answering (pending messages are processed meanwhile).
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(std::min<qint64>(20, std::max<qint64>(1, ms - t.elapsed())));
    }
    QCoreApplication::processEvents();
}

void TfrmMain::showError(const QString &message)
{
    ui::Prompt::message(this, message, kAppTitle, ui::Icon::Error);
}

void TfrmMain::setDomainActionsEnabled(bool on)
{
    for (QAction *a : {actFindFast, actServerInformation, actBulkExport, ActionFilter, ActionReports, ActionGroups,
                       actFindAndReplace, ActionQueryBasedDL})
        a->setEnabled(on);
}

bool TfrmMain::openWindowsCheck()
{
    QList<QWidget *> others;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w == this || !w->isVisible() || !w->isWindow())
            continue;
        const Qt::WindowType type = w->windowType();
        if (type == Qt::Popup || type == Qt::ToolTip || type == Qt::SplashScreen || type == Qt::Desktop)
            continue;
        if (w->objectName() == QLatin1String("frmNetOpenEnum") || w->objectName() == QLatin1String("DM"))
            continue;
        others << w;
    }
    if (others.isEmpty())
        return true;
    ui::Prompt::message(this, ui::wrapText(kCloseWindowsText, 40), kAppTitle, ui::Icon::Warning);
    for (QWidget *w : others) {
        w->show();
        w->raise();
        w->activateWindow();
    }
    return false;
}

// ---- connecting ------------------------------------------------------------------------------

void TfrmMain::acConnectExecute()
{
    // 1. A connect that is still waiting (its pauses keep the window alive, so OK in the
    // connection dialog can ask again) is not started a second time.
    if (connecting_ || Busy() || !openWindowsCheck())
        return;
    const QScopedValueRollback<bool> connectingEnds(connecting_, true);
    // 2. Let the previous connection wind down.
    acConnect->setEnabled(false);
    bool idle = false;
    for (int n = 0; n < g_connectAttempts; ++n) {
        if (!Busy() && !schemaThreadsRunning()) {
            idle = true;
            break;
        }
        setStatusPanel(1, QStringLiteral("Closing the current connection. Please wait... ") + QString::number(n));
        pause(g_connectPauseMs);
    }
    if (closing_) // the window was closed while we waited
        return;
    if (!idle && (Busy() || schemaThreadsRunning())) {
        setStatusPanel(1, QString());
        return;
    }
    // 3.
    if (Busy()) {
        acConnect->setEnabled(true);
        return;
    }
    // 4.
    tearDown();
    // 5. Credentials that are needed and missing.
    if (settings_.UseCredentials && (settings_.UserName.isEmpty() || settings_.Password.isEmpty())) {
        TfrmCredentials dlg(settings_, this);
        if (dlg.exec() == QDialog::Accepted) {
            settings_.UserName = dlg.settings().UserName;
            settings_.Password = dlg.settings().Password;
            settings_.RememberMe = dlg.settings().RememberMe;
        }
    }
    // 6. RootDSE; a failure offers the connection dialog instead of an error.
    authFlags_ = GetAuthFlags(settings_);
    QString bindError;
    rootDse_ = mainwin::bindRootDse(settings_, &bindError);
    if (!rootDse_) {
        acConnect->setEnabled(true);
        connectionDialogAfterFailedBind();
        return;
    }
    // 7.
    ads::ADsSetLastError(0, QString());
    if (rootDse_ && rootDse_->connection())
        statusProtection_->setText(rootDse_->connection()->protectionText());
    try {
        OpenDomain();
    } catch (const Exception &e) {
        acConnect->setEnabled(true);
        showError(mainwin::explainConnectError(e.Message()));
    }
}

void TfrmMain::tearDown()
{
    list_->clearGrid();
    NextGrid->gridModel()->clearRows();
    suppressTreeChange_ = true;
    DomainTreeView->clear();
    suppressTreeChange_ = false;
    panel_->hidePanel();
    setStatusPanel(0, QString());
    list_->setStatusText(QString());
    setStatusPanel(1, QString());
    statusProtection_->clear();
    DisconnectContext();
    panel_->setConnection({});
    for (QAction *a : {actBulkExport, ActionFilter, ActionReports, ActionGroups, ActionQueryBasedDL})
        a->setEnabled(false);
    ClearGroupList();
    while (schemaThreadsRunning())
        pause(200);
    ClearSchemaAttributeNames();
    SetSchemaLoaded(false);
    actFindFast->setEnabled(false);
    panel_->SetApplyEnabled(false);
    domainObject_.reset();
    rootDse_.reset();
    setWindowTitle(kAppTitle);
}

void TfrmMain::connectionDialogAfterFailedBind()
{
    acOptionsExecute();
}

void TfrmMain::acOptionsExecute()
{
    if (Busy() || !openWindowsCheck())
        return;
    settings_ = TConnectionSettings();
    LoadConnectionSettings(settings_);
    options::LoadOptions(options_);
    TfrmConnection dlg(settings_, this);
    dlg.move(geometry().topLeft() + QPoint(3, 3));
    if (dlg.exec() != QDialog::Accepted)
        return;
    settings_ = TConnectionSettings();
    LoadConnectionSettings(settings_);
    // The user started it or the connect offered it: connect with the new settings.
    QTimer::singleShot(0, this, &TfrmMain::acConnectExecute);
}

void TfrmMain::OpenDomain()
{
    // 1.
    if (Busy())
        return;
    panel_->hidePanel();
    panel_->SetUserButtons(false);
    domainObject_.reset();
    // 2.-5. The context from RootDSE (no default naming context raises the exact error).
    const TConnectionContext ctx = DeriveConnectionContext(rootDse_, settings_);
    PublishConnectionContext(ctx);
    setWindowTitle(mainwin::connectedCaption(ctx));
    // The listing reads the published context by itself; the panel gets a copy.
    panel_->setConnection(list_->connection());
    // 6.
    DomainFacts().NetBiosDomains = mainwin::loadNetBiosDomains();
    LoadSchema();
    // 7.
    domainObject_ = mainwin::bindDomain();
    LoadDomainTree();
}

void TfrmMain::LoadSchema()
{
    if (SchemaLoaded())
        return;
    setStatusPanel(1, QStringLiteral("   Getting the Schema. Please wait..."));
    while (attrThread_ && !attrThread_->isFinished())
        pause(200);
    ClearSchemaAttributeNames();
    const QStringList names = mainwin::exchangeSchemaTest();
    SetSchemaAttributeNames(names);
    DomainFacts().ExchangePresent = mainwin::hasHomeMdb(names);
    SetSchemaLoaded(false);
    startSchemaThreads();
}

void TfrmMain::startSchemaThreads()
{
    auto *attr = new TEnumAttrThread;
    auto *guid = new TEnumAttrGUIDThread;
    attrThread_ = attr;
    guidThread_ = guid;
    // The end handlers run on the window thread; the threads free themselves after them.
    connect(attr, &QThread::finished, this, [this, attr] {
        if (attrThread_ == attr)
            EnumAttrThreadEnd();
        attr->deleteLater();
    });
    connect(guid, &QThread::finished, this, [this, guid] {
        if (guidThread_ == guid)
            EnumAttrGUIDThreadEnd();
        guid->deleteLater();
    });
    attr->start();
    guid->start();
}

void TfrmMain::EnumAttrThreadEnd()
{
    TEnumAttrThread *t = attrThread_;
    // The complete list is published at once, so no reader sees it half-filled. A reader
    // that failed or was stopped leaves no list at all rather than a partial one: every
    // attribute then counts as present, instead of most of them as missing.
    const bool complete = t && t->error().isEmpty() && !t->stopped();
    if (complete)
        SetSchemaAttributeNames(t->names());
    else
        ClearSchemaAttributeNames();
    SetSchemaLoaded(true);
    attrThread_ = nullptr;
    if (complete)
        DomainFacts().ExchangePresent = AttributeInList(SchemaAttributeNames(), QStringLiteral("homeMDB"));
    const bool on = DomainFacts().GuidMapLoaded && SchemaLoaded();
    acConnect->setEnabled(on);
    if (on)
        setStatusPanel(1, kReadyText);
}

void TfrmMain::EnumAttrGUIDThreadEnd()
{
    TEnumAttrGUIDThread *t = guidThread_;
    if (t && !t->stopped()) {
        const auto &map = t->map();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            AddSchemaGuidName(it.key(), it.value());
    }
    DomainFacts().GuidMapLoaded = true;
    guidThread_ = nullptr;
    const bool on = SchemaLoaded();
    acConnect->setEnabled(on);
    if (on)
        setStatusPanel(1, kReadyText);
}

void TfrmMain::LoadDomainTree()
{
    if (Busy())
        return;
    list_->setSelectedRowIndex(-1);
    panel_->hidePanel();
    panel_->SetUserButtons(false);
    suppressTreeChange_ = true;
    DomainTreeView->clear();
    suppressTreeChange_ = false;
    list_->clearGrid();

    LoadDomainPolicy(domainObject_);
    const mainwin::DomainTree tree = mainwin::loadDomainTree(domainObject_);

    suppressTreeChange_ = true;
    auto *root = new QTreeWidgetItem(DomainTreeView, {tree.root.text});
    root->setData(0, kPathRole, tree.root.path);
    root->setIcon(0, TDM::instance().treeImage(tree.root.image));
    for (const mainwin::TreeNodeInfo &c : tree.children) {
        auto *item = new QTreeWidgetItem(root, {c.text});
        item->setData(0, kPathRole, c.path);
        item->setIcon(0, TDM::instance().treeImage(c.image));
    }
    root->setExpanded(true);
    suppressTreeChange_ = false;
    setDomainActionsEnabled(true);
}

void TfrmMain::LoadChildContainers(QTreeWidgetItem *node)
{
    if (!node)
        return;
    const QList<mainwin::TreeNodeInfo> children = mainwin::loadChildContainers(nodePath(node));
    for (const mainwin::TreeNodeInfo &c : children) {
        auto *item = new QTreeWidgetItem(node, {c.text});
        item->setData(0, kPathRole, c.path);
        item->setIcon(0, TDM::instance().treeImage(c.image));
    }
}

userlist::ListingNode TfrmMain::listingNodeOf(const QTreeWidgetItem *item) const
{
    userlist::ListingNode n;
    n.path = nodePath(item);
    n.text = item->text(0);
    n.hasParent = item->parent() != nullptr;
    return n;
}

std::optional<userlist::ListingNode> TfrmMain::selectedListingNode() const
{
    QTreeWidgetItem *item = DomainTreeView->currentItem();
    if (!item || !item->isSelected())
        return std::nullopt;
    return listingNodeOf(item);
}

void TfrmMain::DomainTreeViewChange(QTreeWidgetItem *current)
{
    // During a listing the rows belong to the running loop: no selection (the root's
    // clearing included) may touch them from the events it processes.
    if (suppressTreeChange_ || Busy())
        return;
    panel_->hidePanel();
    if (!current)
        return;
    if (current->parent()) {
        list_->listUsers(listingNodeOf(current));
    } else {
        // The domain root itself is never listed by selection.
        list_->clearGrid();
        panel_->hidePanel();
        list_->setStatusText(QString());
        setStatusPanel(0, QString());
    }
    if (current->childCount() == 0) {
        try {
            LoadChildContainers(current);
        } catch (const Exception &e) {
            showError(e.Message());
        }
    }
}

void TfrmMain::NextGridSelectCell(int recordIndex, const QString &dn)
{
    Q_UNUSED(recordIndex);
    panel_->hidePanel();
    panel_->SetUserButtons(false);
    panel_->SetApplyEnabled(false);
    ads::ObjectPtr user;
    const ads::HRESULT hr = OpenWithContext(dn, &user);
    try {
        CheckADSIResult(hr);
        panel_->LoadPanel(user);
    } catch (const Exception &e) {
        showError(e.Message());
    }
}

void TfrmMain::ebHowManyExit()
{
    if (Busy())
        return;
    list_->setHowMany(ebHowMany->value());
    list_->howManyLeft(ebHowMany->value());
}

void TfrmMain::setUserPropertiesOpener(std::function<void(QWidget *, const QString &)> opener)
{
    userPropertiesOpener_ = std::move(opener);
}

void TfrmMain::openUserProperties(const QString &dn)
{
    if (!userPropertiesOpener_ || Busy())
        return;
    // From the grid and the buttons: the user the panel shows, once the schema is read.
    const QString target = dn.isEmpty() && panel_->currentUser() ? panel_->currentUser()->distinguishedName() : dn;
    if (target.trimmed().isEmpty() || (dn.isEmpty() && !SchemaLoaded()))
        return;
    userPropertiesOpener_(this, target);
}

// ---- the notice --------------------------------------------------------------------------------

void TfrmMain::handleNotice(int code, const QString &dn)
{
    if (code != ui::ObjectChanged && code != ui::PictureChanged)
        return;
    if (list_->rows().findRecordByDn(dn) < 0)
        return;
    if (code == ui::ObjectChanged) {
        QString error;
        list_->refreshUser(dn, &error);
    }
    panel_->handleNotice(code, dn);
}

// ---- other actions -----------------------------------------------------------------------------

void TfrmMain::actSelectVisibleColumnsExecute()
{
    if (Busy())
        return;
    std::vector<int> hidden = NextGrid->hiddenTags();
    if (options::selectVisibleColumns(this, userlist::textColumnTags(), hidden,
                                      [](int tag) { return userlist::columnCaption(tag); }))
        NextGrid->setHiddenTags(hidden);
}

void TfrmMain::ActionGeneralExecute()
{
    options::OptionsOutcome outcome;
    if (!options::ActionGeneralExecute(this, options_, &outcome))
        return;
    list_->setHideOptions(options_.HideDisabled, options_.HideExpired);
    if (outcome.hideChanged && !Busy()) {
        if (auto node = selectedListingNode(); node && node->hasParent)
            list_->listUsers(*node);
    }
}

void TfrmMain::ActionFilterExecute()
{
    if (Busy() || !filterBuilder_)
        return;
    QString filter = list_->currentFilter();
    bool fromBuilder = list_->filterFromBuilder();
    const bool ok = filterBuilder_(this, filter, fromBuilder);
    list_->applyFilterResult(ok, ok ? filter : QString(), ok && fromBuilder);
}

void TfrmMain::actFindFastExecute()
{
    if (Busy() || !findUser_)
        return;
    QString dn;
    if (!findUser_(this, dn) || dn.isEmpty())
        return;
    QTreeWidgetItem *root = DomainTreeView->topLevelItem(0);
    if (!root)
        return;
    // Selecting the root clears the grid; then the whole domain is searched for the user.
    DomainTreeView->setCurrentItem(root);
    list_->findUser(dn, listingNodeOf(root));
}

void TfrmMain::ActionAboutExecute()
{
    ui::Prompt::message(this,
                        QStringLiteral("Arvendel %1\r\nAdministration of the user accounts of an Active "
                                       "Directory domain.")
                            .arg(GetFileVersionText()),
                        QStringLiteral("About Arvendel"), ui::Icon::Information);
}

// ---- keyboard, tree guard, closing ----------------------------------------------------------

bool TfrmMain::eventFilter(QObject *watched, QEvent *event)
{
    // While a listing runs the tree's selection may not change.
    if (DomainTreeView && (watched == DomainTreeView || watched == DomainTreeView->viewport()) && Busy()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseButtonRelease:
        case QEvent::KeyPress:
            return true;
        default:
            break;
        }
    }
    if (watched == ebHowMany && event->type() == QEvent::KeyPress) {
        auto *k = static_cast<QKeyEvent *>(event);
        const bool tab = k->key() == Qt::Key_Tab && !(k->modifiers() & ~Qt::KeypadModifier);
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter || tab) {
            NextGrid->setFocus(Qt::TabFocusReason); // leaving the box lists again
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::closeEvent(QCloseEvent *event)
{
    if (Busy()) {
        // The listing runs below this call on the same thread: it cannot end while we wait
        // here. Stop it and close once it has returned.
        closeAfterListing_ = true;
        list_->stop();
        setStatusPanel(1, QStringLiteral("Closing. Please wait..."));
        event->ignore();
        return;
    }
    if (schemaThreadsRunning()) {
        setStatusPanel(1, QStringLiteral("Closing. Please wait..."));
        for (QThread *t : {static_cast<QThread *>(attrThread_.data()), static_cast<QThread *>(guidThread_.data())})
            if (t)
                t->requestInterruption();
        while (schemaThreadsRunning())
            pause(200);
    }
    FormClose();
    event->accept();
}

void TfrmMain::FormClose()
{
    if (closing_)
        return;
    closing_ = true;
    options::SaveHiddenColumns(NextGrid->hiddenTags());
    suppressTreeChange_ = true;
    DomainTreeView->clear();
    list_->clearGrid();
    ClearGroupList();
    panel_->hidePanel();
    rootDse_.reset();
    domainObject_.reset();
    DisconnectContext();
}
