#pragma once
// The manager dialog of the quick panel (TfrmManager, " Edit Manager"): shows the assigned
// manager, changes it with the user picker, removes it, opens its property dialog.
#include "userprop/unUserProp.h"

#include <QDialog>

class QLabel;
class QPushButton;

class TfrmManager : public QDialog {
    Q_OBJECT
public:
    explicit TfrmManager(QWidget *parent = nullptr);

    void setManager(const QString &name, const QString &dn, const userprop::UserPropConnection &c);
    QString managerName() const { return name_; }
    QString managerDn() const { return dn_; }

    // Handlers, public for tests.
    void btChangeClick();
    void btRemoveClick();
    void btPropertiesClick();
    void btOKClick();
    void setChoice(const QString &name, const QString &dn); // as the picker's OK does

    // Modal run: true only when the DN changed (without regard to case); name and dn then
    // hold the new manager (both empty when removed).
    static bool edit(QWidget *parent, QString &name, QString &dn, const userprop::UserPropConnection &c);

    QLabel *lbManagerName = nullptr;
    QPushButton *btChange = nullptr, *btRemove = nullptr, *btProperties = nullptr, *btOK = nullptr,
                *btCancel = nullptr;

private:
    void show_();
    QString name_, dn_, initialDn_;
    userprop::UserPropConnection conn_;
};
