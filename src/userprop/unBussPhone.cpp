#include "userprop/unBussPhone.h"

#include "core/unSearch.h"
#include "main/unCatalogue.h"
#include "options/unOptions.h"
#include "ui/prompt.h"
#include "ui/windowlayout.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace userprop {

QString TfrmBussPhone::captionForKey(int key)
{
    switch (key) {
    case 6: return QStringLiteral("Phone Number (Others)");
    case 9: return QStringLiteral("Web Page Address (Others)");
    case 32: return QStringLiteral("Home Phone Number (Others)");
    case 34: return QStringLiteral("Pager Number (Others)");
    case 36: return QStringLiteral("Mobile Number (Others)");
    case 38: return QStringLiteral("Fax Number (Others)");
    case 40: return QStringLiteral("IP Phone Number (Others)");
    default: return QString();
    }
}

TfrmBussPhone::TfrmBussPhone(const ads::ObjectPtr &user, const QString &attribute, int catalogueKey, bool writable,
                             const UserPropConnection &connection, QWidget *parent)
    : QDialog(parent), m_user(user), m_attribute(attribute), m_conn(connection)
{
    setObjectName(QStringLiteral("frmBussPhone"));
    // The other lists have their own captions; an attribute of a field that shows several
    // values (P.O.Box) goes by its catalogue caption.
    const QString caption = captionForKey(catalogueKey);
    setWindowTitle(caption.isEmpty() ? CaptionByKey(catalogueKey) : caption);
    ui::setupWindow(this, QSize(340, 320));
    lvOtherPhone = new QTreeWidget(this);
    lvOtherPhone->setObjectName(QStringLiteral("lvOtherPhone"));
    lvOtherPhone->setHeaderHidden(true);
    lvOtherPhone->setAccessibleName(captionForKey(catalogueKey));
    lvOtherPhone->setRootIsDecorated(false);
    ebNewValue = new QLineEdit(this);
    ebNewValue->setObjectName(QStringLiteral("ebNewValue"));
    btAdd = new QPushButton(QStringLiteral("Add"), this);
    btAdd->setObjectName(QStringLiteral("btAdd"));
    btEdit = new QPushButton(QStringLiteral("Edit"), this);
    btEdit->setObjectName(QStringLiteral("btEdit"));
    btRemove = new QPushButton(QStringLiteral("Remove"), this);
    btRemove->setObjectName(QStringLiteral("btRemove"));
    btOK = new QPushButton(QStringLiteral("OK"), this);
    btOK->setObjectName(QStringLiteral("btOK"));
    btCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    btOK->setEnabled(false);
    btOK->setDefault(true);
    ui::tabOrder({ebNewValue, btAdd, lvOtherPhone, btEdit, btRemove, btOK, btCancel});

    auto *v = new QVBoxLayout(this);
    auto *newRow = new QHBoxLayout;
    auto *label = new QLabel(QStringLiteral("New Value:"), this);
    label->setBuddy(ebNewValue);
    newRow->addWidget(label);
    newRow->addWidget(ebNewValue, 1);
    newRow->addWidget(btAdd);
    v->addLayout(newRow);
    auto *listRow = new QHBoxLayout;
    listRow->addWidget(lvOtherPhone, 1);
    auto *side = new QVBoxLayout;
    side->addWidget(btEdit);
    side->addWidget(btRemove);
    side->addStretch(1);
    listRow->addLayout(side);
    v->addLayout(listRow, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(btOK);
    bottom->addWidget(btCancel);
    v->addLayout(bottom);

    QVariant current;
    if (m_user && ads::succeeded(m_user->GetInfoEx({attribute})) && ads::succeeded(m_user->GetEx(attribute, &current)))
        for (const QVariant &value : current.toList())
            new QTreeWidgetItem(lvOtherPhone, {value.toString()});

    if (!writable) {
        for (QWidget *w : std::initializer_list<QWidget *>{lvOtherPhone, ebNewValue, btAdd, btEdit, btRemove}) {
            w->setEnabled(false);
            QPalette p = w->palette();
            p.setColor(QPalette::Base, p.color(QPalette::Button));
            w->setPalette(p);
        }
    }
    auto updateButtons = [this, writable] {
        btAdd->setEnabled(writable && !ebNewValue->text().trimmed().isEmpty());
        btEdit->setEnabled(writable && lvOtherPhone->currentItem());
        btRemove->setEnabled(writable && lvOtherPhone->currentItem());
    };
    updateButtons();
    connect(ebNewValue, &QLineEdit::textChanged, this, updateButtons);
    connect(lvOtherPhone, &QTreeWidget::currentItemChanged, this, updateButtons);
    connect(lvOtherPhone, &QTreeWidget::itemChanged, this, [this] { setChanged(); });
    connect(btAdd, &QPushButton::clicked, this, &TfrmBussPhone::btAddClick);
    connect(btEdit, &QPushButton::clicked, this, &TfrmBussPhone::btEditClick);
    connect(btRemove, &QPushButton::clicked, this, &TfrmBussPhone::btRemoveClick);
    connect(btOK, &QPushButton::clicked, this, &TfrmBussPhone::btOKClick);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmBussPhone::setChanged()
{
    m_changed = true;
    btOK->setEnabled(true);
}

QStringList TfrmBussPhone::values() const
{
    QStringList out;
    for (int i = 0; i < lvOtherPhone->topLevelItemCount(); ++i)
        out << lvOtherPhone->topLevelItem(i)->text(0);
    return out;
}

void TfrmBussPhone::btAddClick()
{
    const QString value = ebNewValue->text().trimmed();
    if (value.isEmpty())
        return;
    auto *item = new QTreeWidgetItem(lvOtherPhone, {value});
    lvOtherPhone->setCurrentItem(item);
    ebNewValue->clear();
    setChanged();
}

void TfrmBussPhone::btEditClick()
{
    QTreeWidgetItem *item = lvOtherPhone->currentItem();
    if (!item)
        return;
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    lvOtherPhone->editItem(item, 0);
}

void TfrmBussPhone::btRemoveClick()
{
    delete lvOtherPhone->currentItem();
    setChanged();
}

void TfrmBussPhone::btOKClick()
{
    if (!m_changed) {
        accept();
        return;
    }
    if (options::ConfirmWrites() && !ui::Prompt::confirmSave(this)) {
        accept();
        return;
    }
    const QStringList rows = values();
    ads::ObjectPtr writer;
    ads::HRESULT hr = OpenADsObject(m_user->ADsPath(), m_conn.userName, m_conn.password, &writer,
                                    QString::fromLatin1(ads::IID_IADs), m_conn.authFlags, m_conn.useCredentials);
    if (ads::succeeded(hr)) {
        QVariantList list;
        for (const QString &r : rows)
            list << r;
        hr = list.isEmpty() ? writer->PutEx(ads::ADS_PROPERTY_CLEAR, m_attribute, {})
                            : writer->PutEx(ads::ADS_PROPERTY_UPDATE, m_attribute, list);
        if (ads::succeeded(hr))
            hr = writer->SetInfo();
    }
    if (ads::failed(hr)) {
        ui::Prompt::error(this, GetADSIErrorText(hr), QStringLiteral("Arvendel"));
        return;
    }
    m_wrote = true;
    m_changed = false;
    m_user->GetInfoEx({m_attribute}); // the caller's cache shows what was written
    accept();
}

bool TfrmBussPhone::edit(QWidget *parent, const ads::ObjectPtr &user, const QString &attribute, int catalogueKey,
                         bool writable, const UserPropConnection &connection)
{
    if (!user)
        return false;
    TfrmBussPhone dlg(user, attribute, catalogueKey, writable, connection, parent);
    dlg.exec();
    return dlg.wrote();
}

} // namespace userprop
