#include "query/unFilter.h"

#include "core/unConnection.h"
#include "core/unSearch.h"
#include "options/unOptions.h"
#include "query/unLastLogonBox.h"
#include "query/unLoadSaveLDAPQ.h"
#include "ui/prompt.h"
#include "ui/texts.h"
#include "ui/windowlayout.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QAbstractItemView>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace query {

namespace {

constexpr int KeyRole = Qt::UserRole;
constexpr int HeaderRole = Qt::UserRole + 1;
constexpr int DescriptionRole = Qt::UserRole + 2;
constexpr int PreviewLimit = 50;
constexpr int MaxConditionsForPreview = 6;

const QString kInvalidFilter = QStringLiteral("The specified search filter is invalid.");

// Field entries are drawn indented by 20 pixels; headers flush left.
class FieldDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem o = option;
        if (!index.data(HeaderRole).toBool())
            o.rect.adjust(20, 0, 0, 0);
        QStyledItemDelegate::paint(painter, o, index);
    }
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text = option->text.trimmed();
        if (index.data(HeaderRole).toBool() && (option->state & QStyle::State_Selected))
            option->palette.setColor(QPalette::HighlightedText, Qt::red);
    }
};

} // namespace

TfrmFilter::TfrmFilter(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmFilter"));
    setWindowTitle(QStringLiteral("   Filter Options"));
    setModal(true);
    auto *root = new QVBoxLayout(this);

    MainMenu = new QMenuBar(this);
    MainMenu->setObjectName(QStringLiteral("MainMenu"));
    QMenu *menu = MainMenu->addMenu(QStringLiteral("&LDAPQuery"));
    actSaveAs = menu->addAction(QStringLiteral("&Save As..."));
    actSaveAs->setObjectName(QStringLiteral("actSaveAs"));
    actLoadSaved = menu->addAction(QStringLiteral("&Load Saved..."));
    actLoadSaved->setObjectName(QStringLiteral("actLoadSaved"));
    root->setMenuBar(MainMenu);

    pcFilter = new QTabWidget(this);
    pcFilter->setObjectName(QStringLiteral("pcFilter"));
    root->addWidget(pcFilter, 1);

    // --- the "Filter" page ---
    tsFilter = new QWidget;
    tsFilter->setObjectName(QStringLiteral("tsFilter"));
    auto *fl = new QVBoxLayout(tsFilter);
    auto *condRow = new QHBoxLayout;
    cbFields = new QComboBox(tsFilter);
    cbFields->setObjectName(QStringLiteral("cbFields"));
    cbFields->setItemDelegate(new FieldDelegate(cbFields));
    cbFields->setMinimumWidth(200);
    // A condition reads across the row: attribute, comparison, value.
    cbFields->setAccessibleName(QStringLiteral("Attribute"));
    cbConditions = new QComboBox(tsFilter);
    cbConditions->setObjectName(QStringLiteral("cbConditions"));
    cbConditions->addItems(conditionTexts());
    cbConditions->setCurrentIndex(-1);
    cbConditions->setAccessibleName(QStringLiteral("Condition"));
    ebValue = new QLineEdit(tsFilter);
    ebValue->setObjectName(QStringLiteral("ebValue"));
    ebValue->setAccessibleName(QStringLiteral("Value"));
    btAdd = new QPushButton(QStringLiteral("Add"), tsFilter);
    btAdd->setObjectName(QStringLiteral("btAdd"));
    btAdd->setEnabled(false);
    condRow->addWidget(cbFields, 2);
    condRow->addWidget(cbConditions, 1);
    condRow->addWidget(ebValue, 2);
    condRow->addWidget(btAdd);
    fl->addLayout(condRow);

    auto *listRow = new QHBoxLayout;
    lvCond = new QTreeWidget(tsFilter);
    lvCond->setObjectName(QStringLiteral("lvCond"));
    lvCond->setColumnCount(3);
    lvCond->setHeaderHidden(true);
    lvCond->setRootIsDecorated(false);
    lvCond->setAllColumnsShowFocus(true);
    lvCond->setAccessibleName(QStringLiteral("Conditions"));
    lvCond->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    lvCond->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    listRow->addWidget(lvCond, 1);
    auto *listButtons = new QVBoxLayout;
    btRemove = new QPushButton(QStringLiteral("Remove"), tsFilter);
    btRemove->setObjectName(QStringLiteral("btRemove"));
    btRemove->setEnabled(false);
    btClear = new QPushButton(QStringLiteral("Clear"), tsFilter);
    btClear->setObjectName(QStringLiteral("btClear"));
    listButtons->addWidget(btRemove);
    listButtons->addWidget(btClear);
    listButtons->addStretch(1);
    listRow->addLayout(listButtons);
    fl->addLayout(listRow, 1);

    auto *optionsRow = new QHBoxLayout;
    auto *gbUac = new QGroupBox(QStringLiteral(" User Account Control "), tsFilter);
    gbUac->setObjectName(QStringLiteral("gbUserAccountControl"));
    auto *ul = new QVBoxLayout(gbUac);
    HideDisabled = new QCheckBox(QStringLiteral("Users which has been Disabled"), gbUac);
    HideDisabled->setObjectName(QStringLiteral("HideDisabled"));
    HideExpired = new QCheckBox(QStringLiteral("Users which Password has Expired"), gbUac);
    HideExpired->setObjectName(QStringLiteral("HideExpired"));
    HideLocked = new QCheckBox(QStringLiteral("Users which has been Locked"), gbUac);
    HideLocked->setObjectName(QStringLiteral("HideLocked"));
    ul->addWidget(HideDisabled);
    ul->addWidget(HideExpired);
    ul->addWidget(HideLocked);
    optionsRow->addWidget(gbUac);
    gbLastLogon = new TLastLogonBox(tsFilter);
    optionsRow->addWidget(gbLastLogon);
    fl->addLayout(optionsRow);
    pcFilter->addTab(tsFilter, QStringLiteral("Filter"));

    // --- the "LDAP query" page ---
    tsQuery = new QWidget;
    tsQuery->setObjectName(QStringLiteral("tsQuery"));
    auto *ql = new QVBoxLayout(tsQuery);
    memoQuery = new QPlainTextEdit(tsQuery);
    memoQuery->setObjectName(QStringLiteral("memoQuery"));
    memoQuery->setContextMenuPolicy(Qt::CustomContextMenu);
    memoQuery->setAccessibleName(QStringLiteral("LDAP query"));
    ql->addWidget(memoQuery);
    pcFilter->addTab(tsQuery, QStringLiteral("LDAP query"));

    // --- preview ---
    lvFilterOpt = new QTreeWidget(this);
    lvFilterOpt->setObjectName(QStringLiteral("lvFilterOpt"));
    lvFilterOpt->setColumnCount(3);
    lvFilterOpt->setHeaderLabels({QStringLiteral("User Name"), QStringLiteral("Display Name"), QStringLiteral("Description")});
    lvFilterOpt->setRootIsDecorated(false);
    lvFilterOpt->setAccessibleName(QStringLiteral("Users the filter finds"));
    root->addWidget(lvFilterOpt, 1);

    auto *buttons = new QHBoxLayout;
    lbCount = new QLabel(this);
    lbCount->setObjectName(QStringLiteral("lbCount"));
    btApplay = new QPushButton(QStringLiteral("&Applay"), this);
    btApplay->setObjectName(QStringLiteral("btApplay"));
    btSave = new QPushButton(QStringLiteral("Save ..."), this);
    btSave->setObjectName(QStringLiteral("btSave"));
    btLoad = new QPushButton(QStringLiteral("Load ..."), this);
    btLoad->setObjectName(QStringLiteral("btLoad"));
    btOK = new QPushButton(QStringLiteral("&OK"), this);
    btOK->setObjectName(QStringLiteral("btOK"));
    btOK->setDefault(true);
    btCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    buttons->addWidget(lbCount, 1);
    buttons->addWidget(btApplay);
    buttons->addWidget(btSave);
    buttons->addWidget(btLoad);
    buttons->addWidget(btOK);
    buttons->addWidget(btCancel);
    root->addLayout(buttons);

    auto *status = new QStatusBar(this);
    status->setObjectName(QStringLiteral("StatusBar"));
    status->setSizeGripEnabled(false);
    panels_[0] = new QLabel(status);
    panels_[0]->setObjectName(QStringLiteral("StatusPanel0"));
    panels_[1] = new QLabel(status);
    panels_[1]->setObjectName(QStringLiteral("StatusPanel1"));
    status->addWidget(panels_[0], 1);
    status->addWidget(panels_[1], 1);
    root->addWidget(status);

    // The field list, built once from the catalogue.
    auto *model = new QStandardItemModel(cbFields);
    for (const FieldChoice &c : filterFieldChoices()) {
        auto *item = new QStandardItem(c.header ? c.caption : QLatin1Char('\t') + c.caption);
        item->setData(c.key, KeyRole);
        item->setData(c.header, HeaderRole);
        item->setData(c.description, DescriptionRole);
        item->setToolTip(c.caption);
        if (c.header)
            item->setForeground(QColor(0x00, 0x00, 0x80));
        else if (c.sortKey)
            item->setForeground(QColor(0x00, 0x80, 0x00));
        model->appendRow(item);
    }
    cbFields->setModel(model);
    cbFields->setCurrentIndex(-1);
    // Hovering an entry of the dropped-down list shows its text in a red-framed hint.
    cbFields->view()->setStyleSheet(QStringLiteral("QToolTip { border: 1px solid red; }"));

    connect(cbFields, &QComboBox::activated, this, &TfrmFilter::cbFieldsChange);
    connect(cbConditions, &QComboBox::activated, this, &TfrmFilter::cbConditionsChange);
    connect(btAdd, &QPushButton::clicked, this, &TfrmFilter::btAddClick);
    connect(btRemove, &QPushButton::clicked, this, &TfrmFilter::btRemoveClick);
    connect(btClear, &QPushButton::clicked, this, &TfrmFilter::btClearClick);
    connect(btApplay, &QPushButton::clicked, this, &TfrmFilter::btApplayClick);
    connect(btOK, &QPushButton::clicked, this, &TfrmFilter::btOKClick);
    connect(btCancel, &QPushButton::clicked, this, &TfrmFilter::btCancelClick);
    connect(btSave, &QPushButton::clicked, this, &TfrmFilter::SaveAsClick);
    connect(actSaveAs, &QAction::triggered, this, &TfrmFilter::SaveAsClick);
    connect(btLoad, &QPushButton::clicked, this, &TfrmFilter::LoadSavedClick);
    connect(actLoadSaved, &QAction::triggered, this, &TfrmFilter::LoadSavedClick);
    connect(lvCond, &QTreeWidget::currentItemChanged, this, [this] { btRemove->setEnabled(lvCond->currentItem() != nullptr); });
    connect(HideDisabled, &QCheckBox::toggled, this, [this](bool on) { accountBoxToggled(AccountFlag::Disabled, on); });
    connect(HideExpired, &QCheckBox::toggled, this, [this](bool on) { accountBoxToggled(AccountFlag::Expired, on); });
    connect(HideLocked, &QCheckBox::toggled, this, [this](bool on) { accountBoxToggled(AccountFlag::Locked, on); });
    connect(gbLastLogon, &TLastLogonBox::changed, this, &TfrmFilter::lastLogonChanged);
    connect(memoQuery, &QPlainTextEdit::textChanged, this, &TfrmFilter::memoEdited);
    connect(memoQuery, &QWidget::customContextMenuRequested, this, [this](const QPoint &pos) {
        if (memoQuery->toPlainText().isEmpty())
            return;
        QMenu m(memoQuery);
        QAction *copy = m.addAction(QStringLiteral("&Copy To Clipboard"));
        if (m.exec(memoQuery->mapToGlobal(pos)) == copy)
            QApplication::clipboard()->setText(memoQuery->toPlainText());
    });

    // Defaults from the connection context.
    const TConnectionContext &ctx = ConnectionContext();
    SetCredentials(ctx.UserName, ctx.Password, ctx.AuthFlags);
    setDomainFacts(ctx.DomainFunctionality, ctx.Policy.LogonTimeSyncIntervalDays, ctx.Policy.MaxPasswordAgeDays);
    options::ApplyWindowFont(this);
    ui::setupWindow(this, QSize(620, 560));
}

TfrmFilter::~TfrmFilter() = default;

void TfrmFilter::setRequest(const FilterRequest &r)
{
    const TConnectionContext &ctx = ConnectionContext();
    SetCredentials(r.userName.value_or(ctx.UserName), r.password.value_or(ctx.Password),
                   r.authFlags.value_or(ctx.AuthFlags));
    setDomainFacts(r.domainFunctionality.value_or(ctx.DomainFunctionality),
                   r.logonTimeSyncIntervalDays.value_or(ctx.Policy.LogonTimeSyncIntervalDays),
                   r.maxPasswordAgeDays.value_or(ctx.Policy.MaxPasswordAgeDays));
    setContainer(r.containerPath, r.containerName, r.containerHasParent);
    setFilter(r.filter, r.fromBuilder);
    LoadConditions(r.fromBuilder);
}

void TfrmFilter::SetCredentials(const QString &user, const QString &password, std::uint32_t flags)
{
    userName_ = user;
    password_ = password;
    authFlags_ = flags;
}

void TfrmFilter::setContainer(const QString &path, const QString &name, bool hasParent)
{
    containerPath_ = path;
    containerName_ = name;
    containerHasParent_ = hasParent;
}

void TfrmFilter::setDomainFacts(int domainFunctionality, int logonTimeSyncIntervalDays, qint64 maxPasswordAgeDays)
{
    const LastLogonRule rule = lastLogonRule(domainFunctionality, logonTimeSyncIntervalDays);
    conditions_.setLastLogonRule(rule);
    conditions_.setMaxPasswordAgeDays(maxPasswordAgeDays);
    const bool was = updating_;
    updating_ = true;
    gbLastLogon->setRule(rule);
    updating_ = was;
}

void TfrmFilter::setFilter(const QString &fragment, bool fromBuilder)
{
    currentFragment_ = fragment;
    modeFlag_ = fromBuilder;
    setMemo(fragment);
}

QString TfrmFilter::filterText() const
{
    return memoQuery->toPlainText();
}

QString TfrmFilter::statusPanel(int index) const
{
    return (index == 0 || index == 1) ? panels_[index]->text() : QString();
}

void TfrmFilter::setStatusPanel(int index, const QString &text)
{
    panels_[index]->setText(text);
}

void TfrmFilter::setMemo(const QString &text)
{
    const bool was = updating_;
    updating_ = true;
    memoQuery->setPlainText(text);
    updating_ = was;
}

void TfrmFilter::LoadConditions(bool modeFlag)
{
    if (currentFragment_.isEmpty() || !modeFlag)
        return;
    conditions_.parse(currentFragment_);
    refreshConditionList();
    syncBoxes();
}

void TfrmFilter::refreshConditionList()
{
    const bool was = updating_;
    updating_ = true;
    const qint32 selectedKey = lvCond->currentItem() ? lvCond->currentItem()->data(0, KeyRole).toInt() : -1;
    lvCond->clear();
    for (const ConditionRow &r : conditions_.rows()) {
        auto *item = new QTreeWidgetItem({r.caption, r.condition, r.value});
        item->setData(0, KeyRole, r.key);
        lvCond->addTopLevelItem(item);
        if (r.key == selectedKey)
            lvCond->setCurrentItem(item);
    }
    btRemove->setEnabled(lvCond->currentItem() != nullptr);
    updating_ = was;
}

void TfrmFilter::syncBoxes()
{
    const bool was = updating_;
    updating_ = true;
    HideDisabled->setChecked(conditions_.accountFlag(AccountFlag::Disabled));
    HideExpired->setChecked(conditions_.accountFlag(AccountFlag::Expired));
    HideLocked->setChecked(conditions_.accountFlag(AccountFlag::Locked));
    if (conditions_.lastLogonDays() > 0) {
        gbLastLogon->setToggled(conditions_.lastLogonNotLoggedIn());
        gbLastLogon->setDays(conditions_.lastLogonDays());
    } else {
        gbLastLogon->clear();
    }
    updating_ = was;
}

void TfrmFilter::generate()
{
    if (!modeFlag_)
        return;
    currentFragment_ = conditions_.fragment();
    setMemo(currentFragment_);
}

void TfrmFilter::conditionsChanged()
{
    modeFlag_ = true;
    refreshConditionList();
    generate();
    updateApplay();
}

void TfrmFilter::updateApplay()
{
    btApplay->setEnabled(conditions_.rows().size() < MaxConditionsForPreview);
}

void TfrmFilter::cbFieldsChange(int index)
{
    cbConditions->setCurrentIndex(-1);
    ebValue->clear();
    ebValue->setEnabled(true);
    if (index < 0 || cbFields->itemData(index, HeaderRole).toBool()) {
        // A group header cannot be chosen.
        cbFields->setCurrentIndex(-1);
        btAdd->setEnabled(false);
        setStatusPanel(1, QString());
        return;
    }
    const QString description = cbFields->itemData(index, DescriptionRole).toString();
    const QString wrapped = ui::displayText(ui::wrapText(description, 45));
    const qsizetype nl = wrapped.indexOf(u'\n');
    // The first wrapped line (the whole text when it fits on one), then " ...".
    setStatusPanel(1, (nl < 0 ? wrapped : wrapped.left(nl)) + QStringLiteral(" ..."));
    panels_[1]->setToolTip(description);
    btAdd->setEnabled(!description.isEmpty());
}

void TfrmFilter::cbConditionsChange(int index)
{
    const bool noValue = index >= 0 && !conditionNeedsValue(static_cast<Condition>(index));
    ebValue->setEnabled(!noValue);
    if (noValue)
        ebValue->clear();
}

void TfrmFilter::btAddClick()
{
    if (ebValue->isEnabled() && ebValue->text().trimmed().isEmpty()) {
        ebValue->setFocus();
        return;
    }
    const int fieldIndex = cbFields->currentIndex();
    if (fieldIndex < 0 || cbFields->itemData(fieldIndex, HeaderRole).toBool())
        return;
    const qint32 key = cbFields->itemData(fieldIndex, KeyRole).toInt();
    const int conditionIndex = cbConditions->currentIndex();
    if (conditionIndex < 0)
        return;
    int existing = -1;
    const AddError e = conditions_.add(key, static_cast<Condition>(conditionIndex), ebValue->text(), &existing);
    if (e == AddError::Duplicate) {
        lvCond->setCurrentItem(lvCond->topLevelItem(existing));
        ui::Prompt::error(this,
                          QStringLiteral("The \"%1\" is already in the list and cannot be added a second time.")
                              .arg(conditions_.rows().at(existing).caption),
                          windowTitle());
        return;
    }
    if (e != AddError::None)
        return;
    cbFields->setCurrentIndex(-1);
    cbConditions->setCurrentIndex(-1);
    ebValue->clear();
    ebValue->setEnabled(true);
    btAdd->setEnabled(false);
    conditionsChanged();
}

void TfrmFilter::btRemoveClick()
{
    QTreeWidgetItem *item = lvCond->currentItem();
    if (!item)
        return;
    const int index = lvCond->indexOfTopLevelItem(item);
    const ConditionRow row = conditions_.rows().at(index);
    conditions_.removeAt(index);
    if (row.kind != RowKind::Attribute)
        syncBoxes();
    conditionsChanged();
}

void TfrmFilter::accountBoxToggled(AccountFlag flag, bool on)
{
    if (updating_)
        return;
    // Clearing a box always removes its row: a row left behind would keep filtering.
    conditions_.setAccountFlag(flag, on);
    conditionsChanged();
}

void TfrmFilter::lastLogonChanged()
{
    if (updating_)
        return;
    conditions_.setLastLogon(gbLastLogon->days(), gbLastLogon->toggled());
    conditionsChanged();
}

void TfrmFilter::memoEdited()
{
    if (updating_)
        return;
    // Typed by hand: the conditions are ignored until they are changed again.
    currentFragment_.clear();
    modeFlag_ = false;
    btApplay->setEnabled(true);
}

void TfrmFilter::btClearClick()
{
    conditions_.clear();
    refreshConditionList();
    syncBoxes();
    currentFragment_.clear();
    setMemo(QString());
    lvFilterOpt->clear();
    btApplay->setEnabled(true);
}

void TfrmFilter::btApplayClick()
{
    generate();
    lvFilterOpt->clear();
    int count = 0;
    const QString fragment = memoQuery->toPlainText().trimmed();
    // A filter the server would refuse is not sent; the preview stays empty.
    if (!containerPath_.isEmpty() && isValidFragment(fragment)) {
        TQelADSISearching search;
        search.setADsPath(containerPath_);
        search.setUserName(userName_);
        search.setPassword(password_);
        search.setAuthFlags(static_cast<int>(authFlags_));
        search.setUseCredentials(ConnectionContext().UseCredentials);
        search.setSearchScope(containerHasParent_ ? 1 : 2);
        search.setAttributes(QStringLiteral("name, displayName, description"));
        search.setFilter(userFilter(fragment));
        search.setSizeLimit(PreviewLimit);
        search.setPageSize(0);
        try {
            search.ExecuteSearch();
            QVariant row;
            search.GetFirstRow(row);
            while (row.isValid() && count < PreviewLimit) {
                const QVariantList cols = row.toList();
                QStringList texts;
                for (int i = 0; i < 3; ++i) {
                    const QVariant v = i < cols.size() ? cols.at(i) : QVariant();
                    texts << (v.userType() == QMetaType::QVariantList
                                  ? (v.toList().isEmpty() ? QString() : v.toList().first().toString())
                                  : v.toString());
                }
                lvFilterOpt->addTopLevelItem(new QTreeWidgetItem(texts));
                ++count;
                search.GetNextRow(row);
            }
        } catch (const Exception &) {
            // The preview shows what was read.
        }
        search.CloseSearch();
    }
    lbCount->setText(count == 0 ? QStringLiteral("No items") : QStringLiteral("The first 50 accounts"));
    btApplay->setEnabled(false);
    emit previewFinished(count);
}

void TfrmFilter::btOKClick()
{
    generate();
    const QString text = memoQuery->toPlainText();
    if (!text.trimmed().isEmpty() && !isValidFragment(text)) {
        pcFilter->setCurrentWidget(tsQuery);
        ui::Prompt::error(this, kInvalidFilter, windowTitle());
        return;
    }
    accept();
}

void TfrmFilter::btCancelClick()
{
    conditions_.clear();
    refreshConditionList();
    setMemo(QString());
    reject();
}

void TfrmFilter::SaveAsClick()
{
    const QString text = memoQuery->toPlainText();
    if (text.isEmpty()) {
        ui::Prompt::error(this, QStringLiteral("Nothing to save"), windowTitle());
        return;
    }
    SaveQueryDialog(this, text.trimmed(), text == currentFragment_);
}

void TfrmFilter::LoadSavedClick()
{
    QString text;
    bool flag = false;
    if (!LoadQueryDialog(this, &text, &flag))
        return;
    setMemo(text);
    if (flag) {
        currentFragment_ = text;
        modeFlag_ = true;
        conditions_.parse(text);
        refreshConditionList();
        syncBoxes();
        pcFilter->setCurrentWidget(tsFilter);
    } else {
        conditions_.clear();
        refreshConditionList();
        syncBoxes();
        currentFragment_.clear();
        modeFlag_ = false;
        pcFilter->setCurrentWidget(tsQuery);
    }
    lvFilterOpt->clear();
    btApplay->setEnabled(true);
}

void TfrmFilter::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    lvFilterOpt->clear();
    setStatusPanel(0, QStringLiteral(" Container: ") +
                          (containerPath_.isEmpty() ? QStringLiteral("<Unknown>") : containerName_));
    lbCount->clear();
    pcFilter->setCurrentWidget(memoQuery->toPlainText().isEmpty() ? tsFilter : tsQuery);
}

bool BuildFilter(QWidget *parent, const FilterRequest &request, FilterResult *out)
{
    TfrmFilter dlg(parent);
    dlg.setRequest(request);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    if (out) {
        out->filter = dlg.filterText().trimmed();
        out->fromBuilder = dlg.modeFlag();
    }
    return true;
}

} // namespace query
