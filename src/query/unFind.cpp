#include "query/unFind.h"

#include "core/unConnection.h"
#include "core/unSearch.h"
#include "core/unValues.h"
#include "options/unOptions.h"
#include "query/findfilter.h"
#include "query/unLastLogonBox.h"
#include "ui/icons.h"
#include "ui/prompt.h"
#include "ui/texts.h"
#include "ui/windowlayout.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace query {

namespace {

const QString kAttributes =
    QStringLiteral("name,mail,userPrincipalName,distinguishedName,lastLogon,lastLogonTimeStamp,groupType");
enum Slot { SName, SMail, SUpn, SDn, SLastLogon, SLastLogonTimeStamp, SGroupType, SlotCount };
enum Column { CName, CMail, CUpn, CLastLogon, CDn };

// Pending input is processed at most this often while rows stream in.
constexpr qint64 EventIntervalMs = 15;

QString slotText(const QVariantList &row, int slot)
{
    if (slot >= row.size() || !row.at(slot).isValid())
        return {};
    const QVariant &v = row.at(slot);
    if (v.userType() == QMetaType::QVariantList) {
        const QVariantList list = v.toList();
        return list.isEmpty() ? QString() : list.first().toString();
    }
    return v.toString();
}

std::optional<double> slotDate(const QVariantList &row, int slot)
{
    if (slot >= row.size())
        return std::nullopt;
    const QVariant &v = row.at(slot);
    if (v.userType() != qMetaTypeId<ads::AdsDate>())
        return std::nullopt;
    const double d = v.value<ads::AdsDate>().value;
    // 0 is "no date"; the directory's "never" arrives as a date before 1900.
    if (d <= 1)
        return std::nullopt;
    return d;
}

QString dateText(double d)
{
    return ads::AdsDate(d).toDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

const QString kNumbersHint = QStringLiteral(
    "Use this space to control the maximum number of objects that can be displayed. You can enter a "
    "number from 0 to 2000. \r\n0 (Zero) means \"no restriction\" (all object will be displayed).");

} // namespace

TfrmFind::TfrmFind(QWidget *parent) : QDialog(parent), search_(std::make_unique<TQelADSISearching>())
{
    setObjectName(QStringLiteral("frmFind"));
    setWindowTitle(QStringLiteral("  Select User "));
    setModal(true);

    auto *root = new QVBoxLayout(this);

    auto *nameRow = new QHBoxLayout;
    auto *lbName = new QLabel(QStringLiteral("Name:"), this);
    ebName = new QLineEdit(this);
    ebName->setObjectName(QStringLiteral("ebName"));
    lbName->setBuddy(ebName);
    cbQuery = new QComboBox(this);
    cbQuery->setObjectName(QStringLiteral("cbQuery"));
    cbQuery->addItems({QStringLiteral("Starts with"), QStringLiteral("Is exactly")});
    cbQuery->setCurrentIndex(0);
    btFind = new QPushButton(QStringLiteral("Find Now"), this);
    btFind->setObjectName(QStringLiteral("btFind"));
    // Enter in the name box finds through the default button (once).
    btFind->setDefault(true);
    btStop = new QPushButton(QStringLiteral("Stop"), this);
    btStop->setObjectName(QStringLiteral("btStop"));
    btStop->setEnabled(false);
    ui::setHint(btStop, QStringLiteral("Stop retrieving the users."));
    nameRow->addWidget(lbName);
    nameRow->addWidget(ebName, 1);
    nameRow->addWidget(cbQuery);
    nameRow->addWidget(btFind);
    nameRow->addWidget(btStop);
    root->addLayout(nameRow);

    auto *options = new QHBoxLayout;
    gbMaximum = new QGroupBox(QStringLiteral(" Maximum number of items in result set "), this);
    gbMaximum->setObjectName(QStringLiteral("gbMaximum"));
    auto *maxLayout = new QGridLayout(gbMaximum);
    rbAll = new QRadioButton(QStringLiteral("No Maximum"), gbMaximum);
    rbAll->setObjectName(QStringLiteral("rbAll"));
    rbAll->setChecked(true);
    rbNumb = new QRadioButton(QStringLiteral("Maximum items:"), gbMaximum);
    rbNumb->setObjectName(QStringLiteral("rbNumb"));
    ebNumbers = new QLineEdit(QStringLiteral("0"), gbMaximum);
    ebNumbers->setObjectName(QStringLiteral("ebNumbers"));
    ebNumbers->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), ebNumbers));
    ui::setHint(ebNumbers, kNumbersHint, 45);
    ebNumbers->installEventFilter(this);
    maxLayout->addWidget(rbAll, 0, 0, 1, 2);
    maxLayout->addWidget(rbNumb, 1, 0);
    maxLayout->addWidget(ebNumbers, 1, 1);
    options->addWidget(gbMaximum);

    gbLastLogon = new TLastLogonBox(this);
    options->addWidget(gbLastLogon);
    root->addLayout(options);

    cbExchangeOnly = new QCheckBox(QStringLiteral("Only with Exchange Mailbox"), this);
    cbExchangeOnly->setObjectName(QStringLiteral("cbExchangeOnly"));
    root->addWidget(cbExchangeOnly);

    lvResult = new QTreeWidget(this);
    lvResult->setObjectName(QStringLiteral("lvResult"));
    lvResult->setColumnCount(5);
    lvResult->setHeaderLabels({QStringLiteral("Name (RDN)"), QStringLiteral("E-mail Address"),
                               QStringLiteral("Logon Name"), QStringLiteral("Last Logon"), QString()});
    lvResult->setColumnHidden(CDn, true);
    lvResult->setRootIsDecorated(false);
    lvResult->setSelectionMode(QAbstractItemView::SingleSelection);
    lvResult->setAllColumnsShowFocus(true);
    lvResult->setAccessibleName(QStringLiteral("Users found"));
    root->addWidget(lvResult, 1);

    auto *bottom = new QHBoxLayout;
    Animate = new QProgressBar(this);
    Animate->setObjectName(QStringLiteral("Animate"));
    Animate->setRange(0, 0);
    Animate->setTextVisible(false);
    Animate->setMaximumWidth(120);
    Animate->setVisible(false);
    lbHowManyAre = new QLabel(this);
    lbHowManyAre->setObjectName(QStringLiteral("lbHowManyAre"));
    btOK = new QPushButton(QStringLiteral("OK"), this);
    btOK->setObjectName(QStringLiteral("btOK"));
    btOK->setEnabled(false);
    btCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    bottom->addWidget(Animate);
    bottom->addWidget(lbHowManyAre, 1);
    bottom->addWidget(btOK);
    bottom->addWidget(btCancel);
    root->addLayout(bottom);

    connect(btFind, &QPushButton::clicked, this, &TfrmFind::btFindClick);
    connect(btStop, &QPushButton::clicked, this, &TfrmFind::btStopClick);
    connect(btOK, &QPushButton::clicked, this, &TfrmFind::btOKClick);
    connect(btCancel, &QPushButton::clicked, this, &TfrmFind::btCancelClick);
    connect(lvResult, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *current, QTreeWidgetItem *) { takeSelection(current); });
    connect(lvResult, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item, int) {
        if (searching_)
            return;
        takeSelection(item);
        if (!selection_.distinguishedName.isEmpty())
            accept();
    });
    connect(gbLastLogon, &TLastLogonBox::changed, this, &TfrmFind::updateCaption);

    // Defaults from the connection context.
    const TConnectionContext &ctx = ConnectionContext();
    basePath_ = ctx.DomainPath;
    userName_ = ctx.UserName;
    password_ = ctx.Password;
    authFlags_ = ctx.AuthFlags;
    setLastLogonRule(lastLogonRule(ctx.DomainFunctionality, ctx.Policy.LogonTimeSyncIntervalDays), ctx.DomainFunctionality);
    setExchangePresent(AttributeInList(SchemaAttributeNames(), QStringLiteral("homeMDB")));
    options::ApplyWindowFont(this);
    ui::setupWindow(this, QSize(640, 440));
}

TfrmFind::~TfrmFind()
{
    if (search_)
        search_->CloseSearch();
}

void TfrmFind::setRequest(const FindRequest &r)
{
    const TConnectionContext &ctx = ConnectionContext();
    const QString base = r.basePath.isEmpty() ? ctx.DomainPath : r.basePath;
    const QString user = r.userName.value_or(ctx.UserName);
    const QString password = r.password.value_or(ctx.Password);
    const std::uint32_t flags = r.authFlags.value_or(ctx.AuthFlags);
    const int level = r.domainFunctionality.value_or(ctx.DomainFunctionality);
    setLastLogonRule(lastLogonRule(level, r.logonTimeSyncIntervalDays.value_or(ctx.Policy.LogonTimeSyncIntervalDays)),
                     level);
    setExchangePresent(r.exchangePresent.value_or(AttributeInList(SchemaAttributeNames(), QStringLiteral("homeMDB"))));
    setShowLastLogon(r.showLastLogon);
    if (r.scope == FindScope::UsersAndGroups)
        SetSearchUsersAndGroups(base, user, password, flags);
    else
        SetSearchUsers(base, user, password, flags);
    if (r.exchangeOnly)
        SetExchangeOnly(true);
    ebName->setText(r.initialName);
}

void TfrmFind::SetSearchUsers(const QString &basePath, const QString &user, const QString &password,
                              std::uint32_t flags)
{
    basePath_ = basePath;
    userName_ = user;
    password_ = password;
    authFlags_ = flags;
    withGroups_ = false;
    updateCaption();
}

void TfrmFind::SetSearchUsersAndGroups(const QString &basePath, const QString &user, const QString &password,
                                       std::uint32_t flags)
{
    SetSearchUsers(basePath, user, password, flags);
    withGroups_ = true;
    updateCaption();
}

void TfrmFind::SetExchangeOnly(bool on)
{
    cbExchangeOnly->setChecked(on);
    cbExchangeOnly->setEnabled(!on);
    // A caller that needs mailboxes gets the box even before the schema is known.
    if (on)
        cbExchangeOnly->setVisible(true);
}

void TfrmFind::setShowLastLogon(bool on)
{
    gbLastLogon->setVisible(on);
    updateCaption();
}

void TfrmFind::setLastLogonRule(const LastLogonRule &rule, int domainFunctionality)
{
    domainFunctionality_ = domainFunctionality;
    gbLastLogon->setRule(rule);
}

void TfrmFind::setExchangePresent(bool present)
{
    cbExchangeOnly->setVisible(present || !cbExchangeOnly->isEnabled());
    if (!present && cbExchangeOnly->isEnabled())
        cbExchangeOnly->setChecked(false);
}

void TfrmFind::updateCaption()
{
    if (!withGroups_)
        setWindowTitle(QStringLiteral("  Select User "));
    else if (!gbLastLogon->isHidden())
        setWindowTitle(QStringLiteral(" Select User or Distribution Group"));
    else
        setWindowTitle(QStringLiteral(" Select User or Group"));
}

QString TfrmFind::currentFilter() const
{
    const QString name = findNamePart(ebName->text(), cbQuery->currentIndex() == 1);
    const bool lastLogonShown = !gbLastLogon->isHidden();
    const QString logonTerm = lastLogonShown ? gbLastLogon->term() : QString();
    const bool exchangeOnly = cbExchangeOnly->isChecked() && (!cbExchangeOnly->isHidden() || !cbExchangeOnly->isEnabled());
    const QString searchPart = findSearchPart(name, exchangeOnly, logonTerm);
    return findFilter(withGroups_, lastLogonShown, searchPart, name);
}

void TfrmFind::normaliseNumbers()
{
    ebNumbers->setText(QString::number(normaliseMaxItems(ebNumbers->text())));
}

void TfrmFind::btFindClick()
{
    if (searching_)
        return;
    normaliseNumbers();
    btStop->setEnabled(true);
    btFind->setEnabled(false);
    lbHowManyAre->clear();
    lvResult->clear();
    selection_ = {};
    btOK->setEnabled(false);

    const int sizeLimit = rbAll->isChecked() ? 0 : normaliseMaxItems(ebNumbers->text());
    TQelADSISearching &s = *search_;
    s.CloseSearch();
    s.setAttributes(kAttributes);
    s.setADsPath(basePath_);
    s.setSearchScope(2);
    s.setUserName(userName_);
    s.setPassword(password_);
    s.setAuthFlags(static_cast<int>(authFlags_));
    s.setUseCredentials(ConnectionContext().UseCredentials);
    s.setSizeLimit(sizeLimit);
    s.setPageSize(findPageSize(sizeLimit));
    s.setAsynchronous(false);
    s.setFilter(currentFilter());

    gbMaximum->setEnabled(false);
    gbLastLogon->setEnabled(false);
    Animate->setVisible(true);
    searching_ = true;
    stopped_ = false;

    QString error;
    int count = 0;
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    try {
        s.ExecuteSearch();
        QVariant row;
        s.GetFirstRow(row);
        while (row.isValid()) {
            addRow(row);
            ++count;
            if (sinceEvents.elapsed() >= EventIntervalMs) {
                QCoreApplication::processEvents();
                sinceEvents.restart();
            }
            if (stopped_)
                break;
            if (sizeLimit > 0 && count >= sizeLimit)
                break;
            s.GetNextRow(row);
        }
    } catch (const Exception &e) {
        error = e.Message();
    }
    s.CloseSearch();

    Animate->setVisible(false);
    btStop->setEnabled(false);
    btFind->setEnabled(true);
    lbHowManyAre->setText(QStringLiteral(" First %1 Users are listed").arg(count));
    gbMaximum->setEnabled(true);
    gbLastLogon->setEnabled(true);
    searching_ = false;
    if (!error.isEmpty())
        ui::Prompt::error(this, error, windowTitle());
    emit searchFinished(count, error);
}

QTreeWidgetItem *TfrmFind::addRow(const QVariant &rowValue)
{
    const QVariantList row = rowValue.toList();
    auto *item = new QTreeWidgetItem;
    item->setText(CName, slotText(row, SName));
    item->setText(CMail, slotText(row, SMail));
    item->setText(CUpn, slotText(row, SUpn));
    const std::optional<double> logon = findLastLogon(domainFunctionality_, slotDate(row, SLastLogon),
                                                      slotDate(row, SLastLogonTimeStamp), gbLastLogon->toggled());
    item->setText(CLastLogon, logon ? dateText(*logon) : QString());
    item->setText(CDn, slotText(row, SDn));
    const bool group = SGroupType < row.size() && row.at(SGroupType).isValid();
    item->setData(CName, Qt::UserRole, static_cast<int>(group ? FindKind::Group : FindKind::User));
    item->setIcon(CName, group ? ui::groupIcon() : ui::userIcon());
    lvResult->addTopLevelItem(item);
    return item;
}

void TfrmFind::btStopClick()
{
    if (!searching_)
        return;
    stopped_ = true;
    search_->CloseSearch();
}

void TfrmFind::takeSelection(QTreeWidgetItem *item)
{
    if (searching_ || !item) {
        selection_ = {};
        btOK->setEnabled(false);
        lvResult->setToolTip(QString());
        return;
    }
    selection_.name = item->text(CName);
    selection_.distinguishedName = item->text(CDn).trimmed();
    selection_.kind = static_cast<FindKind>(item->data(CName, Qt::UserRole).toInt());
    lvResult->setToolTip(selection_.distinguishedName);
    btOK->setEnabled(true);
}

FindKind TfrmFind::GetSelection(QString &name, QString &distinguishedName) const
{
    name = selection_.name;
    distinguishedName = selection_.distinguishedName;
    return selection_.kind;
}

FindResult TfrmFind::selection() const
{
    return selection_;
}

void TfrmFind::btOKClick()
{
    if (searching_)
        return;
    if (selection_.distinguishedName.isEmpty()) {
        ui::Prompt::information(this, QStringLiteral("Nothing is selected."), windowTitle());
        return;
    }
    accept();
}

void TfrmFind::btCancelClick()
{
    reject();
}

void TfrmFind::reject()
{
    // The dialog cannot be closed while a search runs.
    if (searching_)
        return;
    selection_ = {};
    QDialog::reject();
}

void TfrmFind::closeEvent(QCloseEvent *event)
{
    if (searching_) {
        event->ignore();
        return;
    }
    search_->CloseSearch();
    QDialog::closeEvent(event);
}

bool TfrmFind::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ebNumbers) {
        switch (event->type()) {
        case QEvent::FocusIn:
        case QEvent::MouseButtonPress:
            rbNumb->setChecked(true);
            break;
        case QEvent::FocusOut:
        case QEvent::MouseButtonRelease:
            normaliseNumbers();
            break;
        case QEvent::KeyPress: {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Tab || key == Qt::Key_Return || key == Qt::Key_Enter) {
                normaliseNumbers();
                btFind->setFocus();
                return true;
            }
            break;
        }
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool FindUser(QWidget *parent, const FindRequest &request, FindResult *out)
{
    TfrmFind dlg(parent);
    dlg.setRequest(request);
    if (request.autoFind)
        QMetaObject::invokeMethod(&dlg, [&dlg] { dlg.btFindClick(); }, Qt::QueuedConnection);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    const FindResult r = dlg.selection();
    if (r.distinguishedName.isEmpty())
        return false;
    if (out)
        *out = r;
    return true;
}

} // namespace query
