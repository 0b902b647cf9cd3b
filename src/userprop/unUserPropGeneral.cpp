// The General, Address and Telephones tabs of the user property dialog: captioned rows of
// editors, the created and changed stamps, the country.
#include "userprop/unUserProp.h"

#include "core/unSearch.h"
#include "core/unValues.h"
#include "main/unCatalogue.h"
#include "main/unQuickPanel.h"
#include "ui/writable.h"
#include "userprop/unBussPhone.h"
#include "userprop/unUserPropTabs.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>

using userprop::tabs::addRows;
using userprop::tabs::cachedText;

namespace {

struct OtherButton {
    const char *name;
    const char *beside;
    const char *attribute;
    int key;
};
const OtherButton kOtherButtons[] = {
    {"btTelephoneNumberOther", "ebTelephoneBusiness", "otherTelephone", 6},
    {"btOtherURLs", "ebWWW", "url", 9},
    {"btOtherHomePhone", "ebHomePhone", "otherHomePhone", 32},
    {"btOtherPager", "ebPagerPhone", "otherPager", 34},
    {"btOtherMobile", "ebMobilePhone", "otherMobile", 36},
    {"btOtherFacsimileTelephoneNumber", "ebFacsimileTelephoneNumber", "otherFacsimileTelephoneNumber", 38},
    {"btOtherIpPhone", "ebIPPhone", "otherIpPhone", 40},
};

QString captionOfKey(const char *attribute)
{
    const ADSIUserField *e = EntryByLdapName(QLatin1String(attribute));
    const QString c = e ? CaptionByKey(e->key) : QString();
    return c.isEmpty() ? QString::fromLatin1(attribute) + QLatin1Char(':') : c + QLatin1Char(':');
}

} // namespace

namespace userprop::tabs {

void addRows(QWidget *owner, QGridLayout *grid, int &row, const QList<QPair<const char *, QWidget *>> &rows,
             const std::function<void(const QString &, int)> &other)
{
    for (const auto &[attribute, editor] : rows) {
        auto *label = new QLabel(captionOfKey(attribute), owner);
        label->setBuddy(editor);
        grid->addWidget(label, row, 0);
        grid->addWidget(editor, row, 1);
        for (const OtherButton &ob : kOtherButtons)
            if (editor->objectName() == QLatin1String(ob.beside)) {
                auto *bt = new QPushButton(QStringLiteral("Other..."), owner);
                bt->setObjectName(QLatin1String(ob.name));
                const QString attr = QLatin1String(ob.attribute);
                const int key = ob.key;
                QObject::connect(bt, &QPushButton::clicked, owner, [other, attr, key] { other(attr, key); });
                grid->addWidget(bt, row, 2);
            }
        ++row;
    }
}

} // namespace userprop::tabs

QWidget *TfrmUserProp::buildGeneral()
{
    auto *page = new QWidget;
    auto *g = new QGridLayout(page);
    int row = 0;
    lbContainerName_ = new QLabel(page);
    lbContainerName_->setObjectName(QStringLiteral("lbContainerName"));
    QFont bold = lbContainerName_->font();
    bold.setBold(true);
    lbContainerName_->setFont(bold);
    g->addWidget(lbContainerName_, row++, 0, 1, 3);
    auto other = [this](const QString &attribute, int key) { btOtherClick(attribute, key); };
    addRows(page, g, row,
            {{"givenName", coupledEdit(General, "ebFirstName", "givenName")},
             {"initials", coupledEdit(General, "ebInitials", "initials")},
             {"sn", coupledEdit(General, "ebLastName", "sn")},
             {"displayName", coupledEdit(General, "ebDisplayName", "displayName")},
             {"description", coupledEdit(General, "ebDescription", "description")},
             {"physicalDeliveryOfficeName", coupledEdit(General, "ebOffice", "physicalDeliveryOfficeName")},
             {"telephoneNumber", coupledEdit(General, "ebTelephoneBusiness", "telephoneNumber")},
             {"mail", coupledEdit(General, "ebEmail", "mail")},
             {"wwwHomePage", coupledEdit(General, "ebWWW", "wwwHomePage")}},
            other);
    auto label = [page](const char *name, const QString &text = {}) {
        auto *l = new QLabel(text, page);
        l->setObjectName(QLatin1String(name));
        return l;
    };
    lbCr_ = label("lbCr", QStringLiteral("Created:"));
    lbCreated_ = label("lbCreated");
    lbChan_ = label("lbChan", QStringLiteral("Changed:"));
    lbChanged_ = label("lbChanged");
    lbuSNCreated_ = label("lbuSNCreated");
    lbuSNChanged_ = label("lbuSNChanged");
    g->addWidget(lbCr_, row, 0);
    g->addWidget(lbCreated_, row, 1);
    g->addWidget(lbuSNCreated_, row++, 2);
    g->addWidget(lbChan_, row, 0);
    g->addWidget(lbChanged_, row, 1);
    g->addWidget(lbuSNChanged_, row++, 2);
    g->setRowStretch(row, 1);
    return page;
}

QWidget *TfrmUserProp::buildAddress()
{
    auto *page = new QWidget;
    auto *g = new QGridLayout(page);
    int row = 0;
    // Made without a parent like the edits: each takes its place in the Tab order when its
    // row is laid out, so the country list comes after the postal code.
    cbCountry_ = new QComboBox;
    cbCountry_->setObjectName(QStringLiteral("cbCountry"));
    for (const CountryISO &c : catalogue::countries())
        cbCountry_->addItem(catalogue::text(c.name));
    connect(cbCountry_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!suppress_ && index != loadedCountry_)
            SetApplyEnabled(true);
    });
    addRows(page, g, row,
            {{"streetAddress", coupledMemo(Address, "memoStreet", "streetAddress")},
             {"postOfficeBox", coupledEdit(Address, "ebPOBox", "postOfficeBox")},
             {"l", coupledEdit(Address, "ebCity", "l")},
             {"st", coupledEdit(Address, "ebStateProvince", "st")},
             {"postalCode", coupledEdit(Address, "ebZip", "postalCode")},
             {"co", cbCountry_}},
            {});
    g->setRowStretch(row, 1);
    return page;
}

QWidget *TfrmUserProp::buildTelephones()
{
    auto *page = new QWidget;
    auto *g = new QGridLayout(page);
    int row = 0;
    addRows(page, g, row,
            {{"homePhone", coupledEdit(Telephones, "ebHomePhone", "homePhone")},
             {"pager", coupledEdit(Telephones, "ebPagerPhone", "pager")},
             {"mobile", coupledEdit(Telephones, "ebMobilePhone", "mobile")},
             {"facsimileTelephoneNumber", coupledEdit(Telephones, "ebFacsimileTelephoneNumber", "facsimileTelephoneNumber")},
             {"ipPhone", coupledEdit(Telephones, "ebIPPhone", "ipPhone")},
             {"info", coupledMemo(Telephones, "memoNotes", "info")}},
            [this](const QString &attribute, int key) { btOtherClick(attribute, key); });
    g->setRowStretch(row, 1);
    return page;
}

void TfrmUserProp::loadGeneral()
{
    loadCoupled(General);
    bool ok = false;
    const QString cn = cachedText(user_, QStringLiteral("cn"), &ok);
    displayName_ = ok ? cn : QStringLiteral("UNKNOWN");
    lbContainerName_->setText(displayName_);
    setWindowTitle(userprop::dialogCaption(displayName_));
    refreshCreatedChanged();
}

void TfrmUserProp::refreshCreatedChanged()
{
    if (!user_)
        return;
    user_->GetInfoEx({QStringLiteral("whenCreated"), QStringLiteral("whenChanged"), QStringLiteral("uSNCreated"),
                      QStringLiteral("uSNChanged")});
    auto time = [this](const char *attr, QLabel *label, QLabel *caption) {
        QVariant v;
        if (ads::succeeded(user_->Get(QLatin1String(attr), &v)) && v.canConvert<ads::AdsDate>()) {
            // Shown as the directory gives it (UTC), in the locale's short date and long time.
            const QDateTime dt = v.value<ads::AdsDate>().toDateTime(Qt::UTC);
            label->setText(QLocale().toString(dt.date(), QLocale::ShortFormat) + QLatin1Char(' ')
                           + QLocale().toString(dt.time(), QLocale::LongFormat));
            caption->show();
        } else {
            label->clear();
            caption->hide();
        }
    };
    time("whenCreated", lbCreated_, lbCr_);
    time("whenChanged", lbChanged_, lbChan_);
    auto usn = [this](const char *attr, QLabel *label, const char *format) {
        QVariant v;
        try {
            if (ads::succeeded(user_->Get(QLatin1String(attr), &v)) && v.isValid()) {
                label->setText(QString::fromLatin1(format).arg(LargeIntegerToInt64(v)));
                return;
            }
        } catch (const Exception &) {
        }
        label->clear();
    };
    usn("uSNCreated", lbuSNCreated_, "USN Created: %1");
    usn("uSNChanged", lbuSNChanged_, "USN Changed: %1");
}

void TfrmUserProp::loadAddress()
{
    loadCoupled(Address);
    loadedCountry_ = quickpanel::readCountry(user_);
    cbCountry_->setCurrentIndex(loadedCountry_);
    loadedCountry_ = cbCountry_->currentIndex();
    ui::setWritableLook(cbCountry_, writable(QStringLiteral("c")));
}

void TfrmUserProp::btOtherClick(const QString &attribute, int key)
{
    if (!user_)
        return;
    userprop::TfrmBussPhone::edit(this, user_, attribute, key, writable(attribute), conn_);
}
