#pragma once
// The logon-workstations list (TfrmLogonWorkstations): all computers, or the names listed.
#include <QDialog>
#include <QStringList>

class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QRadioButton;

class TfrmLogonWorkstations : public QDialog {
    Q_OBJECT
public:
    explicit TfrmLogonWorkstations(QWidget *parent = nullptr);

    // The names to show ("The following computers" when there are any) and whether the
    // list may be edited.
    void setNames(const QStringList &names, bool writable);
    // On OK: the names with "The following computers", else none.
    QStringList names() const;

    // Handlers, public for tests.
    void btAddClick();
    void btRemoveClick();
    void editName(int row, const QString &name); // the in-place edit's result
    void rbAllComputersClick();
    void btOKClick();

    static bool edit(QWidget *parent, QStringList &names, bool writable);

    QRadioButton *rbAllComputers = nullptr;
    QRadioButton *rbTheFollowingComputers = nullptr;
    QLineEdit *ebAddComputer = nullptr;
    QPushButton *btAdd = nullptr, *btEdit = nullptr, *btRemove = nullptr, *btOK = nullptr, *btCancel = nullptr;
    QListWidget *lvComputers = nullptr;

private:
    QStringList listed() const;
    void updateButtons();
    bool writable_ = true;
};
