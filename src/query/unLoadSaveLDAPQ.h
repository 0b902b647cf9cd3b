#pragma once
// The "  Load \ Save LDAP Query" dialog (TfrmLoadSaveLDAPQ): lists the stored queries, saves a
// new one, renames and deletes entries (written to the registry with OK) and writes one or all
// queries to a text file. Library arv_query_filterdlg.
#include "query/savedqueries.h"

#include <QDialog>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace query {

// Save mode: the dialog with the name box enabled, saving text and flag under a typed name.
void SaveQueryDialog(QWidget *parent, const QString &text, bool fromConditions);
// Load mode: true with the selected query's text and flag on OK.
bool LoadQueryDialog(QWidget *parent, QString *text, bool *fromConditions);

// "   Rename to.." : the old name and a box for the new one.
class TfrmRenameTo : public QDialog {
    Q_OBJECT
public:
    explicit TfrmRenameTo(const QString &oldName, QWidget *parent = nullptr);
    QLabel *lbOldName = nullptr;
    QLineEdit *ebRenameTo = nullptr;
    QPushButton *btOK = nullptr;
    QPushButton *btCancel = nullptr;
};

class TfrmLoadSaveLDAPQ : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Load, Save };
    explicit TfrmLoadSaveLDAPQ(QWidget *parent = nullptr);

    // Save mode enables the name box; the text and flag are what "Save As" stores.
    void setSaveMode(const QString &text, bool fromConditions);
    Mode mode() const { return mode_; }

    // The list as it stands (names, texts, flags), in display order.
    QList<SavedQuery> listed() const;
    // The selected row's query; empty name when none is selected.
    SavedQuery selectedQuery() const;
    bool hasSelection() const;
    // Value names that could not be read when the list was filled.
    const QStringList &skipped() const { return skipped_; }

    // Handlers (public so that tests drive them as the controls do).
    void btSaveAsClick();
    void btDeleteClick();
    void btRenameClick();
    void btOKClick();
    void btSaveTxtClick();

    QTreeWidget *ListViewQ = nullptr;
    QPlainTextEdit *LDAPMemo = nullptr;
    QLineEdit *ebLDAPName = nullptr;
    QPushButton *btSaveAs = nullptr;
    QPushButton *btDelete = nullptr;
    QPushButton *btRename = nullptr;
    QGroupBox *gbSaveToTxt = nullptr;
    QRadioButton *rbAll = nullptr;
    QRadioButton *rbSelected = nullptr;
    QPushButton *btSaveTxt = nullptr;
    QPushButton *btOK = nullptr;
    QPushButton *btCancel = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void selectionChanged();
    void updateSaveAs();
    QTreeWidgetItem *addRow(const SavedQuery &q);
    bool nameListed(const QString &name, const QTreeWidgetItem *except = nullptr) const;

    Mode mode_ = Mode::Load;
    QString text_;
    bool flag_ = false;
    QStringList skipped_;
    bool reported_ = false;
};

} // namespace query
