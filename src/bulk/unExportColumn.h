#pragma once
// The column chooser of a bulk export (TfrmExportColumn, "  Select Columns") and the window of
// saved column sets (TfrmSavedColumn, " Saved Column Sets") with its rename dialog.
//
// Library target: arv_bulk_columns (headers "bulk/unExportColumn.h").
//   TfrmExportColumn dlg(parent);
//   dlg.setColumns(current);  dlg.setStatusText("[Custom Column Set]");
//   if (dlg.exec() == QDialog::Accepted) { columns = dlg.columns(); name = dlg.statusText(); }
#include "bulk/unColumnSets.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QToolButton;
class QTreeWidget;

namespace bulk {

// The attributes offered for export: catalogue keys -2 to 87 that pass the schema test,
// then memberOf (101), in catalogue order.
QList<ExportColumnItem> availableExportColumns();

}  // namespace bulk

class TfrmExportColumn : public QDialog {
    Q_OBJECT
public:
    explicit TfrmExportColumn(QWidget *parent = nullptr);

    // The exported list; every other available attribute is offered.
    void setColumns(const QList<bulk::ExportColumnItem> &columns);
    QList<bulk::ExportColumnItem> columns() const;
    void setStatusText(const QString &text);
    QString statusText() const;

    // Handlers (public so that tests drive them as the buttons do).
    void tbtAddSelectedClick();
    void tbtAddAllClick();
    void tbtDelSelectedClick();
    void tbtDelAllClick();
    void tbtMoveColumnUpClick();
    void tbtMoveColumnDownClick();
    void sbSaveasdefClick();
    void sbLoadSavedClick();
    void btOKClick();

private:
    void move(QListWidget *from, QListWidget *to, bool all);
    void updateButtons();

    QListWidget *lvAvailable = nullptr;
    QListWidget *lvExported = nullptr;
    QToolButton *tbtAddSelected = nullptr, *tbtAddAll = nullptr, *tbtDelSelected = nullptr, *tbtDelAll = nullptr,
                *tbtMoveColumnUp = nullptr, *tbtMoveColumnDown = nullptr;
    QPushButton *sbSaveasdef = nullptr, *sbLoadSaved = nullptr, *btOK = nullptr, *btCancel = nullptr;
    QLabel *lbStatus = nullptr;
};

class TfrmSavedColumn : public QDialog {
    Q_OBJECT
public:
    enum Mode { LoadMode, SaveMode };
    explicit TfrmSavedColumn(Mode mode, QWidget *parent = nullptr);

    // Save mode: the columns to save.
    void setColumns(const QList<bulk::ExportColumnItem> &columns);
    // The shown column list (load mode: the chosen set's).
    QList<bulk::ExportColumnItem> columns() const;
    // The name of the set saved or chosen.
    QString setName() const { return m_name; }

    void btSaveAsClick();
    void btRenameClick();
    void btDeleteClick();
    void btOKClick();
    void selectSet(int row);

private:
    void fillSets();
    void updateButtons();
    void showColumns(const QList<bulk::ExportColumnItem> &columns);

    Mode m_mode;
    QString m_name;
    QTreeWidget *ListViewSaved = nullptr;
    QTreeWidget *ListViewColumns = nullptr;
    QLineEdit *ebLDAPColName = nullptr;
    QPushButton *btSaveAs = nullptr, *btRename = nullptr, *btDelete = nullptr, *btOK = nullptr;
};

// "   Rename to..": the old name beside "Old Name:" and an edit after "RenameTo:".
class TfrmRenameColumnSet : public QDialog {
    Q_OBJECT
public:
    TfrmRenameColumnSet(const QString &oldName, QWidget *parent = nullptr);
    QString newName() const;

private:
    QLineEdit *ebRenameTo = nullptr;
};
