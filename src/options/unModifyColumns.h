#pragma once
// The "  Modify Columns" dialog: which grid columns are hidden. The list rules live in
// ColumnChooser (no widgets); TfrmModifyColumns shows them.
#include <QDialog>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <vector>

class QListWidget;
class QToolButton;
class QPushButton;

namespace options {

// A dynamic array of column tags in grid column order.
using TOurColumnArray = QList<int>;

// The two lists of the dialog as tags, and the moves between them.
class ColumnChooser {
public:
    ColumnChooser(const TOurColumnArray &columns, const QSet<int> &hidden);

    const QList<int> &hiddenList() const { return hidden_; }
    const QList<int> &displayedList() const { return displayed_; }

    // Moves the hidden items at the given positions to the end of the displayed list.
    void add(const QList<int> &hiddenPositions);
    // Moves the displayed items at the given positions to the end of the hidden list; items
    // with a negative tag stay. Returns the positions (in the new displayed list) of the
    // items that stayed selected, i.e. those that did not move.
    QList<int> remove(const QList<int> &displayedPositions);
    // Moves the one selected displayed item up or down by one place. Only with exactly one
    // selection; the item with tag -3 never moves; up only from the third place on.
    // Returns the item's new position, or -1 when nothing moved.
    int moveUp(const QList<int> &displayedPositions);
    int moveDown(const QList<int> &displayedPositions);
    // Back to the passed tags and set.
    void reset();

    // The hidden set the lists now describe, and whether it differs from the passed one.
    QSet<int> hiddenSet() const;
    bool changed() const { return hiddenSet() != initial_; }

private:
    TOurColumnArray columns_;
    QSet<int> initial_;
    QList<int> hidden_;
    QList<int> displayed_;
};

// The dialog. captionOf gives each tag's caption (the catalogue's user table).
class TfrmModifyColumns : public QDialog {
    Q_OBJECT
public:
    TfrmModifyColumns(const TOurColumnArray &columns, const QSet<int> &hidden,
                      std::function<QString(int tag)> captionOf, QWidget *parent = nullptr);

    // After exec() == Accepted: the new hidden set.
    QSet<int> hiddenSet() const { return chooser_.hiddenSet(); }
    const ColumnChooser &chooser() const { return chooser_; }

    void tbtAddClick();
    void btRemoveClick();
    void btMoveUpClick();
    void btMoveDownClick();
    void btResetClick();
    void btOKClick();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fill(const QList<int> &selectDisplayed = {});
    static QList<int> selectedRows(QListWidget *list);

    ColumnChooser chooser_;
    std::function<QString(int)> captionOf_;
    QListWidget *lbHiddenColumn_;
    QListWidget *lbUnHiddenColumn_;
};

// Opens the dialog (modal). On OK with a changed set, returns true and sets hidden.
bool selectVisibleColumns(QWidget *parent, const TOurColumnArray &columns, QSet<int> &hidden,
                          std::function<QString(int tag)> captionOf);
// The same for the grid's vectors: columns are the text column tags in creation order,
// hidden the tags of the invisible columns; on OK hidden becomes the new set in column order.
bool selectVisibleColumns(QWidget *parent, const std::vector<int> &columns, std::vector<int> &hidden,
                          std::function<QString(int tag)> captionOf);

} // namespace options
