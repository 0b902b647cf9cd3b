#pragma once
// The "Change History" window: the change journal newest first, filtered by date range,
// object and run; the values before and after of the selected entry; undo of the selected
// entries or of the current entry's whole run, through a preview page, with progress and
// Stop. The journal and undo logic live in journalstore.h and undo.h; this is the widgets.
#include "core/unConnection.h"
#include "journal/journalstore.h"
#include "journal/undo.h"

#include <QDialog>

class QDateEdit;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTreeWidget;

namespace journal {

class ChangeHistoryWindow : public QDialog {
    Q_OBJECT
public:
    explicit ChangeHistoryWindow(QWidget *parent = nullptr, const TConnectionContext &context = ConnectionContext(),
                                 const QString &folder = defaultFolder());

    // --- handlers (public so that tests drive them as the controls do) ---
    void btRefreshClick();
    void btUndoSelectedClick();
    void btUndoRunClick();
    void btApplyUndoClick();
    void btBackClick();
    void btStopClick();

    // --- state tests read ---
    const QList<Entry> &shownEntries() const { return shown_; }
    const UndoPlan &plan() const { return plan_; }
    const UndoSummary &lastSummary() const { return summary_; }
    bool busy() const { return busy_; }

    // Controls by their objectNames.
    QDateEdit *dtFrom = nullptr;
    QDateEdit *dtTo = nullptr;
    QLineEdit *ebObject = nullptr;
    QLineEdit *ebRun = nullptr;
    QPushButton *btRefresh = nullptr;
    QTreeWidget *lvEntries = nullptr;
    QTreeWidget *lvChanges = nullptr;
    QLabel *lbEntry = nullptr;
    QPushButton *btUndoSelected = nullptr;
    QPushButton *btUndoRun = nullptr;
    QTreeWidget *lvPreview = nullptr;
    QLabel *lbPreview = nullptr;
    QPushButton *btApplyUndo = nullptr;
    QPushButton *btBack = nullptr;
    QProgressBar *pbProgress = nullptr;
    QPushButton *btStop = nullptr;
    QLabel *lbStatus = nullptr;
    QPushButton *btClose = nullptr;

protected:
    void reject() override;

private:
    void showEntry();
    void updateButtons();
    void startUndo(const QList<Entry> &entries, const QString &what);
    void fillPreview();
    bool keepAlive();

    TConnectionContext ctx_;
    QString folder_;
    QStackedWidget *pages_ = nullptr;
    QList<Entry> shown_;
    UndoPlan plan_;
    UndoSummary summary_;
    bool busy_ = false;
    bool stopRequested_ = false;
};

} // namespace journal
