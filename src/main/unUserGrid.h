#pragma once
// The user grid of the main window (NextGrid): a Qt model/view grid over the listed users
// (userlist::UserRows), never a widget per cell, so that 100,000 rows fill, scroll and sort
// at once.
//
// Embedding (main window):
//   auto *list = new userlist::TUserList(this);          // the listing logic (unUserListing.h)
//   auto *grid = new TUserGrid(list, this);               // objectName "NextGrid"
//   grid->setHiddenTags(options::LoadHiddenColumns());    // before showing
//   connect(grid, &TUserGrid::userSelected, this, ...);   // bind the user, fill the panel
//   ... at close: options::SaveHiddenColumns(grid->hiddenTags());
// The grid follows the list by itself: it is emptied when a listing starts, disabled while
// it runs, filled once when it ends, and rewrites a row when a record changes.
#include "main/unUserList.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QKeySequence>
#include <QTableView>

#include <array>
#include <vector>

namespace userlist {
class TUserList;
}

// The icon of an account state (0 normal, 1 disabled, 2 locked out, 3 password expired),
// 16x16, drawn once and shared; the image list of the data module takes them from here.
QIcon userStateIcon(int state);

class UserGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Roles of the cn cell (the values that match a row to its record) and of the header.
    // NameRole and TagRole are header roles: the column's name ("Nx" + tag) and tag.
    enum Role { CarriedDnRole = Qt::UserRole + 1, CarriedIndexRole, TagRole, NameRole, StateRole };

    explicit UserGridModel(const userlist::UserRows *rows, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

    // FillGrid: one row per record, in record order.
    void fillGrid();
    // Removes every row (before the records are freed).
    void clearRows();
    // WriteRow: row shows record i.
    void writeRow(int row, int record);
    // Row showing a record, -1 when none.
    int rowOfRecord(int record) const;
    // FindRowByDn: first row whose carried distinguished name equals dn (case ignored).
    int findRowByDn(const QString &dn) const;
    // Record index carried by a row, -1 for a row out of range.
    int recordOfRow(int row) const;

    void setColumnAlignment(int column, Qt::Alignment alignment);
    Qt::Alignment columnAlignment(int column) const;

    // The tab-separated text of rows, cells of the given columns in the given order.
    QString tabText(const std::vector<int> &rows, const std::vector<int> &columns) const;

private:
    const userlist::UserRows *rows_;
    std::vector<int> order_; // row -> record index
    std::array<Qt::Alignment, 18> alignment_{};
};

class TUserGrid : public QTableView {
    Q_OBJECT
public:
    explicit TUserGrid(userlist::TUserList *list, QWidget *parent = nullptr);

    UserGridModel *gridModel() const { return model_; }
    userlist::TUserList *userList() const { return list_; }

    // Column of a tag in the model (creation order), -1 when none.
    static int columnOfTag(int tag) { return userlist::columnOfTag(tag); }

    // Makes hideable columns invisible when their tag is in the set (others visible).
    void setHiddenTags(const std::vector<int> &tags);
    // Tags of the invisible columns, in the grid's (visual) column order.
    std::vector<int> hiddenTags() const;
    // Tags of all columns in the grid's (visual) column order.
    std::vector<int> visualTags() const;

    // The alignment buttons (tbLeftGrid, tbCenterGrid, tbRightGrid): the current column.
    void alignCurrentColumn(Qt::Alignment horizontal);

    // Sorting without the mouse (F4): sorts by the current cell's column as a click on its
    // header would, ascending first and reversing the order when that column is sorted already.
    static QKeySequence sortShortcut() { return QKeySequence(Qt::Key_F4); }
    void sortByCurrentColumn();

    // Copies the selected rows as tab-separated text (visible columns in visual order).
    void copySelection();
    QString selectionText() const;

    void fillGrid();

signals:
    // A row was selected whose record differs from the one shown (NextGridSelectCell): the
    // main window binds the user and fills the quick panel.
    void userSelected(int recordIndex, const QString &distinguishedName);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    void updateGeometries() override;

private:
    void onCurrentChanged(const QModelIndex &current, const QModelIndex &previous);
    void onSectionMoved(int logical, int oldVisual, int newVisual);
    void onSectionClicked(int logical);
    void sortAsHeaderClick(int logical);
    void resetWidths();
    // The fixed columns (icon, Common Name, Display Name) stay in view while the grid
    // scrolls sideways: a second view over the same model covers the left edge.
    void setupFixedView();
    void updateFixedGeometry();
    int fixedWidth() const;

    QTableView *fixed_ = nullptr;

    userlist::TUserList *list_;
    UserGridModel *model_;
    bool guardMove_ = false;
};
