#pragma once
// The find-and-replace window (" Find Fast & Replace") and the query window it shows.
//
//   TfrmFindAndReplace dlg(parent);
//   dlg.setContainer(path, displayPath, isRoot);       // the tree node to search
//   dlg.setExtraRestriction(filter, fromBuilder);      // the main window's current filter
//   dlg.setFilterBuilder(...); dlg.setUserPicker(...); // the filter builder and find user
//   dlg.exec();
//
// Preview and Apply run through findreplace::ReplaceRun (replaceengine.h) on the window's
// thread, processing pending input between rows so that Stop and Close stay usable.
#include "bulk/replaceengine.h"

#include <QDialog>

#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QStatusBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

// "LDAP Query Show": the query in a read-only text field; its pop-up menu copies it.
class TfrmQueryShow : public QDialog {
    Q_OBJECT
public:
    explicit TfrmQueryShow(const QString &query, QWidget *parent = nullptr);
    // "Copy To Clipboard": selects all the text and copies it.
    void CopyToClipboardClick();

    QPlainTextEdit *memoQuery = nullptr;
    QPushButton *btClose = nullptr;
};

class TfrmFindAndReplace : public QDialog {
    Q_OBJECT
public:
    explicit TfrmFindAndReplace(QWidget *parent = nullptr, const TConnectionContext &context = ConnectionContext());
    ~TfrmFindAndReplace() override;

    // The container to search: its ADsPath, the text shown in " Selected Container " and
    // whether it is a root of the tree (then the search takes the whole subtree). An empty
    // path: no container ("<none>").
    void setContainer(const QString &path, const QString &displayPath, bool isRoot);
    // The extra restriction and the filter builder's flag that goes with it.
    void setExtraRestriction(const QString &filter, bool fromBuilder);
    QString extraRestriction() const { return extra_; }
    bool extraFromBuilder() const { return extraFromBuilder_; }
    // The filter builder: gets the restriction and flag, returns false on Cancel.
    void setFilterBuilder(std::function<bool(QWidget *, QString &filter, bool &fromBuilder)> builder)
    {
        filterBuilder_ = std::move(builder);
    }
    // Find user for the manager buttons: returns false on Cancel, else the user's name and DN.
    void setUserPicker(std::function<bool(QWidget *, QString &name, QString &dn)> picker)
    {
        userPicker_ = std::move(picker);
    }
    // Fills the attribute list by the schema test (called by the constructor with the
    // program's schema list; tests may call it again).
    void fillAttributes(bool schemaLoaded, const QStringList &schemaNames);

    // --- state tests read ---
    const std::vector<findreplace::Row> &rows() const { return rows_; }
    bool previewMode() const { return previewMode_; }
    bool listBusy() const { return listBusy_; }
    bool running() const { return running_; }
    QString logPath() const { return logPath_; }
    void setLogPath(const QString &path) { logPath_ = path; }
    QString statusText() const;
    // The rule the controls state now (before Preview's own checks).
    findreplace::Rule currentRule() const;
    const findreplace::ApplySummary &lastApply() const { return lastApply_; }

    // --- handlers, public so that tests drive them as the controls do ---
    void sbPreviewClick();
    void sbApplyClick();
    void sbStopClick();
    void btSeeClick();
    void btSaveLogClick();
    void btCloseClick();
    void sbExtraRestrictionClick();
    void sbFindWhatManagerClick();
    void sbReplaceWithManagerClick();
    void cbAttributesChange();
    // A mouse press on a list row in preview mode flips its tick.
    void ListViewRowPressed(int row);

    // --- controls (objectNames as these names) ---
    QLabel *lbSelectesContainer = nullptr;
    QComboBox *cbAttributes = nullptr;
    QStackedWidget *PageControlCondition = nullptr;
    QWidget *TabSheetMain = nullptr, *TabSheetMemo = nullptr, *TabSheetCountry = nullptr, *TabSheetManager = nullptr,
            *TabSheetBooleans = nullptr;
    // Main
    QLineEdit *ebFind = nullptr, *ebReplace = nullptr;
    QCheckBox *cbIsBlank = nullptr, *cbClearVlaue = nullptr;
    QGroupBox *gbConditions = nullptr;
    QRadioButton *rbStart = nullptr, *rbEnd = nullptr, *rbContains = nullptr, *rbIsExactly = nullptr, *rbIsNot = nullptr;
    // Memo
    QPlainTextEdit *memoStreetFind = nullptr, *memoStreetReplace = nullptr;
    QCheckBox *cbIsBlankMemo = nullptr, *cbClearVlaueMemo = nullptr;
    QLabel *lbIsBlankMemo = nullptr, *lbClearVlaueMemo = nullptr;
    QGroupBox *rbConditionsMemo = nullptr;
    QRadioButton *rbMemoStart = nullptr, *rbMemoEnd = nullptr, *rbMemoContains = nullptr, *rbMemoIsExactly = nullptr,
                 *rbMemoIsNot = nullptr;
    // Country
    QComboBox *cbCountry = nullptr, *cbCountryTo = nullptr;
    QCheckBox *cbIsBlankCountry = nullptr, *cbClearVlaueCountry = nullptr;
    QGroupBox *gbCountryWhere = nullptr;
    QRadioButton *rbCountryExactly = nullptr, *rbCountryNot = nullptr;
    // Manager
    QLineEdit *ebManagerWhat = nullptr, *ebManagerReplaceWith = nullptr;
    QToolButton *sbFindWhatManager = nullptr, *sbReplaceWithManager = nullptr;
    QLabel *lbFindWhatCN = nullptr, *lbReplaceWithCN = nullptr;
    QCheckBox *cbIsBlankManager = nullptr, *cbClearValueManager = nullptr;
    QGroupBox *gbMamager = nullptr;
    QRadioButton *rbManagerIs = nullptr, *rbManagerIsNot = nullptr;
    // Booleans
    QComboBox *cbFindBoolean = nullptr, *cbReplaceBoolean = nullptr;
    QCheckBox *cbValueIsNotSetBoolean = nullptr, *cbClearValueBoolean = nullptr;
    // Buttons, list, status bar
    QPushButton *sbExtraRestriction = nullptr, *btSee = nullptr, *sbPreview = nullptr, *sbApply = nullptr,
                *sbStop = nullptr, *btSaveLog = nullptr, *btClose = nullptr;
    QTreeWidget *ListView = nullptr;
    QStatusBar *JvStatusBar = nullptr;
    QLabel *statusPanel1 = nullptr, *statusPanel2 = nullptr;
    QProgressBar *progress = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildWidgets();
    QWidget *buildMainPage();
    QWidget *buildMemoPage();
    QWidget *buildCountryPage();
    QWidget *buildManagerPage();
    QWidget *buildBooleansPage();
    void pageShown(findreplace::Page page);
    void conditionChanged();
    void applyGreying();
    void setRunning(bool on);
    void clearRows();
    void rebuildColumns();
    void addListRow(int index);
    void updateListRow(int index);
    void setStatus(const QString &text);
    void pumpEvents(bool force = false);
    const findreplace::Attribute *chosenAttribute() const;

    TConnectionContext ctx_;
    std::vector<findreplace::Attribute> attributes_;
    std::vector<findreplace::Row> rows_;
    findreplace::Rule previewRule_;
    findreplace::ApplySummary lastApply_;
    QString containerPath_;
    bool containerIsRoot_ = false;
    QString extra_;
    bool extraFromBuilder_ = false;
    QString logPath_;
    bool stopRequested_ = false;
    bool previewMode_ = true;
    bool listBusy_ = false;
    bool running_ = false;
    bool closeAfterRun_ = false;
    bool loading_ = false;          // controls being set by code: no change handling
    bool countriesFilled_ = false;
    qint64 lastPump_ = 0;
    std::function<bool(QWidget *, QString &, bool &)> filterBuilder_;
    std::function<bool(QWidget *, QString &, QString &)> userPicker_;
};
