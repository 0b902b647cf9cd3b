#include "userprop/unExchangeDialogs.h"

#include "core/unSearch.h"
#include "options/unOptions.h"
#include "platform/adsi/adspath.h"
#include "main/unQuickPanel.h"
#include "ui/icons.h"
#include "ui/prompt.h"
#include "ui/windowlayout.h"

#include <QEvent>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScopedValueRollback>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace userprop {

namespace {

const QString kAppTitle = QStringLiteral("Arvendel");

MailPicker &pickerSlot()
{
    static MailPicker p;
    return p;
}

bool pick(QWidget *parent, const UserPropConnection &c, bool groupsToo, QString &name, QString &dn, int &kind)
{
    if (pickerSlot())
        return pickerSlot()(parent, c, groupsToo, name, dn, kind);
    return pickRecipient(parent, c, groupsToo, true, name, dn, kind);
}

QVariantList listOf(const ads::ObjectPtr &o, const QString &name, bool *read = nullptr)
{
    QVariant v;
    const bool ok = ads::succeeded(o->GetEx(name, &v));
    if (read)
        *read = ok;
    return ok ? v.toList() : QVariantList{};
}

QLineEdit *numberEdit(QWidget *parent, const char *name, int maxLength)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    e->setMaxLength(maxLength);
    e->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), e));
    return e;
}

template <class T> T *named(T *w, const char *name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

// The trimmed text as a number; -1 when it is not one.
qint64 numberOf(const QLineEdit *e)
{
    bool ok = false;
    const qint64 n = e->text().trimmed().toLongLong(&ok);
    return ok && n >= 0 ? n : -1;
}

// A row of a recipient list: the caption, the DN in the hidden column, the user or group icon.
QTreeWidgetItem *addRecipientItem(QTreeWidget *list, const RecipientRow &r)
{
    auto *item = new QTreeWidgetItem(list, {r.caption, r.dn});
    if (r.kind == 0 || r.kind == 9)
        item->setIcon(0, r.kind == 0 ? ui::userIcon() : ui::groupIcon());
    return item;
}

QTreeWidget *recipientList(QWidget *parent, const char *name)
{
    auto *l = new QTreeWidget(parent);
    l->setObjectName(QLatin1String(name));
    l->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("DN")});
    l->setColumnHidden(1, true);
    l->setRootIsDecorated(false);
    return l;
}

QString sizeMessage(const char *what)
{
    return QStringLiteral("The value for \"%1\" is not valid.\r\nSpecify a value from 0 through %2")
        .arg(QLatin1String(what))
        .arg(kMaxSizeKb);
}

} // namespace

void setMailPicker(MailPicker picker) { pickerSlot() = std::move(picker); }

RecipientRow describeRecipient(const UserPropConnection &c, const QString &dn)
{
    RecipientRow r;
    r.dn = dn;
    ads::ObjectPtr o;
    if (ads::failed(OpenADsObject(c.pathPrefix + ads::escapePathDn(dn), c.userName, c.password, &o,
                                  QString::fromLatin1(ads::IID_IADs), c.authFlags, c.useCredentials))
        || ads::failed(o->GetInfoEx({QStringLiteral("displayName"), QStringLiteral("cn"), QStringLiteral("objectClass")})))
        return r; // shown without a caption; the DN stays and is written back
    QVariant v;
    if (ads::succeeded(o->Get(QStringLiteral("displayName"), &v)))
        r.caption = v.toString();
    if (r.caption.isEmpty() && ads::succeeded(o->Get(QStringLiteral("cn"), &v)))
        r.caption = v.toString();
    const QString cls = o->Class();
    r.kind = cls.compare(QLatin1String("user"), Qt::CaseInsensitive) == 0 ? 0
        : cls.compare(QLatin1String("group"), Qt::CaseInsensitive) == 0  ? 9
                                                                          : -1;
    return r;
}

// --- common frame ---------------------------------------------------------------------------

TExchangeDialog::TExchangeDialog(const ExchangeContext &context, const QString &caption, bool saveAsks, QWidget *parent)
    : QDialog(parent), m_ctx(context), m_saveAsks(saveAsks)
{
    setWindowTitle(caption);
    btOK = named(new QPushButton(QStringLiteral("OK"), this), "btOK");
    btOK->setDefault(true);
    btCancel = named(new QPushButton(QStringLiteral("Cancel"), this), "btCancel");
    btApply = named(new QPushButton(QStringLiteral("&Apply"), this), "btApply");
    btApply->setEnabled(false);
    connect(btOK, &QPushButton::clicked, this, &TExchangeDialog::btOKClick);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(btApply, &QPushButton::clicked, this, &TExchangeDialog::btApplyClick);
    if (m_ctx.user && ads::succeeded(m_ctx.user->GetInfoEx({QStringLiteral("distinguishedName")}))) {
        QVariant v;
        if (ads::succeeded(m_ctx.user->Get(QStringLiteral("distinguishedName"), &v)))
            m_ownDn = v.toString();
    }
}

void TExchangeDialog::setBody(QWidget *body)
{
    auto *v = new QVBoxLayout(this);
    v->addWidget(body, 1);
    auto *b = new QHBoxLayout;
    b->addStretch(1);
    b->addWidget(btOK);
    b->addWidget(btCancel);
    b->addWidget(btApply);
    v->addLayout(b);
}

bool TExchangeDialog::can(const char *attribute) const
{
    return m_ctx.writable.contains(QString::fromLatin1(attribute).toUpper());
}

void TExchangeDialog::changed()
{
    if (!m_suppress)
        btApply->setEnabled(true);
}

bool TExchangeDialog::confirm()
{
    return !options::ConfirmWrites() || ui::Prompt::confirmSave(this);
}

void TExchangeDialog::btApplyClick()
{
    if (!m_saveAsks && !confirm())
        return;
    if (save())
        btApply->setEnabled(false);
}

void TExchangeDialog::btOKClick()
{
    if (btApply->isEnabled() && !save())
        return;
    accept();
}

ads::ObjectPtr TExchangeDialog::writer()
{
    ads::ObjectPtr w;
    const ads::HRESULT hr = OpenADsObject(m_ctx.user->ADsPath(), m_ctx.connection.userName, m_ctx.connection.password,
                                          &w, QString::fromLatin1(ads::IID_IADs), m_ctx.connection.authFlags,
                                          m_ctx.connection.useCredentials);
    if (ads::failed(hr)) {
        ui::Prompt::error(this, GetADSIErrorText(hr), kAppTitle);
        return nullptr;
    }
    return w;
}

bool TExchangeDialog::putOrFail(ads::HRESULT hr)
{
    if (ads::succeeded(hr))
        return true;
    ui::Prompt::error(this, GetADSIErrorText(hr), kAppTitle);
    return false;
}

bool TExchangeDialog::commit(const ads::ObjectPtr &w, const QStringList &refresh)
{
    if (!putOrFail(w->SetInfo()))
        return false;
    if (!refresh.isEmpty())
        m_ctx.user->GetInfoEx(refresh); // the property dialog's object shows what was written
    return true;
}

void TExchangeDialog::rangeMessage(const QString &text)
{
    ui::Prompt::information(this, text, kAppTitle);
}

// --- delivery restrictions ------------------------------------------------------------------

namespace {
const QStringList kSenderAttributes = {QStringLiteral("authOrig"), QStringLiteral("unauthOrig"),
                                       QStringLiteral("dlMemSubmitPerms"), QStringLiteral("dlMemRejectPerms"),
                                       QStringLiteral("msExchRequireAuthToSendTo")};
}

TfrmDeliveryRestrictions::TfrmDeliveryRestrictions(const ExchangeContext &context, QWidget *parent)
    : TExchangeDialog(context, QStringLiteral(" Delivery Restrictions"), false, parent)
{
    setObjectName(QStringLiteral("frmDeliveryRestrictions"));
    ui::setupWindow(this);
    auto *body = new QWidget(this);
    auto *v = new QVBoxLayout(body);
    auto sizeGroup = [&](const char *title, QRadioButton *&def, QRadioButton *&max, QLineEdit *&edit, const char *prefix) {
        auto *g = new QGroupBox(QLatin1String(title), body);
        auto *gl = new QGridLayout(g);
        def = named(new QRadioButton(QStringLiteral("Use Default"), g), (QByteArray("rb") + prefix + "Default").constData());
        max = named(new QRadioButton(QStringLiteral("Maximum KB:"), g), (QByteArray("rb") + prefix + "Max").constData());
        edit = numberEdit(g, (QByteArray("eb") + prefix + "ingSize").constData(), 7);
        gl->addWidget(def, 0, 0);
        gl->addWidget(max, 1, 0);
        gl->addWidget(edit, 1, 1);
        v->addWidget(g);
        return g;
    };
    QGroupBox *gSend = sizeGroup(" Sending Message Size ", rbSendDefault, rbSendMax, ebSendingSize, "Send");
    QGroupBox *gRecv = sizeGroup(" Receiving Message Size ", rbReceiveDefault, rbReceiveMax, ebReceivingSize, "Receiv");
    ebReceivingSize->setObjectName(QStringLiteral("ebReceivingSize"));
    rbReceiveDefault->setObjectName(QStringLiteral("rbReceiveDefault"));
    rbReceiveMax->setObjectName(QStringLiteral("rbReceiveMax"));
    auto *gm = new QGroupBox(QStringLiteral(" Message Restrictions "), body);
    gbMessageRestrictions = named(gm, "gbMessageRestrictions");
    auto *ml = new QGridLayout(gm);
    cbAuthenticatedOnly = named(new QCheckBox(QStringLiteral("From Authenticated Users Only"), gm), "cbAuthenticatedOnly");
    rbFromEveryone = named(new QRadioButton(QStringLiteral("From Everyone"), gm), "rbFromEveryone");
    rbOnlyFrom = named(new QRadioButton(QStringLiteral("Only From:"), gm), "rbOnlyFrom");
    rbEveryoneExcept = named(new QRadioButton(QStringLiteral("From EveryOne Except:"), gm), "rbEveryoneExcept");
    lvSenders = recipientList(gm, "lvSenders");
    lvSenders->setAccessibleName(QStringLiteral("Senders"));
    btAdd = named(new QPushButton(QStringLiteral("Add..."), gm), "btAdd");
    btRemove = named(new QPushButton(QStringLiteral("Remove..."), gm), "btRemove");
    ml->addWidget(cbAuthenticatedOnly, 0, 0, 1, 2);
    ml->addWidget(rbFromEveryone, 1, 0);
    ml->addWidget(rbOnlyFrom, 2, 0);
    ml->addWidget(rbEveryoneExcept, 3, 0);
    ml->addWidget(lvSenders, 4, 0, 1, 2);
    ml->addWidget(btAdd, 5, 0);
    ml->addWidget(btRemove, 5, 1);
    v->addWidget(gm, 1);
    setBody(body);

    const QScopedValueRollback<bool> guard(m_suppress, true);
    gSend->setEnabled(can("submissionContlength"));
    gRecv->setEnabled(can("delivContLength"));
    const bool restrictions = can("authOrig") && can("unauthOrig") && can("dlMemSubmitPerms") && can("dlMemRejectPerms");
    gm->setEnabled(restrictions);
    cbAuthenticatedOnly->setEnabled(restrictions && can("msExchRequireAuthToSendTo"));

    m_ctx.user->GetInfoEx({QStringLiteral("submissionContlength"), QStringLiteral("delivContLength")});
    for (auto [attr, def, max, edit] : {std::tuple{"submissionContlength", rbSendDefault, rbSendMax, ebSendingSize},
                                        std::tuple{"delivContLength", rbReceiveDefault, rbReceiveMax, ebReceivingSize}}) {
        QVariant value;
        bool ok = false;
        const int n = ads::succeeded(m_ctx.user->Get(QLatin1String(attr), &value)) ? value.toInt(&ok) : -1;
        if (ok && n >= 0) {
            max->setChecked(true);
            edit->setText(QString::number(n));
        } else {
            def->setChecked(true);
        }
        QRadioButton *maxButton = max;
        QLineEdit *e = edit;
        const char *what = attr[0] == 's' ? "Sending Message Size" : "Receiving Message Size";
        connect(e, &QLineEdit::textEdited, this, [this, e, def, maxButton, what] {
            if (e->text().trimmed().isEmpty())
                def->setChecked(true);
            else
                maxButton->setChecked(true);
            if (numberOf(e) > kMaxSizeKb)
                rangeMessage(sizeMessage(what));
            changed();
        });
        connect(def, &QRadioButton::clicked, this, [this, e] {
            e->clear();
            changed();
        });
        connect(max, &QRadioButton::clicked, this, [this] { changed(); });
        edit->installEventFilter(this);
    }

    m_ctx.user->GetInfoEx(kSenderAttributes);
    for (const char *a : {"dlMemSubmitPerms", "authOrig"})
        for (const QVariant &dn : listOf(m_ctx.user, QLatin1String(a))) {
            RecipientRow r = describeRecipient(m_ctx.connection, dn.toString());
            r.from = QLatin1String(a);
            addRow(r);
        }
    if (!m_rows.isEmpty()) {
        rbOnlyFrom->setChecked(true);
    } else {
        for (const char *a : {"dlMemRejectPerms", "unauthOrig"})
            for (const QVariant &dn : listOf(m_ctx.user, QLatin1String(a))) {
                RecipientRow r = describeRecipient(m_ctx.connection, dn.toString());
                r.from = QLatin1String(a);
                addRow(r);
            }
        (m_rows.isEmpty() ? rbFromEveryone : rbEveryoneExcept)->setChecked(true);
    }
    QVariant auth;
    cbAuthenticatedOnly->setChecked(ads::succeeded(m_ctx.user->Get(QStringLiteral("msExchRequireAuthToSendTo"), &auth))
                                    && auth.toBool());
    connect(cbAuthenticatedOnly, &QCheckBox::clicked, this, [this] { sendersChanged(); });
    connect(rbFromEveryone, &QRadioButton::clicked, this, [this] {
        m_rows.clear();
        lvSenders->clear();
        sendersChanged();
    });
    connect(rbOnlyFrom, &QRadioButton::clicked, this, [this] { sendersChanged(); });
    connect(rbEveryoneExcept, &QRadioButton::clicked, this, [this] { sendersChanged(); });
    connect(lvSenders, &QTreeWidget::currentItemChanged, this, [this] { updateButtons(); });
    connect(btAdd, &QPushButton::clicked, this, &TfrmDeliveryRestrictions::btAddClick);
    connect(btRemove, &QPushButton::clicked, this, &TfrmDeliveryRestrictions::btRemoveClick);
    updateButtons();
}

bool TfrmDeliveryRestrictions::eventFilter(QObject *watched, QEvent *event)
{
    const bool send = watched == ebSendingSize;
    if ((send || watched == ebReceivingSize) && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut)) {
        auto *edit = static_cast<QLineEdit *>(watched);
        if (event->type() == QEvent::FocusIn)
            (send ? rbSendMax : rbReceiveMax)->setChecked(true);
        else if (edit->text().trimmed().isEmpty())
            (send ? rbSendDefault : rbReceiveDefault)->setChecked(true);
    }
    return TExchangeDialog::eventFilter(watched, event);
}

void TfrmDeliveryRestrictions::addRow(const RecipientRow &row)
{
    m_rows.append(row);
    addRecipientItem(lvSenders, row);
}

void TfrmDeliveryRestrictions::updateButtons()
{
    btAdd->setEnabled(!rbFromEveryone->isChecked());
    btRemove->setEnabled(lvSenders->currentItem() != nullptr);
}

void TfrmDeliveryRestrictions::sendersChanged()
{
    m_sendersChanged = true;
    updateButtons();
    changed();
}

std::optional<RecipientRow> TExchangeDialog::pickNew(bool groupsToo, const QList<RecipientRow> &held)
{
    QString name, dn;
    int kind = -1;
    if (!pick(this, m_ctx.connection, groupsToo, name, dn, kind))
        return std::nullopt;
    dn = dn.trimmed();
    // The user itself and recipients already listed are passed over without a word.
    if (dn.compare(ownDn(), Qt::CaseInsensitive) == 0)
        return std::nullopt;
    for (const RecipientRow &r : held)
        if (r.dn.compare(dn, Qt::CaseInsensitive) == 0)
            return std::nullopt;
    RecipientRow r = describeRecipient(m_ctx.connection, dn);
    if (r.caption.isEmpty())
        r.caption = name;
    if (r.kind < 0)
        r.kind = kind;
    return r;
}

void TfrmDeliveryRestrictions::btAddClick()
{
    if (const auto r = pickNew(true, m_rows)) {
        addRow(*r);
        sendersChanged();
    }
}

bool removeCurrentRow(QTreeWidget *list, QList<RecipientRow> &rows)
{
    QTreeWidgetItem *item = list->currentItem();
    if (!item)
        return false;
    rows.removeAt(list->indexOfTopLevelItem(item));
    delete item;
    return true;
}

void TfrmDeliveryRestrictions::btRemoveClick()
{
    if (removeCurrentRow(lvSenders, m_rows))
        sendersChanged();
}

bool TfrmDeliveryRestrictions::save()
{
    ads::ObjectPtr w = writer();
    if (!w)
        return false;
    QStringList written;
    for (auto [attr, def, edit, what] :
         {std::tuple{"submissionContlength", rbSendDefault, ebSendingSize, "Sending Message Size"},
          std::tuple{"delivContLength", rbReceiveDefault, ebReceivingSize, "Receiving Message Size"}}) {
        if (!can(attr))
            continue;
        const qint64 n = numberOf(edit);
        if (n < 0 && !def->isChecked()) {
            edit->clear();
            def->setChecked(true);
        }
        if (n > kMaxSizeKb) {
            rangeMessage(sizeMessage(what));
            edit->setFocus();
            return false;
        }
        const QString a = QLatin1String(attr);
        if (!putOrFail(n >= 0 ? w->Put(a, int(n)) : w->PutEx(ads::ADS_PROPERTY_CLEAR, a, {})))
            return false;
        written << a;
    }
    if (m_sendersChanged && gbMessageRestrictions->isEnabled()) {
        // Users and groups go to the attributes of the chosen mode; a row of another class
        // (a contact, or one that could not be read) goes back to the side it came from.
        const bool only = rbOnlyFrom->isChecked();
        const bool except = rbEveryoneExcept->isChecked();
        const QString userAttr = only ? QStringLiteral("authOrig") : QStringLiteral("unauthOrig");
        const QString groupAttr = only ? QStringLiteral("dlMemSubmitPerms") : QStringLiteral("dlMemRejectPerms");
        QVariantList users, groupsList;
        if (only || except)
            for (const RecipientRow &r : m_rows) {
                const bool groupSide = r.kind == 9
                    || (r.kind != 0 && (r.from == QLatin1String("dlMemSubmitPerms") || r.from == QLatin1String("dlMemRejectPerms")));
                (groupSide ? groupsList : users) << r.dn;
            }
        for (const QString &a : kSenderAttributes.mid(0, 4)) {
            const QVariantList &values = a == userAttr && (only || except) ? users
                : a == groupAttr && (only || except)                      ? groupsList
                                                                          : QVariantList{};
            if (!putOrFail(values.isEmpty() ? w->PutEx(ads::ADS_PROPERTY_CLEAR, a, {})
                                            : w->PutEx(ads::ADS_PROPERTY_UPDATE, a, values)))
                return false;
            written << a;
        }
        if (can("msExchRequireAuthToSendTo")) {
            if (!putOrFail(w->Put(QStringLiteral("msExchRequireAuthToSendTo"), cbAuthenticatedOnly->isChecked())))
                return false;
            written << QStringLiteral("msExchRequireAuthToSendTo");
        }
    }
    if (!written.isEmpty() && !commit(w, written))
        return false;
    m_sendersChanged = false;
    ebSendingSize->setModified(false);
    ebReceivingSize->setModified(false);
    return true;
}

// --- delivery options -----------------------------------------------------------------------

TfrmDeliveryOptions::TfrmDeliveryOptions(const ExchangeContext &context, QWidget *parent)
    : TExchangeDialog(context, QStringLiteral(" Delivery Options"), true, parent)
{
    setObjectName(QStringLiteral("frmDeliveryOptions"));
    ui::setupWindow(this);
    auto *body = new QWidget(this);
    auto *v = new QVBoxLayout(body);
    auto *gd = new QGroupBox(QStringLiteral(" Delegates "), body);
    auto *dl = new QGridLayout(gd);
    auto *lbGrant = new QLabel(QStringLiteral("&Grant Permission to:"), gd);
    dl->addWidget(lbGrant, 0, 0, 1, 2);
    lvDelegates = recipientList(gd, "lvDelegates");
    lbGrant->setBuddy(lvDelegates);
    dl->addWidget(lvDelegates, 1, 0, 1, 2);
    btAdd = named(new QPushButton(QStringLiteral("&Add..."), gd), "btAdd");
    btRemove = named(new QPushButton(QStringLiteral("&Remove..."), gd), "btRemove");
    dl->addWidget(btAdd, 2, 0);
    dl->addWidget(btRemove, 2, 1);
    v->addWidget(gd, 1);
    auto *gf = new QGroupBox(QStringLiteral(" Forwarding Address "), body);
    auto *fl = new QGridLayout(gf);
    rbNone = named(new QRadioButton(QStringLiteral("&None"), gf), "rbNone");
    rbForwardTo = named(new QRadioButton(QStringLiteral("&Forward To:"), gf), "rbForwardTo");
    ebForwardTo = named(new QLineEdit(gf), "ebForwardTo");
    ebForwardTo->setReadOnly(true);
    btModify = named(new QPushButton(QStringLiteral("&Modify..."), gf), "btModify");
    cbBoth = named(new QCheckBox(QStringLiteral("D&eliver messages to both forwarding address and mailbox"), gf), "cbBoth");
    fl->addWidget(rbNone, 0, 0);
    fl->addWidget(rbForwardTo, 1, 0);
    fl->addWidget(ebForwardTo, 1, 1);
    fl->addWidget(btModify, 1, 2);
    fl->addWidget(cbBoth, 2, 0, 1, 3);
    v->addWidget(gf);
    auto *gr = new QGroupBox(QStringLiteral(" Recipient Limits "), body);
    auto *rl = new QGridLayout(gr);
    rbRecipDefault = named(new QRadioButton(QStringLiteral("Use Default"), gr), "rbRecipDefault");
    rbRecipMax = named(new QRadioButton(QStringLiteral("Maximum Recipients:"), gr), "rbRecipMax");
    ebRecipLimit = numberEdit(gr, "ebRecipLimit", 7);
    rl->addWidget(rbRecipDefault, 0, 0);
    rl->addWidget(rbRecipMax, 1, 0);
    rl->addWidget(ebRecipLimit, 1, 1);
    v->addWidget(gr);
    setBody(body);

    const QScopedValueRollback<bool> guard(m_suppress, true);
    m_ctx.user->GetInfoEx({QStringLiteral("publicDelegates"), QStringLiteral("altRecipient"),
                           QStringLiteral("deliverAndRedirect"), QStringLiteral("msExchRecipLimit")});
    gd->setEnabled(can("publicDelegates"));
    gr->setEnabled(can("msExchRecipLimit"));
    for (const QVariant &dn : listOf(m_ctx.user, QStringLiteral("publicDelegates"))) {
        RecipientRow r = describeRecipient(m_ctx.connection, dn.toString());
        m_delegates.append(r);
        addRecipientItem(lvDelegates, r);
    }
    QVariant value;
    if (ads::succeeded(m_ctx.user->Get(QStringLiteral("altRecipient"), &value)))
        m_forwardDn = value.toString();
    if (!m_forwardDn.isEmpty()) {
        rbForwardTo->setChecked(true);
        ebForwardTo->setText(describeRecipient(m_ctx.connection, m_forwardDn).caption);
    } else {
        rbNone->setChecked(true);
    }
    cbBoth->setChecked(ads::succeeded(m_ctx.user->Get(QStringLiteral("deliverAndRedirect"), &value)) && value.toBool());
    if (ads::succeeded(m_ctx.user->Get(QStringLiteral("msExchRecipLimit"), &value))) {
        rbRecipMax->setChecked(true);
        ebRecipLimit->setText(QString::number(value.toInt()));
    } else {
        rbRecipDefault->setChecked(true);
    }
    rbNone->setEnabled(can("altRecipient"));
    rbForwardTo->setEnabled(can("altRecipient"));
    updateForwarding();

    connect(btAdd, &QPushButton::clicked, this, &TfrmDeliveryOptions::btAddClick);
    connect(btRemove, &QPushButton::clicked, this, &TfrmDeliveryOptions::btRemoveClick);
    connect(btModify, &QPushButton::clicked, this, &TfrmDeliveryOptions::btModifyClick);
    connect(rbNone, &QRadioButton::clicked, this, [this] {
        ebForwardTo->clear();
        updateForwarding();
        changed();
    });
    connect(rbForwardTo, &QRadioButton::clicked, this, [this] {
        updateForwarding();
        changed();
    });
    connect(cbBoth, &QCheckBox::clicked, this, [this] { changed(); });
    connect(rbRecipDefault, &QRadioButton::clicked, this, [this] {
        ebRecipLimit->clear();
        changed();
    });
    connect(rbRecipMax, &QRadioButton::clicked, this, [this] { changed(); });
    connect(ebRecipLimit, &QLineEdit::textEdited, this, [this] {
        rbRecipMax->setChecked(true);
        if (numberOf(ebRecipLimit) > kMaxSizeKb)
            rangeMessage(sizeMessage("Recipient Limits"));
        changed();
    });
}

void TfrmDeliveryOptions::updateForwarding()
{
    const bool forwarding = rbForwardTo->isChecked() && can("altRecipient");
    ebForwardTo->setEnabled(forwarding);
    btModify->setEnabled(forwarding);
    cbBoth->setEnabled(forwarding && !m_forwardDn.isEmpty() && can("deliverAndRedirect"));
}

void TfrmDeliveryOptions::btAddClick()
{
    if (const auto r = pickNew(false, m_delegates)) {
        m_delegates.append(*r);
        addRecipientItem(lvDelegates, *r);
        changed();
    }
}

void TfrmDeliveryOptions::btRemoveClick()
{
    if (removeCurrentRow(lvDelegates, m_delegates))
        changed();
}

void TfrmDeliveryOptions::btModifyClick()
{
    RecipientRow current;
    current.dn = m_forwardDn;
    if (const auto r = pickNew(false, {current})) {
        m_forwardDn = r->dn;
        ebForwardTo->setText(r->caption);
        updateForwarding();
        changed();
    }
}

bool TfrmDeliveryOptions::save()
{
    if (!confirm())
        return false;
    ads::ObjectPtr w = writer();
    if (!w)
        return false;
    QStringList written;
    if (can("publicDelegates")) {
        QVariantList dns;
        for (const RecipientRow &r : m_delegates)
            dns << r.dn;
        if (!putOrFail(dns.isEmpty() ? w->PutEx(ads::ADS_PROPERTY_CLEAR, QStringLiteral("publicDelegates"), {})
                                     : w->PutEx(ads::ADS_PROPERTY_UPDATE, QStringLiteral("publicDelegates"), dns)))
            return false;
        written << QStringLiteral("publicDelegates");
    }
    const bool forwarding = rbForwardTo->isChecked() && !m_forwardDn.isEmpty();
    if (can("altRecipient")) {
        if (!putOrFail(forwarding ? w->Put(QStringLiteral("altRecipient"), m_forwardDn)
                                  : w->PutEx(ads::ADS_PROPERTY_CLEAR, QStringLiteral("altRecipient"), {})))
            return false;
        written << QStringLiteral("altRecipient");
    }
    if (can("deliverAndRedirect")) {
        if (!putOrFail(cbBoth->isEnabled() ? w->Put(QStringLiteral("deliverAndRedirect"), cbBoth->isChecked())
                                           : w->PutEx(ads::ADS_PROPERTY_CLEAR, QStringLiteral("deliverAndRedirect"), {})))
            return false;
        written << QStringLiteral("deliverAndRedirect");
    }
    if (can("msExchRecipLimit")) {
        if (rbRecipDefault->isChecked()) {
            if (!putOrFail(w->PutEx(ads::ADS_PROPERTY_CLEAR, QStringLiteral("msExchRecipLimit"), {})))
                return false;
        } else {
            const qint64 n = qMax<qint64>(0, numberOf(ebRecipLimit));
            if (n > kMaxSizeKb) {
                rangeMessage(sizeMessage("Recipient Limits"));
                ebRecipLimit->selectAll();
                ebRecipLimit->setFocus();
                return false;
            }
            if (!putOrFail(w->Put(QStringLiteral("msExchRecipLimit"), int(n))))
                return false;
        }
        written << QStringLiteral("msExchRecipLimit");
    }
    return written.isEmpty() || commit(w, written);
}

// --- storage limits -------------------------------------------------------------------------

TfrmStorageLimits::TfrmStorageLimits(const ExchangeContext &context, QWidget *parent)
    : TExchangeDialog(context, QStringLiteral(" Storage Limits"), false, parent)
{
    setObjectName(QStringLiteral("frmStorageLimits"));
    ui::setupWindow(this);
    auto *body = new QWidget(this);
    auto *v = new QVBoxLayout(body);
    auto *gs = new QGroupBox(QStringLiteral(" Storage Limits "), body);
    auto *sl = new QGridLayout(gs);
    cbStoreUseMailboxStoreDefaults =
        named(new QCheckBox(QStringLiteral("Use Mailbox Store Defaults"), gs), "cbStoreUseMailboxStoreDefaults");
    sl->addWidget(cbStoreUseMailboxStoreDefaults, 0, 0, 1, 2);
    cbIssueWarning = named(new QCheckBox(QStringLiteral("Issue Warning at (KB):"), gs), "cbIssueWarning");
    cbProhibitSend = named(new QCheckBox(QStringLiteral("Prohibit Send at (KB):"), gs), "cbProhibitSend");
    cbProhibitSendAndReceive =
        named(new QCheckBox(QStringLiteral("Prohibit Send and Receive at (KB):"), gs), "cbProhibitSendAndReceive");
    ebIssueWarning = numberEdit(gs, "ebIssueWarning", 7);
    ebProhibitSend = numberEdit(gs, "ebProhibitSend", 7);
    ebProhibitSendAndReceive = numberEdit(gs, "ebProhibitSendAndReceive", 7);
    sl->addWidget(cbIssueWarning, 1, 0);
    sl->addWidget(ebIssueWarning, 1, 1);
    sl->addWidget(cbProhibitSend, 2, 0);
    sl->addWidget(ebProhibitSend, 2, 1);
    sl->addWidget(cbProhibitSendAndReceive, 3, 0);
    sl->addWidget(ebProhibitSendAndReceive, 3, 1);
    v->addWidget(gs);
    auto *gr = new QGroupBox(QStringLiteral(" Deleted Item Retention "), body);
    auto *rl = new QGridLayout(gr);
    cbRetentionUseMailboxStoreDefaults =
        named(new QCheckBox(QStringLiteral("Use Mailbox Store Defaults"), gr), "cbRetentionUseMailboxStoreDefaults");
    ebKeepDeletedItems = numberEdit(gr, "ebKeepDeletedItems", 5);
    // The box carries its own text, so a click on the text toggles it.
    cbDoNotDelete = named(new QCheckBox(QStringLiteral("Do not permanently delete items until the store has been backed up"), gr),
                          "cbDoNotDelete");
    rl->addWidget(cbRetentionUseMailboxStoreDefaults, 0, 0, 1, 2);
    rl->addWidget(new QLabel(QStringLiteral("Keep deleted items for (days):"), gr), 1, 0);
    rl->addWidget(ebKeepDeletedItems, 1, 1);
    rl->addWidget(cbDoNotDelete, 2, 0, 1, 2);
    v->addWidget(gr);
    setBody(body);

    const QScopedValueRollback<bool> guard(m_suppress, true);
    m_ctx.user->GetInfoEx({QStringLiteral("mDBUseDefaults"), QStringLiteral("mDBStorageQuota"),
                           QStringLiteral("mDBOverQuotaLimit"), QStringLiteral("mDBOverHardQuotaLimit"),
                           QStringLiteral("maxStorage"), QStringLiteral("deletedItemFlags"),
                           QStringLiteral("garbageCollPeriod")});
    QVariant value;
    cbStoreUseMailboxStoreDefaults->setChecked(!ads::succeeded(m_ctx.user->Get(QStringLiteral("mDBUseDefaults"), &value))
                                               || value.toBool());
    for (auto [attr, box, edit] : {std::tuple{"mDBStorageQuota", cbIssueWarning, ebIssueWarning},
                                   std::tuple{"mDBOverQuotaLimit", cbProhibitSend, ebProhibitSend},
                                   std::tuple{"mDBOverHardQuotaLimit", cbProhibitSendAndReceive, ebProhibitSendAndReceive}}) {
        if (ads::succeeded(m_ctx.user->Get(QLatin1String(attr), &value))) {
            edit->setText(QString::number(value.toLongLong()));
            box->setChecked(value.toLongLong() > 0);
        }
        QCheckBox *b = box;
        QLineEdit *e = edit;
        connect(b, &QCheckBox::clicked, this, [this, b, e] {
            if (b->isChecked() && e->text().isEmpty())
                e->setText(QStringLiteral("0"));
            else if (!b->isChecked())
                e->clear();
            changed();
        });
        connect(e, &QLineEdit::textEdited, this, [this, b, e] {
            b->setChecked(numberOf(e) >= 0);
            changed();
        });
    }
    // Without deletedItemFlags the mailbox follows its store, as with 0: Save writes the flags
    // every time, and an unchecked box would write 5 ("purge at once") over the store's rule.
    // Where the flags cannot be written here (a schema without them) the box decides nothing
    // and the period stays editable.
    const bool ownRetention = ads::succeeded(m_ctx.user->Get(QStringLiteral("deletedItemFlags"), &value));
    cbRetentionUseMailboxStoreDefaults->setChecked(ownRetention ? value.toInt() == 0 : can("deletedItemFlags"));
    cbDoNotDelete->setChecked(ownRetention && value.toInt() == 3);
    if (ads::succeeded(m_ctx.user->Get(QStringLiteral("garbageCollPeriod"), &value)))
        ebKeepDeletedItems->setText(QString::number(value.toLongLong() / 86400));
    connect(cbStoreUseMailboxStoreDefaults, &QCheckBox::clicked, this, [this] {
        updateEnabled();
        changed();
    });
    connect(cbRetentionUseMailboxStoreDefaults, &QCheckBox::clicked, this, [this] {
        if (cbRetentionUseMailboxStoreDefaults->isChecked())
            cbDoNotDelete->setChecked(false);
        updateEnabled();
        changed();
    });
    connect(cbDoNotDelete, &QCheckBox::clicked, this, [this] { changed(); });
    connect(ebKeepDeletedItems, &QLineEdit::textEdited, this, [this] {
        if (numberOf(ebKeepDeletedItems) > kMaxRetentionDays)
            rangeMessage(QStringLiteral("The value is not valid.\r\nSpecify a value from 0 through %1").arg(kMaxRetentionDays));
        changed();
    });
    updateEnabled();
}

void TfrmStorageLimits::updateEnabled()
{
    cbStoreUseMailboxStoreDefaults->setEnabled(can("mDBUseDefaults"));
    const bool quotas = !cbStoreUseMailboxStoreDefaults->isChecked();
    for (auto [attr, box, edit] : {std::tuple{"mDBStorageQuota", cbIssueWarning, ebIssueWarning},
                                   std::tuple{"mDBOverQuotaLimit", cbProhibitSend, ebProhibitSend},
                                   std::tuple{"mDBOverHardQuotaLimit", cbProhibitSendAndReceive, ebProhibitSendAndReceive}}) {
        box->setEnabled(quotas && can(attr));
        edit->setEnabled(quotas && can(attr));
    }
    cbRetentionUseMailboxStoreDefaults->setEnabled(can("deletedItemFlags"));
    const bool retention = !cbRetentionUseMailboxStoreDefaults->isChecked();
    ebKeepDeletedItems->setEnabled(retention && can("garbageCollPeriod"));
    cbDoNotDelete->setEnabled(retention && can("deletedItemFlags"));
}

bool TfrmStorageLimits::save()
{
    const qint64 days = qMax<qint64>(0, numberOf(ebKeepDeletedItems));
    if (can("garbageCollPeriod") && days > kMaxRetentionDays) {
        rangeMessage(QStringLiteral("The value is not valid.\r\nSpecify a value from 0 through %1").arg(kMaxRetentionDays));
        ebKeepDeletedItems->setFocus();
        return false;
    }
    const std::tuple<const char *, QCheckBox *, QLineEdit *, const char *> quotas[] = {
        {"mDBStorageQuota", cbIssueWarning, ebIssueWarning, "Issue Warning"},
        {"mDBOverQuotaLimit", cbProhibitSend, ebProhibitSend, "Prohibit Send"},
        {"mDBOverHardQuotaLimit", cbProhibitSendAndReceive, ebProhibitSendAndReceive, "Prohibit Send and Receive"}};
    for (const auto &[attr, box, edit, what] : quotas)
        if (can(attr) && box->isChecked() && numberOf(edit) > kMaxSizeKb) {
            rangeMessage(sizeMessage(what));
            edit->setFocus();
            return false;
        }
    ads::ObjectPtr w = writer();
    if (!w)
        return false;
    QStringList written;
    auto put = [&](const char *attr, const QVariant &v) {
        if (!can(attr))
            return true; // not writable here, or unknown to this directory's schema
        written << QLatin1String(attr);
        return putOrFail(v.isValid() ? w->Put(QLatin1String(attr), v)
                                     : w->PutEx(ads::ADS_PROPERTY_CLEAR, QLatin1String(attr), {}));
    };
    if (!put("mDBUseDefaults", cbStoreUseMailboxStoreDefaults->isChecked()))
        return false;
    for (const auto &[attr, box, edit, what] : quotas)
        if (!put(attr, box->isChecked() ? QVariant(int(qMax<qint64>(0, numberOf(edit)))) : QVariant()))
            return false;
    const int flags = cbRetentionUseMailboxStoreDefaults->isChecked() ? 0 : cbDoNotDelete->isChecked() ? 3 : 5;
    if (!put("deletedItemFlags", flags) || !put("garbageCollPeriod", int(days * 86400)))
        return false;
    return written.isEmpty() || commit(w, written);
}

// --- custom attributes ----------------------------------------------------------------------

TfrmExchangeExtAtt::TfrmExchangeExtAtt(const ExchangeContext &context, QWidget *parent)
    : TExchangeDialog(context, QStringLiteral(" Exchange Custom Attributes"), true, parent)
{
    setObjectName(QStringLiteral("frmExchangeExtAtt"));
    ui::setupWindow(this);
    // The first page's fields are spelled with a small "e", the others with a capital.
    static const char *const kEditNames[15] = {
        "ebextensionAttribute1",  "ebextensionAttribute2",  "ebextensionAttribute3",  "ebextensionAttribute4",
        "ebextensionAttribute5",  "ebExtensionAttribute6",  "ebExtensionAttribute7",  "ebExtensionAttribute8",
        "ebExtensionAttribute9",  "ebExtensionAttribute10", "ebExtensionAttribute11", "ebExtensionAttribute12",
        "ebExtensionAttribute13", "ebExtensionAttribute14", "ebExtensionAttribute15"};
    auto *tabs = new QTabWidget(this);
    QStringList names;
    for (int n = 1; n <= 15; ++n)
        names << QStringLiteral("extensionAttribute%1").arg(n);
    m_ctx.user->GetInfoEx(names);
    const QScopedValueRollback<bool> guard(m_suppress, true);
    for (int page = 0; page < 3; ++page) {
        auto *w = new QWidget;
        auto *g = new QGridLayout(w);
        for (int i = 0; i < 5; ++i) {
            const int n = page * 5 + i + 1;
            auto *e = new QLineEdit(w);
            e->setObjectName(QString::fromLatin1(kEditNames[n - 1]));
            QVariant v;
            QString text;
            if (ads::succeeded(m_ctx.user->Get(names[n - 1], &v)))
                text = v.typeId() == QMetaType::QVariantList ? v.toList().value(0).toString() : v.toString();
            // The catalogue's maximum length and the read-only look, as every other field.
            quickpanel::fillEditor(e, names[n - 1], text, m_ctx.writable.contains(names[n - 1].toUpper()));
            connect(e, &QLineEdit::textEdited, this, [this] { changed(); });
            auto *caption = new QLabel(QStringLiteral("Custom Attribute %1:").arg(n), w);
            caption->setBuddy(e);
            g->addWidget(caption, i, 0);
            g->addWidget(e, i, 1);
            m_edits[n - 1] = e;
        }
        tabs->addTab(w, QStringLiteral("%1 - %2").arg(page * 5 + 1).arg(page * 5 + 5));
    }
    setBody(tabs);
}

bool TfrmExchangeExtAtt::save()
{
    if (!confirm())
        return false;
    ads::ObjectPtr w = writer();
    if (!w)
        return false;
    QStringList written;
    for (int n = 1; n <= 15; ++n) {
        QLineEdit *e = m_edits[n - 1];
        if (!e->isModified() || !e->isEnabled())
            continue;
        const QString attr = QStringLiteral("extensionAttribute%1").arg(n);
        const QString text = e->text().trimmed();
        if (!putOrFail(text.isEmpty() ? w->PutEx(ads::ADS_PROPERTY_CLEAR, attr, {}) : w->Put(attr, text)))
            return false;
        written << attr;
    }
    if (!written.isEmpty() && !commit(w, written))
        return false;
    for (QLineEdit *e : m_edits)
        e->setModified(false);
    return true;
}

// --- locator service ------------------------------------------------------------------------

void splitIlsValue(const QString &value, QString &server, QString &account)
{
    const int slash = value.indexOf(QLatin1Char('/'));
    server = slash < 0 ? QString() : value.left(slash);
    account = slash < 0 ? value : value.mid(slash + 1);
}

TfrmILSSetings::TfrmILSSetings(const ExchangeContext &context, QWidget *parent)
    : TExchangeDialog(context, QStringLiteral(" Exchange Internet Locator Service"), true, parent)
{
    setObjectName(QStringLiteral("frmILSSetings"));
    ui::setupWindow(this);
    auto *body = new QWidget(this);
    auto *g = new QGridLayout(body);
    ebILSServer = named(new QLineEdit(body), "ebILSServer");
    ebILSAccount = named(new QLineEdit(body), "ebILSAccount");
    auto *lbServer = new QLabel(QStringLiteral("ILS Server:"), body);
    auto *lbAccount = new QLabel(QStringLiteral("ILS Account:"), body);
    lbServer->setBuddy(ebILSServer);
    lbAccount->setBuddy(ebILSAccount);
    g->addWidget(lbServer, 0, 0);
    g->addWidget(ebILSServer, 0, 1);
    g->addWidget(lbAccount, 1, 0);
    g->addWidget(ebILSAccount, 1, 1);
    g->setRowStretch(2, 1);
    setBody(body);
    const QScopedValueRollback<bool> guard(m_suppress, true);
    m_ctx.user->GetInfoEx({QStringLiteral("autoReplyMessage")});
    QVariant v;
    const bool writable = can("autoReplyMessage");
    ebILSServer->setEnabled(writable);
    ebILSAccount->setEnabled(writable);
    if (ads::succeeded(m_ctx.user->Get(QStringLiteral("autoReplyMessage"), &v))) {
        QString server, account;
        splitIlsValue(v.typeId() == QMetaType::QVariantList ? v.toList().value(0).toString() : v.toString(), server,
                      account);
        ebILSServer->setText(server);
        ebILSAccount->setText(account);
    }
    for (QLineEdit *e : {ebILSServer, ebILSAccount})
        connect(e, &QLineEdit::textEdited, this, [this] { changed(); });
}

bool TfrmILSSetings::save()
{
    if (!ebILSServer->isModified() && !ebILSAccount->isModified())
        return true;
    if (!confirm())
        return false;
    ads::ObjectPtr w = writer();
    if (!w)
        return false;
    if (!putOrFail(w->Put(QStringLiteral("autoReplyMessage"),
                          ebILSServer->text().trimmed() + QLatin1Char('/') + ebILSAccount->text().trimmed()))
        || !commit(w, {QStringLiteral("autoReplyMessage")}))
        return false;
    ebILSServer->setModified(false);
    ebILSAccount->setModified(false);
    return true;
}

} // namespace userprop
