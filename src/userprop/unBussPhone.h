#pragma once
// The other-values editor (TfrmBussPhone): the values of one multi-valued text attribute of a
// user (other telephone numbers, other web pages), written with one modify on OK.
#include "platform/adsi/adsobject.h"
#include "userprop/unUserProp.h"

#include <QDialog>

class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace userprop {

class TfrmBussPhone : public QDialog {
    Q_OBJECT
public:
    // user: read from; the write goes through a binding of its own (by the user's path and
    // the connection's credentials) so that a refused write leaves nothing staged on user.
    TfrmBussPhone(const ads::ObjectPtr &user, const QString &attribute, int catalogueKey, bool writable,
                  const UserPropConnection &connection, QWidget *parent = nullptr);

    // "Phone Number (Others)" ... by catalogue key; empty for other keys.
    static QString captionForKey(int key);
    // Opens the editor modally; true when it wrote.
    static bool edit(QWidget *parent, const ads::ObjectPtr &user, const QString &attribute, int catalogueKey,
                     bool writable, const UserPropConnection &connection);

    void btAddClick();
    void btEditClick();
    void btRemoveClick();
    // Writes when something changed and closes; stays open (after the message) when the
    // directory refuses.
    void btOKClick();
    QStringList values() const;
    bool wrote() const { return m_wrote; }

    QTreeWidget *lvOtherPhone;
    QLineEdit *ebNewValue;
    QPushButton *btAdd, *btEdit, *btRemove, *btOK, *btCancel;

private:
    void setChanged();
    ads::ObjectPtr m_user;
    QString m_attribute;
    UserPropConnection m_conn;
    bool m_changed = false, m_wrote = false;
};

} // namespace userprop
