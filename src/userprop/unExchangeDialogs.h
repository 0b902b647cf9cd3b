#pragma once
// The mail-settings dialogs of a mailbox user: delivery restrictions, delivery options,
// storage limits, the fifteen custom attributes and the locator-service settings. Each reads
// from the property dialog's user object and writes with its own Apply: one modify, through a
// binding of its own, so that a refused write leaves nothing staged on the dialog's object.
// Attributes outside the writable set (among them those the directory's schema lacks) are
// never written.
#include "platform/adsi/adsobject.h"
#include "userprop/unUserProp.h"

#include <QDialog>
#include <QSet>
#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTreeWidget;

namespace userprop {

constexpr int kMaxSizeKb = 2097151;
constexpr int kMaxRetentionDays = 24855;

struct ExchangeContext {
    ads::ObjectPtr user;
    UserPropConnection connection;
    QSet<QString> writable; // upper-cased
};

// The user picker of these dialogs: mailbox owners only; groups too when asked. kind: 0 user,
// 9 group. Tests replace it.
using MailPicker = std::function<bool(QWidget *, const UserPropConnection &, bool groupsToo, QString &name,
                                      QString &dn, int &kind)>;
void setMailPicker(MailPicker picker);

// A recipient row: caption (displayName, else cn), DN, class.
struct RecipientRow {
    QString caption;
    QString dn;
    int kind = -1;          // 0 user, 9 group, -1 other or unknown
    QString from;           // the attribute it was read from (empty when added)
};
RecipientRow describeRecipient(const UserPropConnection &c, const QString &dn);
// Removes the selected row of a recipient list and its record; false when none is selected.
bool removeCurrentRow(QTreeWidget *list, QList<RecipientRow> &rows);

class TExchangeDialog : public QDialog {
    Q_OBJECT
public:
    void btApplyClick();
    void btOKClick();
    QPushButton *btOK, *btCancel, *btApply;

protected:
    TExchangeDialog(const ExchangeContext &context, const QString &caption, bool saveAsks, QWidget *parent);
    // The controls above the buttons.
    void setBody(QWidget *body);
    bool can(const char *attribute) const;
    void changed();
    // The dialog's writes; false (after its message) keeps the dialog open.
    virtual bool save() = 0;
    // A binding of its own for the writes; null after showing why it failed.
    ads::ObjectPtr writer();
    // Sends the staged changes; false after showing the directory's text.
    bool commit(const ads::ObjectPtr &w, const QStringList &refresh);
    bool putOrFail(ads::HRESULT hr);
    bool confirm();
    void rangeMessage(const QString &text);
    // A recipient from the picker, unless it is the user itself or one of held.
    std::optional<RecipientRow> pickNew(bool groupsToo, const QList<RecipientRow> &held);
    QString ownDn() const { return m_ownDn; }
    ExchangeContext m_ctx;
    bool m_suppress = false;
    bool m_saveAsks;

private:
    QString m_ownDn;
};


class TfrmDeliveryRestrictions : public TExchangeDialog {
    Q_OBJECT
public:
    TfrmDeliveryRestrictions(const ExchangeContext &context, QWidget *parent = nullptr);
    void btAddClick();
    void btRemoveClick();
    const QList<RecipientRow> &senders() const { return m_rows; }

    QRadioButton *rbSendDefault, *rbSendMax, *rbReceiveDefault, *rbReceiveMax;
    QLineEdit *ebSendingSize, *ebReceivingSize;
    QWidget *gbMessageRestrictions;
    QRadioButton *rbFromEveryone, *rbOnlyFrom, *rbEveryoneExcept;
    QCheckBox *cbAuthenticatedOnly;
    QTreeWidget *lvSenders;
    QPushButton *btAdd, *btRemove;

protected:
    bool save() override;
    // Entering a size edit chooses its "Maximum KB:"; leaving it empty, "Use Default".
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void addRow(const RecipientRow &row);
    void sendersChanged();
    void updateButtons();
    QList<RecipientRow> m_rows;
    bool m_sendersChanged = false;
};

class TfrmDeliveryOptions : public TExchangeDialog {
    Q_OBJECT
public:
    TfrmDeliveryOptions(const ExchangeContext &context, QWidget *parent = nullptr);
    void btAddClick();
    void btRemoveClick();
    void btModifyClick();

    QTreeWidget *lvDelegates;
    QPushButton *btAdd, *btRemove, *btModify;
    QRadioButton *rbNone, *rbForwardTo, *rbRecipDefault, *rbRecipMax;
    QLineEdit *ebForwardTo, *ebRecipLimit;
    QCheckBox *cbBoth;

protected:
    bool save() override;

private:
    void updateForwarding();
    QList<RecipientRow> m_delegates;
    QString m_forwardDn;
};

class TfrmStorageLimits : public TExchangeDialog {
    Q_OBJECT
public:
    TfrmStorageLimits(const ExchangeContext &context, QWidget *parent = nullptr);

    QCheckBox *cbStoreUseMailboxStoreDefaults, *cbIssueWarning, *cbProhibitSend, *cbProhibitSendAndReceive;
    QLineEdit *ebIssueWarning, *ebProhibitSend, *ebProhibitSendAndReceive;
    QCheckBox *cbRetentionUseMailboxStoreDefaults, *cbDoNotDelete;
    QLineEdit *ebKeepDeletedItems;

protected:
    bool save() override;

private:
    void updateEnabled();
};

class TfrmExchangeExtAtt : public TExchangeDialog {
    Q_OBJECT
public:
    TfrmExchangeExtAtt(const ExchangeContext &context, QWidget *parent = nullptr);
    QLineEdit *edit(int n) const { return m_edits[n - 1]; }

protected:
    bool save() override;

private:
    QLineEdit *m_edits[15] = {};
};

class TfrmILSSetings : public TExchangeDialog {
    Q_OBJECT
public:
    TfrmILSSetings(const ExchangeContext &context, QWidget *parent = nullptr);
    QLineEdit *ebILSServer, *ebILSAccount;

protected:
    bool save() override;
};

// Splits autoReplyMessage at its first "/": server before, account after (no "/": the
// whole value is the account).
void splitIlsValue(const QString &value, QString &server, QString &account);

} // namespace userprop
