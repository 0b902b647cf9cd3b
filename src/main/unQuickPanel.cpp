#include "main/unQuickPanel.h"

#include "core/unSearch.h"
#include "core/unValuesText.h"
#include "main/unCatalogue.h"
#include "main/unPictureTab.h"
#include "options/unOptions.h"
#include "ui/writable.h"
#include "ui/objectbus.h"
#include "ui/prompt.h"
#include "ui/texts.h"

#include <QAction>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace quickpanel;

namespace quickpanel {

namespace {

const QStringList kTabCaptions = {QStringLiteral("General"), QStringLiteral("Address"),
                                  QStringLiteral("Telephones"), QStringLiteral("Organization"),
                                  QStringLiteral("Others"), QStringLiteral("Picture")};

// Grid columns are named after catalogue keys; the fields with a column use their own key.
constexpr int col(int key) { return key; }

} // namespace

QString tabCaption(int tab)
{
    return tab >= 0 && tab < kTabCaptions.size() ? kTabCaptions.at(tab) : QString();
}

const std::vector<FieldDef> &fields()
{
    static const std::vector<FieldDef> defs = {
        {General, "ebFirstName", "givenName", 0, col(0), false},
        {General, "ebInitials", "initials", 2, NoGridColumn, false},
        {General, "ebLastName", "sn", 1, col(1), false},
        {General, "ebDisplayName", "displayName", -2, col(-2), false},
        {General, "ebDescription", "description", 3, col(3), false},
        {General, "ebOffice", "physicalDeliveryOfficeName", 4, col(4), false},
        {Address, "memoStreet", "streetAddress", 15, NoGridColumn, true},
        {Address, "ebPOBox", "postOfficeBox", 16, NoGridColumn, false},
        {Address, "ebCity", "l", 17, col(17), false},
        {Address, "ebStateProvince", "st", 18, col(18), false},
        {Address, "ebZip", "postalCode", 19, col(19), false},
        {Telephones, "ebTelephoneBusiness", "telephoneNumber", 5, col(5), false},
        {Telephones, "ebHomePhone", "homePhone", 31, NoGridColumn, false},
        {Telephones, "ebPagerPhone", "pager", 33, NoGridColumn, false},
        {Telephones, "ebMobilePhone", "mobile", 35, NoGridColumn, false},
        {Telephones, "ebFacsimileTelephoneNumber", "facsimileTelephoneNumber", 37, NoGridColumn, false},
        {Telephones, "ebIPPhone", "ipPhone", 39, NoGridColumn, false},
        {Organization, "ebTitle", "title", 21, col(21), false},
        {Organization, "ebDepartment", "department", 22, col(22), false},
        {Organization, "ebCompany", "company", 23, col(23), false},
        {Others, "ebEmail", "mail", 7, col(7), false},
        {Others, "ebWWW", "wwwHomePage", 8, NoGridColumn, false},
        {Others, "memoNotes", "info", 41, NoGridColumn, true},
    };
    return defs;
}

int fieldIndex(const QString &attribute)
{
    const auto &defs = fields();
    for (std::size_t i = 0; i < defs.size(); ++i)
        if (attribute.compare(QLatin1String(defs[i].attribute), Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

QStringList tabAttributes(Tab tab)
{
    switch (tab) {
    case General:
        return {"givenName", "initials", "sn", "displayName", "description", "physicalDeliveryOfficeName"};
    case Address:
        return {"streetAddress", "postOfficeBox", "l", "st", "postalCode", "co", "c"};
    case Telephones:
        return {"telephoneNumber", "homePhone", "pager", "mobile", "facsimileTelephoneNumber", "ipPhone"};
    case Organization:
        return {"title", "department", "company", "manager", "directReports"};
    case Others:
        return {"mail", "wwwHomePage", "info"};
    default:
        return {};
    }
}

QuickPanelLogic::QuickPanelLogic(userlist::ListingConnection connection) : connection_(std::move(connection)) {}

bool singleText(const QVariant &v, QString *text)
{
    if (!v.isValid() || v.isNull())
        return false;
    if (v.typeId() == QMetaType::QVariantList) {
        const QVariantList l = v.toList();
        if (l.size() != 1)
            return false;
        return singleText(l.first(), text);
    }
    *text = v.toString();
    return true;
}

QStringList textList(const QVariant &v) { return ValueTexts(v); }

QString fieldText(const QVariant &v, int *count)
{
    QString text;
    if (singleText(v, &text)) {
        *count = 1;
        return text;
    }
    const QStringList all = v.typeId() == QMetaType::QVariantList ? textList(v) : QStringList();
    *count = static_cast<int>(all.size());
    return all.join(QStringLiteral("; "));
}

int readCountry(const ads::ObjectPtr &user)
{
    QVariant c;
    if (ads::succeeded(user->Get(QStringLiteral("c"), &c)) && c.isValid()) {
        QString code;
        return singleText(c, &code) ? catalogue::countryIndexByAlpha2(code.trimmed()) : -1;
    }
    if (ads::succeeded(user->Get(QStringLiteral("countryCode"), &c)) && c.isValid()) {
        bool ok = false;
        const int num = c.toInt(&ok);
        if (ok)
            return catalogue::countryIndexByNumeric(num);
    }
    return -1;
}

ads::HRESULT putCountry(const ads::ObjectPtr &user, int countryIndex)
{
    const auto countries = catalogue::countries();
    if (countryIndex < 0 || countryIndex >= static_cast<int>(countries.size()))
        return ads::S_OK;
    const CountryISO &c = countries[static_cast<std::size_t>(countryIndex)];
    ads::HRESULT hr = user->Put(QStringLiteral("c"), catalogue::text(c.alpha2));
    if (ads::succeeded(hr))
        hr = user->Put(QStringLiteral("co"), catalogue::text(c.name));
    if (ads::succeeded(hr))
        hr = user->Put(QStringLiteral("countryCode"), c.numeric);
    return hr;
}

QString refusedTabMessage(const QString &tab, const QStringList &attributes, ads::HRESULT hr)
{
    if (ads::writeOutcomeUnknown(hr))
        return QStringLiteral("It is not known whether the changes on the \"%1\" tab were saved (%2): they may have "
                              "been applied.\r\n%3")
            .arg(tab, attributes.join(QStringLiteral(", ")), GetADSIErrorText(hr));
    return QStringLiteral("The changes on the \"%1\" tab were not saved (%2):\r\n%3")
        .arg(tab, attributes.join(QStringLiteral(", ")), GetADSIErrorText(hr));
}

QTreeWidget *newDirectReportsList(QWidget *parent)
{
    auto *list = new QTreeWidget(parent);
    list->setObjectName(QStringLiteral("lvDirectReports"));
    list->setColumnCount(2);
    list->setHeaderHidden(true);
    list->setColumnHidden(1, true);
    list->setRootIsDecorated(false);
    QObject::connect(list, &QTreeWidget::itemSelectionChanged, list, [list] {
        const auto sel = list->selectedItems();
        ui::setHint(list, sel.isEmpty() ? QString() : sel.first()->text(1));
    });
    return list;
}

QString QuickPanelLogic::cnOf(const QString &dn) const
{
    ads::ObjectPtr obj;
    if (ads::failed(OpenADsObject(connection_.serverPrefix + dn, connection_.userName, connection_.password,
                                  &obj, QString::fromLatin1(ads::IID_IADsUser),
                                  static_cast<std::uint32_t>(connection_.authFlags), connection_.useCredentials))
        || !obj)
        return {};
    QVariant v;
    if (ads::failed(obj->GetInfoEx({QStringLiteral("cn")})) || ads::failed(obj->Get(QStringLiteral("cn"), &v)))
        return {};
    QString cn;
    return singleText(v, &cn) ? cn : QString();
}

PanelData QuickPanelLogic::load(const ads::ObjectPtr &user) const
{
    PanelData d;
    if (!user)
        CheckADSIResult(ads::E_POINTER);
    d.dn = user->distinguishedName();
    QVariant v;
    if (ads::succeeded(user->GetInfoEx({QStringLiteral("allowedAttributesEffective")}))
        && ads::succeeded(user->Get(QStringLiteral("allowedAttributesEffective"), &v))
        && v.typeId() == QMetaType::QVariantList) {
        for (const QVariant &a : v.toList())
            d.allowed.insert(a.toString().trimmed().toUpper());
    }
    d.texts.assign(fields().size(), QString());
    d.counts.assign(fields().size(), 0);
    for (int t = General; t < EditTabCount; ++t) {
        CheckADSIResult(user->GetInfoEx(tabAttributes(static_cast<Tab>(t))));
        for (std::size_t i = 0; i < fields().size(); ++i) {
            if (fields()[i].tab != t)
                continue;
            QVariant value;
            if (ads::succeeded(user->Get(QString::fromLatin1(fields()[i].attribute).trimmed(), &value)))
                d.texts[i] = fieldText(value, &d.counts[i]);
        }
        if (t == Address)
            d.countryIndex = readCountry(user);
        if (t == Organization) {
            QVariant m;
            QString managerDn;
            if (ads::succeeded(user->Get(QStringLiteral("manager"), &m)) && singleText(m, &managerDn)) {
                d.managerDn = managerDn;
                d.managerName = cnOf(managerDn);
            }
            QVariant r;
            if (ads::succeeded(user->Get(QStringLiteral("directReports"), &r)))
                for (const QString &dn : textList(r))
                    d.directReports.push_back({cnOf(dn), dn});
        }
    }
    return d;
}

ApplyResult QuickPanelLogic::apply(const ads::ObjectPtr &user, const std::array<TabChanges, EditTabCount> &changes)
{
    ApplyResult result;
    for (int t = General; t < EditTabCount; ++t) {
        const TabChanges &tc = changes[static_cast<std::size_t>(t)];
        if (tc.empty())
            continue;
        QStringList names;
        ads::HRESULT hr = ads::S_OK;
        for (const auto &[index, text] : tc.texts) {
            const QString attr = QString::fromLatin1(fields()[static_cast<std::size_t>(index)].attribute);
            names << attr;
            hr = text.trimmed().isEmpty() ? user->PutEx(ads::ADS_PROPERTY_CLEAR, attr, QVariant())
                                          : user->Put(attr, text);
            if (ads::failed(hr))
                break;
        }
        if (ads::succeeded(hr) && tc.countryIndex >= 0) {
            names << QStringLiteral("c") << QStringLiteral("co") << QStringLiteral("countryCode");
            hr = putCountry(user, tc.countryIndex);
        }
        if (ads::succeeded(hr)) {
            ++result.setInfoCalls;
            hr = user->SetInfo();
        }
        if (ads::failed(hr)) {
            result.failedTab = t;
            result.error = refusedTabMessage(tabCaption(t), names, hr);
            return result;
        }
        result.written.push_back(static_cast<Tab>(t));
    }
    return result;
}

void QuickPanelLogic::writeManager(const ads::ObjectPtr &user, const QString &newDn)
{
    const QString dn = newDn.trimmed();
    CheckADSIResult(dn.isEmpty() ? user->PutEx(ads::ADS_PROPERTY_CLEAR, QStringLiteral("manager"), QVariant())
                                 : user->Put(QStringLiteral("manager"), dn));
    CheckADSIResult(user->SetInfo());
}

ads::ObjectPtr QuickPanelLogic::reopen(const ads::ObjectPtr &user) const
{
    ads::ObjectPtr fresh;
    if (!user || ads::failed(OpenADsObject(user->ADsPath(), connection_.userName, connection_.password, &fresh,
                                           QString::fromLatin1(ads::IID_IADsUser),
                                           static_cast<std::uint32_t>(connection_.authFlags),
                                           connection_.useCredentials)))
        return {};
    return fresh;
}

bool QuickPanelLogic::recordField(int gridTag, userlist::Field *field)
{
    using F = userlist::Field;
    switch (gridTag) {
    case 0: *field = F::GivenName; return true;
    case 1: *field = F::Sn; return true;
    case -2: *field = F::DisplayName; return true;
    case 3: *field = F::Description; return true;
    case 4: *field = F::PhysicalDeliveryOfficeName; return true;
    case 17: *field = F::L; return true;
    case 18: *field = F::St; return true;
    case 19: *field = F::PostalCode; return true;
    case 20: *field = F::Co; return true;
    case 5: *field = F::TelephoneNumber; return true;
    case 21: *field = F::Title; return true;
    case 22: *field = F::Department; return true;
    case 23: *field = F::Company; return true;
    case 7: *field = F::Mail; return true;
    default: return false;
    }
}

} // namespace quickpanel

// --- the widget -------------------------------------------------------------------------

namespace {

const QString kAppTitle = QStringLiteral("Arvendel");

struct OtherButton {
    const char *name;
    const char *attribute;
    int key;
    const char *hint;
    Tab tab;
    const char *besideControl;
};

const OtherButton kOtherButtons[] = {
    {"btTelephoneNumberOther", "otherTelephone", 6, "Click to add additional phone numbers.", Telephones, "ebTelephoneBusiness"},
    {"btOtherHomePhone", "otherHomePhone", 32, "Click to access other telephone numbers for the user.", Telephones, "ebHomePhone"},
    {"btOtherPager", "otherPager", 34, "Click to view other pager numbers for this person.", Telephones, "ebPagerPhone"},
    {"btOtherMobile", "otherMobile", 36, "Click to view other mobile or cellular phone numbers for this person.", Telephones, "ebMobilePhone"},
    {"btOtherFacsimileTelephoneNumber", "otherFacsimileTelephoneNumber", 38, "Click to add additional fax numbers.", Telephones, "ebFacsimileTelephoneNumber"},
    {"btOtherIpPhone", "otherIpPhone", 40, "Click to view other IP telephony or Voice Over Internet Protocol (VOIP) numbers for this person.", Telephones, "ebIPPhone"},
    {"btOtherURLs", "url", 9, "Click this button to see a list of other URLs for this person.", Others, "ebWWW"},
};

QString descriptionOf(int key)
{
    const ADSIUserField *e = EntryByKey(key);
    return e ? catalogue::text(e->description) : QString();
}

QString hintOfKey(int key)
{
    const ADSIUserField *e = EntryByKey(key);
    return e ? catalogue::text(e->hint) : QString();
}

QString captionOfKey(int key)
{
    const QString c = CaptionByKey(key);
    return c.isEmpty() ? QString() : c + QLatin1Char(':');
}

} // namespace

bool quickpanel::isModified(QWidget *w)
{
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->isModified();
    if (auto *m = qobject_cast<QPlainTextEdit *>(w))
        return m->document()->isModified();
    return false;
}

void quickpanel::clearModified(QWidget *w)
{
    if (auto *e = qobject_cast<QLineEdit *>(w))
        e->setModified(false);
    else if (auto *m = qobject_cast<QPlainTextEdit *>(w))
        m->document()->setModified(false);
}

QString quickpanel::textOf(QWidget *w)
{
    if (auto *e = qobject_cast<QLineEdit *>(w))
        return e->text();
    // The directory keeps line breaks of several-line values as CR LF; the editor shows LF.
    if (auto *m = qobject_cast<QPlainTextEdit *>(w))
        return m->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return {};
}

namespace {
const char *const kSeveralValues = "arvSeveralValues";
const char *const kOwnHint = "arvOwnHint";
} // namespace

void quickpanel::fillEditor(QWidget *w, const QString &attr, const QString &text, bool writable, int count)
{
    const bool several = count > 1;
    if (auto *e = qobject_cast<QLineEdit *>(w)) {
        const ADSIUserField *entry = EntryByLdapName(attr);
        const bool limited = entry && entry->type == FieldType::Text && !entry->multiValued && entry->maxLength > 0;
        // A stored value longer than the catalogue's limit is shown whole, never cut.
        e->setMaxLength(limited && !several ? qMax<int>(entry->maxLength, int(text.size())) : 32767);
        e->setText(text);
        e->setReadOnly(several);
    } else if (auto *m = qobject_cast<QPlainTextEdit *>(w)) {
        m->setPlainText(text);
        m->setReadOnly(several);
    }
    clearModified(w);
    // The field's own hint is kept aside the first time and comes back for one value.
    if (!w->property(kOwnHint).isValid())
        w->setProperty(kOwnHint, w->toolTip());
    const QString own = w->property(kOwnHint).toString();
    w->setProperty(kSeveralValues, several);
    if (several) {
        // Read-only, but enabled so that the values can be selected and the double click
        // reaches the other-values editor.
        ui::setWritableLook(w, false);
        w->setEnabled(true);
        w->setToolTip((own.isEmpty() ? QString() : own + QStringLiteral("\n\n")) +
                      QStringLiteral("This attribute holds %1 values, shown here joined by \"; \". "
                                     "Double-click to edit them one by one.")
                          .arg(count));
    } else {
        ui::setWritableLook(w, writable);
        w->setToolTip(own);
    }
}

bool quickpanel::showsSeveralValues(const QWidget *editor)
{
    return editor && editor->property(kSeveralValues).toBool();
}

namespace {
class SeveralValuesOpener : public QObject {
public:
    SeveralValuesOpener(QWidget *editor, std::function<void()> open)
        : QObject(editor), editor_(editor), open_(std::move(open))
    {
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::MouseButtonDblClick || !showsSeveralValues(editor_))
            return false;
        open_();
        return true;
    }

private:
    QWidget *editor_;
    std::function<void()> open_;
};
} // namespace

void quickpanel::openSeveralValuesOnDoubleClick(QWidget *editor, std::function<void()> open)
{
    auto *opener = new SeveralValuesOpener(editor, std::move(open));
    editor->installEventFilter(opener);
    if (auto *memo = qobject_cast<QPlainTextEdit *>(editor))
        memo->viewport()->installEventFilter(opener);
}

TQuickPanel::TQuickPanel(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("pnFastUser"));
    build();
    hidePanel();
}

TQuickPanel::~TQuickPanel() = default;

void TQuickPanel::setConnection(const userlist::ListingConnection &c)
{
    logic_.setConnection(c);
}

void TQuickPanel::setManagerPicker(std::function<bool(QWidget *, QString &, QString &)> picker)
{
    managerPicker_ = std::move(picker);
}

void TQuickPanel::setOtherValuesEditor(std::function<void(QWidget *, const ads::ObjectPtr &, const QString &, bool, int)> editor)
{
    otherEditor_ = std::move(editor);
}

void TQuickPanel::build()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    auto *top = new QHBoxLayout;
    lbUserADPath_ = new QLabel(this);
    lbUserADPath_->setObjectName(QStringLiteral("lbUserADPath"));
    QFont f = lbUserADPath_->font();
    f.setUnderline(true);
    lbUserADPath_->setFont(f);
    lbUserADPath_->setStyleSheet(QStringLiteral("color: blue"));
    ui::setHint(lbUserADPath_, QStringLiteral("User Properties (detail)"));
    lbUserADPath_->setMouseTracking(true);
    lbUserADPath_->installEventFilter(this);
    top->addWidget(lbUserADPath_, 1);
    spUserProperiesDetail_ = new QToolButton(this);
    spUserProperiesDetail_->setObjectName(QStringLiteral("spUserProperiesDetail"));
    spUserProperiesDetail_->setText(QStringLiteral("..."));
    ui::setHint(spUserProperiesDetail_, QStringLiteral("User Properties (detail)"));
    spUserProperiesDetail_->hide();
    connect(spUserProperiesDetail_, &QToolButton::clicked, this, [this] {
        if (currentUser_ && !busy())
            emit userPropertiesRequested(data_.dn);
    });
    top->addWidget(spUserProperiesDetail_);
    btApplay_ = new QPushButton(QStringLiteral("Apply"), this);
    btApplay_->setObjectName(QStringLiteral("btApplay"));
    ui::setHint(btApplay_, QStringLiteral("Apply changes."));
    top->addWidget(btApplay_);
    layout->addLayout(top);

    lbFastUserDN_ = new QLabel(this);
    lbFastUserDN_->setObjectName(QStringLiteral("lbFastUserDN"));
    lbFastUserDN_->hide();
    lbManagerDN_ = new QLabel(this);
    lbManagerDN_->setObjectName(QStringLiteral("lbManagerDN"));
    lbManagerDN_->hide();

    pcFastUser_ = new QTabWidget(this);
    pcFastUser_->setObjectName(QStringLiteral("pcFastUser"));
    editors_.assign(fields().size(), nullptr);
    for (int t = General; t < EditTabCount; ++t)
        pcFastUser_->addTab(buildTab(static_cast<Tab>(t)), tabCaption(t));
    picture_ = new TPictureTab(this);
    pcFastUser_->addTab(picture_, tabCaption(5));
    layout->addWidget(pcFastUser_, 1);

    actionApplay_ = new QAction(QStringLiteral("&Applay Changes"), this);
    actionApplay_->setObjectName(QStringLiteral("ActionApplay"));
    ui::setHint(actionApplay_, QStringLiteral("Apply changes."));
    connect(actionApplay_, &QAction::triggered, this, &TQuickPanel::ActionApplayExecute);
    connect(btApplay_, &QPushButton::clicked, this, &TQuickPanel::ActionApplayExecute);
    connect(pcFastUser_, &QTabWidget::currentChanged, this, [this](int index) {
        if (index == General)
            SetUserButtons(true);
        if (index == 5 && currentUser_)
            picture_->tsPictureShow();
    });
    picture_->setBusyProvider([this] { return busy(); });
    picture_->setApplyEnabledProvider([this] { return applyEnabled(); });
    picture_->setRebind([this] { return rebindUser(); });
}

namespace {

// The caption labels carry names of their own (the document of one user names its fields by
// them); they do not all follow from their controls' names.
QString labelNameOf(const QString &control)
{
    static const QHash<QString, QString> names = {
        {QStringLiteral("ebFirstName"), QStringLiteral("lbFirstName")},
        {QStringLiteral("ebInitials"), QStringLiteral("lbInitials")},
        {QStringLiteral("ebLastName"), QStringLiteral("lbLastName")},
        {QStringLiteral("ebDisplayName"), QStringLiteral("lbDisplayName")},
        {QStringLiteral("ebDescription"), QStringLiteral("lbDescription")},
        {QStringLiteral("ebOffice"), QStringLiteral("lbOffice")},
        {QStringLiteral("memoStreet"), QStringLiteral("lbStreet")},
        {QStringLiteral("ebPOBox"), QStringLiteral("lbPOBox")},
        {QStringLiteral("ebCity"), QStringLiteral("lbCity")},
        {QStringLiteral("ebStateProvince"), QStringLiteral("lbStateProvince")},
        {QStringLiteral("ebZip"), QStringLiteral("lbZip")},
        {QStringLiteral("ebTelephoneBusiness"), QStringLiteral("lbPhoneBusiness")},
        {QStringLiteral("ebHomePhone"), QStringLiteral("lbhomePhone")},
        {QStringLiteral("ebPagerPhone"), QStringLiteral("lbPagerPhone")},
        {QStringLiteral("ebMobilePhone"), QStringLiteral("lbMobilePhone")},
        {QStringLiteral("ebFacsimileTelephoneNumber"), QStringLiteral("lbFacsimileTelephoneNumber")},
        {QStringLiteral("ebIPPhone"), QStringLiteral("lbIPPhone")},
        {QStringLiteral("ebTitle"), QStringLiteral("lbTitle")},
        {QStringLiteral("ebDepartment"), QStringLiteral("lbDepartment")},
        {QStringLiteral("ebCompany"), QStringLiteral("lbCompany")},
        {QStringLiteral("ebManager"), QStringLiteral("lbManager")},
        {QStringLiteral("ebEmail"), QStringLiteral("lbEMail")},
        {QStringLiteral("ebWWW"), QStringLiteral("lbWebPage")},
        {QStringLiteral("memoNotes"), QStringLiteral("lbNotes")},
    };
    return names.value(control);
}

} // namespace

QWidget *TQuickPanel::buildTab(Tab tab)
{
    auto *page = new QWidget;
    static const char *pageNames[] = {"tsGeneral", "tsAddress", "tsTelephones", "tsOrganization", "tsOthers"};
    page->setObjectName(QLatin1String(pageNames[tab]));
    auto *form = new QGridLayout(page);
    int row = 0;
    // A caption with the catalogue entry's description as its hint, beside its control.
    auto addLabelled = [page, form](int key, QWidget *control, int r, int span = 1) {
        auto *label = new QLabel(captionOfKey(key), page);
        label->setObjectName(labelNameOf(control->objectName()));
        ui::setHint(label, descriptionOf(key));
        label->setBuddy(control);
        form->addWidget(label, r, 0);
        form->addWidget(control, r, 1, 1, span);
        return label;
    };
    for (std::size_t i = 0; i < fields().size(); ++i) {
        const FieldDef &fd = fields()[i];
        if (fd.tab != tab)
            continue;
        QWidget *editor;
        if (fd.multiLine) {
            auto *memo = new QPlainTextEdit(page);
            memo->setTabChangesFocus(true);
            memo->setMaximumHeight(60);
            connect(memo, &QPlainTextEdit::textChanged, this, [this] { UserValueChange(); });
            editor = memo;
        } else {
            auto *edit = new QLineEdit(page);
            connect(edit, &QLineEdit::textEdited, this, [this] { UserValueChange(); });
            editor = edit;
        }
        editor->setObjectName(QLatin1String(fd.control));
        ui::setHint(editor, hintOfKey(fd.key));
        // A field showing several values opens them in the other-values editor.
        const QString fieldAttribute = QLatin1String(fd.attribute);
        const int fieldKey = fd.key;
        openSeveralValuesOnDoubleClick(editor, [this, fieldAttribute, fieldKey] {
            if (!busy())
                otherClick(fieldAttribute, fieldKey);
        });
        editors_[i] = editor;
        addLabelled(fd.key, editor, row);
        for (const OtherButton &ob : kOtherButtons) {
            if (qstrcmp(ob.besideControl, fd.control) != 0)
                continue;
            auto *bt = new QPushButton(QStringLiteral("Other..."), page);
            bt->setObjectName(QLatin1String(ob.name));
            ui::setHint(bt, QLatin1String(ob.hint));
            const QString attr = QLatin1String(ob.attribute);
            const int key = ob.key;
            connect(bt, &QPushButton::clicked, this, [this, attr, key] { otherClick(attr, key); });
            otherButtons_.emplace_back(bt, attr);
            form->addWidget(bt, row, 2);
        }
        ++row;
    }
    if (tab == Address) {
        cbCountry_ = new QComboBox(page);
        cbCountry_->setObjectName(QStringLiteral("cbCountry"));
        for (const CountryISO &c : catalogue::countries())
            cbCountry_->addItem(catalogue::text(c.name));
        ui::setHint(cbCountry_, hintOfKey(20));
        connect(cbCountry_, &QComboBox::currentIndexChanged, this, [this] { cbCountryChange(); });
        addLabelled(20, cbCountry_, row++);
    }
    if (tab == Organization) {
        ebManager_ = new QLineEdit(page);
        ebManager_->setObjectName(QStringLiteral("ebManager"));
        ebManager_->setReadOnly(true);
        btManager_ = new QPushButton(QStringLiteral("Edit"), page);
        btManager_->setObjectName(QStringLiteral("btManager"));
        connect(btManager_, &QPushButton::clicked, this, &TQuickPanel::btManagerClick);
        addLabelled(24, ebManager_, row);
        form->addWidget(btManager_, row, 2);
        ++row;
        lvDirectReports_ = quickpanel::newDirectReportsList(page);
        lvDirectReports_->setMaximumHeight(70);
        connect(lvDirectReports_, &QTreeWidget::itemDoubleClicked, this,
                [this](QTreeWidgetItem *item) { emit userPropertiesRequested(item->text(1)); });
        addLabelled(25, lvDirectReports_, row++, 2)->setObjectName(QStringLiteral("lbDirectReports"));
    }
    form->setRowStretch(row, 1);
    return page;
}

bool TQuickPanel::applyEnabled() const
{
    return actionApplay_->isEnabled();
}

void TQuickPanel::SetApplyEnabled(bool on)
{
    actionApplay_->setEnabled(on);
    btApplay_->setEnabled(on);
    btApplay_->setVisible(on);
    emit applyEnabledChanged(on);
}

void TQuickPanel::SetUserButtons(bool on)
{
    spUserProperiesDetail_->setVisible(on);
    emit userButtonsChanged(on, on && wordAvailable_);
}

void TQuickPanel::hidePanel()
{
    pcFastUser_->hide();
    lbUserADPath_->clear();
    lbFastUserDN_->clear();
    currentUser_.reset();
    data_ = {};
    SetUserButtons(false);
    SetApplyEnabled(false);
    picture_->setUser(nullptr, {}, {});
}

void TQuickPanel::setEditorWritable(QWidget *w, bool writable)
{
    ui::setWritableLook(w, writable);
}

void TQuickPanel::LoadPanel(const ads::ObjectPtr &user)
{
    pcFastUser_->hide();
    SetUserButtons(false);
    currentUser_ = user;
    const QScopedValueRollback loading(loadingPanel_, true);
    try {
        data_ = logic_.load(user);
    } catch (...) {
        currentUser_.reset();
        data_ = {};
        throw;
    }
    fillFromData();
    pcFastUser_->setCurrentIndex(General);
    lbFastUserDN_->setText(data_.dn);
    lbUserADPath_->setText(QStringLiteral(" ") + user->ADsPath());
    pcFastUser_->show();
    SetUserButtons(true);
    SetApplyEnabled(false);
    picture_->setUser(user, data_.allowed, data_.dn);
}

void TQuickPanel::fillFromData()
{
    for (std::size_t i = 0; i < fields().size(); ++i) {
        QWidget *w = editors_[i];
        const QString attr = QString::fromLatin1(fields()[i].attribute);
        fillEditor(w, attr, data_.texts[i], data_.writable(attr), data_.counts[i]);
    }
    cbCountry_->setCurrentIndex(data_.countryIndex);
    loadedCountry_ = cbCountry_->currentIndex();
    setEditorWritable(cbCountry_, data_.writable(QStringLiteral("c")));

    ebManager_->setText(data_.managerName);
    ui::setHint(ebManager_, data_.managerDn);
    lbManagerDN_->setText(data_.managerDn);
    btManager_->setEnabled(data_.writable(QStringLiteral("manager")) && managerPicker_);
    lvDirectReports_->clear();
    for (const auto &r : data_.directReports)
        new QTreeWidgetItem(lvDirectReports_, {r.name, r.dn});
    QPalette pal = lvDirectReports_->parentWidget()->palette();
    if (!data_.writable(QStringLiteral("directReports")))
        pal.setColor(QPalette::Base, pal.color(QPalette::Button));
    lvDirectReports_->setPalette(pal);
    for (auto &[bt, attr] : otherButtons_)
        bt->setEnabled(static_cast<bool>(otherEditor_));
}

void TQuickPanel::UserValueChange()
{
    if (busy() || loadingPanel_ || !currentUser_)
        return;
    SetApplyEnabled(true);
}

void TQuickPanel::cbCountryChange()
{
    if (loadingPanel_ || !currentUser_)
        return;
    if (cbCountry_->currentIndex() != loadedCountry_ && !busy())
        SetApplyEnabled(true);
}

void TQuickPanel::ActionApplayExecute()
{
    if (busy() || !currentUser_)
        return;
    if (userList_ && userList_->rows().empty())
        return;
    if (options::ConfirmWrites() && !ui::Prompt::confirmSave(this))
        return;
    std::array<TabChanges, EditTabCount> changes;
    for (std::size_t i = 0; i < fields().size(); ++i)
        if (isModified(editors_[i]))
            changes[fields()[i].tab].texts.emplace_back(static_cast<int>(i), textOf(editors_[i]));
    const int country = cbCountry_->currentIndex();
    if (country != loadedCountry_ && country >= 0)
        changes[Address].countryIndex = country;

    const ApplyResult result = QuickPanelLogic::apply(currentUser_, changes);
    lastApply_ = result;

    // Record and grid follow only what the directory took.
    int record = -1;
    if (userList_) {
        record = userList_->selectedRowIndex();
        if (record < 0 || record >= userList_->rows().size()
            || userList_->rows().at(record).distinguishedName().compare(data_.dn, Qt::CaseInsensitive) != 0)
            record = userList_->rows().findRecordByDn(data_.dn);
    }
    bool recordTouched = false;
    for (Tab t : result.written) {
        const TabChanges &tc = changes[t];
        for (const auto &[index, text] : tc.texts) {
            const FieldDef &fd = fields()[static_cast<std::size_t>(index)];
            userlist::Field field;
            if (record >= 0 && fd.gridTag != NoGridColumn && QuickPanelLogic::recordField(fd.gridTag, &field)) {
                userList_->rows().at(record).setText(field, text);
                recordTouched = true;
            }
            clearModified(editors_[static_cast<std::size_t>(index)]);
        }
        if (t == Address && tc.countryIndex >= 0) {
            if (record >= 0) {
                const auto countries = catalogue::countries();
                userList_->rows().at(record).setText(userlist::Field::Co,
                                                     countries[static_cast<std::size_t>(tc.countryIndex)].name);
                recordTouched = true;
            }
            loadedCountry_ = tc.countryIndex;
        }
    }
    if (recordTouched)
        userList_->announceRecordChanged(record);
    if (result.failedTab >= 0) {
        // The refused changes stay staged on the object; a fresh binding keeps them from
        // riding along with the next write (Apply again, a picture, the manager).
        rebindUser();
        ui::Prompt::error(this, result.error, kAppTitle);
        if (!result.written.empty()) {
            ui::notifyOtherWindows(ui::ObjectChanged, data_.dn, window());
            emit userWritten(data_.dn);
        }
        return; // Apply stays enabled with the edits that were not written
    }
    SetApplyEnabled(false);
    ui::notifyOtherWindows(ui::ObjectChanged, lbFastUserDN_->text(), window());
    emit userWritten(data_.dn);
}

void TQuickPanel::btManagerClick()
{
    if (busy() || !currentUser_ || !managerPicker_)
        return;
    QString name = ebManager_->text().trimmed();
    QString dn = lbManagerDN_->text().trimmed();
    const QString oldDn = dn;
    if (!managerPicker_(this, name, dn))
        return;
    const QScopedValueRollback loading(loadingPanel_, true);
    try {
        QuickPanelLogic::writeManager(currentUser_, dn);
    } catch (const Exception &e) {
        rebindUser();
        ui::Prompt::error(this, e.Message(), kAppTitle);
        return;
    }
    ebManager_->setText(name.trimmed());
    ui::notifyOtherWindows(ui::ObjectChanged, data_.dn, window());
    if (!oldDn.isEmpty())
        ui::notifyOtherWindows(ui::ObjectChanged, oldDn, window());
    if (!dn.trimmed().isEmpty())
        ui::notifyOtherWindows(ui::ObjectChanged, dn.trimmed(), window());
    lbManagerDN_->setText(dn.trimmed());
    ui::setHint(ebManager_, dn.trimmed());
    data_.managerDn = dn.trimmed();
    data_.managerName = name.trimmed();
    ebManager_->setModified(false);
    emit userWritten(data_.dn);
}

ads::ObjectPtr TQuickPanel::rebindUser()
{
    if (ads::ObjectPtr fresh = logic_.reopen(currentUser_)) {
        currentUser_ = fresh;
        picture_->rebind(fresh);
    }
    return currentUser_;
}

void TQuickPanel::otherClick(const QString &attribute, int key)
{
    if (!otherEditor_ || !currentUser_)
        return;
    otherEditor_(this, currentUser_, attribute, data_.writable(attribute), key);
    if (const int i = fieldIndex(attribute); i >= 0)
        refreshField(i);
}

void TQuickPanel::refreshField(int i)
{
    if (!currentUser_ || i < 0 || i >= static_cast<int>(fields().size()))
        return;
    const auto at = static_cast<std::size_t>(i);
    const QString attr = QString::fromLatin1(fields()[at].attribute);
    QVariant value;
    data_.counts[at] = 0;
    data_.texts[at].clear();
    if (ads::succeeded(currentUser_->GetInfoEx({attr})) && ads::succeeded(currentUser_->Get(attr, &value)))
        data_.texts[at] = fieldText(value, &data_.counts[at]);
    const QScopedValueRollback<bool> loading(loadingPanel_, true);
    fillEditor(editors_[at], attr, data_.texts[at], data_.writable(attr), data_.counts[at]);
}

void TQuickPanel::handleNotice(int code, const QString &dn)
{
    if (!currentUser_ || dn.compare(data_.dn, Qt::CaseInsensitive) != 0)
        return;
    if (code == ui::ObjectChanged) {
        // The user's record becomes the selected one, and the panel comes back on the page
        // that was showing.
        if (userList_)
            userList_->setSelectedRowIndex(userList_->rows().findRecordByDn(dn));
        const int page = pcFastUser_->currentIndex();
        const ads::ObjectPtr user = currentUser_;
        try {
            LoadPanel(user);
        } catch (const Exception &) {
            hidePanel();
            return;
        }
        pcFastUser_->setCurrentIndex(page);
    } else if (code == ui::PictureChanged) {
        picture_->markNotLoaded();
        if (pcFastUser_->currentIndex() == 5)
            picture_->tsPictureShow();
    }
}

bool TQuickPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lbUserADPath_) {
        switch (event->type()) {
        case QEvent::Enter:
        case QEvent::MouseMove:
            if (!lbUserADPath_->text().trimmed().isEmpty() && !busy())
                lbUserADPath_->setCursor(Qt::PointingHandCursor);
            else
                lbUserADPath_->unsetCursor();
            break;
        case QEvent::Leave:
            lbUserADPath_->unsetCursor();
            break;
        case QEvent::MouseButtonRelease:
            if (!lbUserADPath_->text().trimmed().isEmpty() && !busy() && currentUser_)
                emit userPropertiesRequested(data_.dn);
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
