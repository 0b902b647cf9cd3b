#pragma once
// The main window (frmMain): the action list, menus and toolbar, connecting, the domain
// tree, the user grid and the quick panel below it, the two-panel status bar, the
// object-changed notice and closing. The directory work lives in unDomainTree.h and
// unSchemaThreads.h; the listing in unUserListing.h; this class wires them to widgets.
#include "core/unConnection.h"
#include "main/unDomainTree.h"
#include "main/unUserListing.h"
#include "options/unOptions.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <map>
#include <optional>

class QAction;
class QLabel;
class QSpinBox;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class TEnumAttrThread;
class TEnumAttrGUIDThread;
class TQuickPanel;
class TUserGrid;

// Process-wide facts about the connected domain that other windows read.
struct TDomainFacts {
    bool ExchangePresent = false;        // the schema has homeMDB
    bool GuidMapLoaded = false;          // the schema GUID map was completed once in this run
    QStringList NetBiosDomains;          // "<NetBIOS>|qel|<naming context>"
};
TDomainFacts &DomainFacts();

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget *parent = nullptr);
    ~TfrmMain() override;

    // --- actions (component names as objectNames) ---
    QAction *acConnect, *actExit, *acOptions, *actSelectVisibleColumns, *ActionFilter, *ActionGeneral,
        *actBulkExport, *ActionReports, *ActionGroups, *ActionQueryBasedDL, *actFindAndReplace,
        *actServerInformation, *ActionAbout, *actFindFast, *ActionApplay, *actBulkImport, *actLastLogon,
        *actStop;
    // Options > Reset Window Layouts: every window returns to its default size, splitters and
    // column widths.
    QAction *actResetWindowLayouts;

    // --- state other windows and tests read ---
    bool Busy() const;
    const TConnectionSettings &settings() const { return settings_; }
    std::uint32_t AuthFlags() const { return authFlags_; }
    const ads::ObjectPtr &RootDse() const { return rootDse_; }
    const ads::ObjectPtr &DomainObject() const { return domainObject_; }
    userlist::TUserList *userList() const { return list_; }
    TUserGrid *grid() const { return NextGrid; }
    TQuickPanel *quickPanel() const { return panel_; }
    QTreeWidget *tree() const { return DomainTreeView; }
    QString statusPanel(int index) const;
    bool schemaThreadsRunning() const;
    const options::TOptions &Options() const { return options_; }

    // The full path a tree item carries.
    static QString nodePath(const QTreeWidgetItem *item);

    // --- handlers (public so that tests drive them exactly as the controls do) ---
    void acConnectExecute();
    void acOptionsExecute();
    // B6: the RootDSE bind failed; the connection dialog is offered and connects on OK.
    void connectionDialogAfterFailedBind();
    void OpenDomain();
    void LoadSchema();
    void LoadDomainTree();
    void LoadChildContainers(QTreeWidgetItem *node);
    void DomainTreeViewChange(QTreeWidgetItem *current);
    // The open-windows check: false (after the message) when other windows are open.
    bool openWindowsCheck();
    // The object-changed notice (E).
    void handleNotice(int code, const QString &dn);

    // The windows of the filter builder and of Find User plug in here. The filter builder
    // gets the current filter and its flag and returns false on Cancel; Find User returns
    // the chosen user's distinguished name, false on Cancel.
    void setFilterBuilder(std::function<bool(QWidget *, QString &filter, bool &fromBuilder)> builder)
    {
        filterBuilder_ = std::move(builder);
        ActionFilter->setVisible(true);
    }
    void setFindUserDialog(std::function<bool(QWidget *, QString &dn)> dialog) { findUser_ = std::move(dialog); }
    // The user property dialog plugs in here. It is called with the user's distinguished
    // name when the grid (double click, Enter), tbUserProperties, the panel's path label,
    // spUserProperiesDetail or a direct report asks for a user's properties.
    void setUserPropertiesOpener(std::function<void(QWidget *, const QString &dn)> opener);
    // Opens the properties of the user the panel shows (dn empty) or of dn.
    void openUserProperties(const QString &dn = QString());
    // The windows of the other actions (bulk export, reports, groups, query-based groups,
    // find and replace, server information) plug in here. The main window refuses the action
    // while it is busy, and runs the open-windows check first where its rules ask for it
    // (groups, query-based groups, find and replace); the handler does the rest.
    void setActionHandler(QAction *action, std::function<void()> handler);
    void ActionFilterExecute();
    void actFindFastExecute();

    // Connect's waits: the pause between attempts (500 ms) and the attempts (151).
    static void setConnectWaitForTests(int pauseMs, int attempts);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildActions();
    void buildWidgets();
    void FormCreate();
    void tearDown();
    void startSchemaThreads();
    void EnumAttrThreadEnd();
    void EnumAttrGUIDThreadEnd();
    void setStatusPanel(int index, const QString &text);
    void setDomainActionsEnabled(bool on);
    void showError(const QString &message);
    void pause(int ms);
    std::optional<userlist::ListingNode> selectedListingNode() const;
    userlist::ListingNode listingNodeOf(const QTreeWidgetItem *item) const;
    void NextGridSelectCell(int recordIndex, const QString &dn);
    void ebHowManyExit();
    void actSelectVisibleColumnsExecute();
    void ActionGeneralExecute();
    void ActionAboutExecute();
    void FormClose();

    std::function<bool(QWidget *, QString &, bool &)> filterBuilder_;
    std::function<bool(QWidget *, QString &)> findUser_;
    std::function<void(QWidget *, const QString &)> userPropertiesOpener_;
    QAction *tbUserProperties_ = nullptr;
    std::map<QAction *, std::function<void()>> actionHandlers_;
    void runActionHandler(QAction *action, bool checkOpenWindows);
    TConnectionSettings settings_;
    std::uint32_t authFlags_ = 0;
    ads::ObjectPtr rootDse_;
    ads::ObjectPtr domainObject_;
    options::TOptions options_;
    bool suppressTreeChange_ = false;
    bool closing_ = false;
    bool closeAfterListing_ = false;
    bool connecting_ = false;  // acConnectExecute is running (it waits with the window alive)
    QPointer<TEnumAttrThread> attrThread_;
    QPointer<TEnumAttrGUIDThread> guidThread_;

    userlist::TUserList *list_ = nullptr;
    TUserGrid *NextGrid = nullptr;
    TQuickPanel *panel_ = nullptr;
    QTreeWidget *DomainTreeView = nullptr;
    QToolBar *ToolBarActions = nullptr;
    QToolBar *ToolBarGridFont = nullptr;
    QSpinBox *ebHowMany = nullptr;
    QToolButton *tbStop = nullptr;
    QToolButton *tbFindFast = nullptr;
    QToolButton *tbSelectColumn = nullptr;
    QLabel *statusPanels_[2] = {nullptr, nullptr};
    QLabel *statusProtection_ = nullptr;  // how the connection is protected (TLS, Kerberos, none)
};
