#include "bulk/unFindAndReplace.h"

#include "core/unValues.h"
#include "options/unOptions.h"
#include "ui/prompt.h"
#include "ui/texts.h"
#include "ui/windowlayout.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QMutexLocker>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace findreplace;

namespace {

template <typename T>
T *named(T *w, const char *name)
{
    w->setObjectName(QLatin1String(name));
    return w;
}

QRadioButton *radio(QWidget *parent, const char *name, const QString &text)
{
    return named(new QRadioButton(text, parent), name);
}

QCheckBox *check(QWidget *parent, const char *name, const QString &text)
{
    return named(new QCheckBox(text, parent), name);
}

const QString kNotSet = QStringLiteral("Value Is Not Set");

} // namespace

// --- TfrmQueryShow ---------------------------------------------------------------------------

TfrmQueryShow::TfrmQueryShow(const QString &query, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TfrmQueryShow"));
    setWindowTitle(QStringLiteral("LDAP Query Show"));
    options::ApplyWindowFont(this);
    auto *layout = new QVBoxLayout(this);
    memoQuery = named(new QPlainTextEdit(this), "memoQuery");
    memoQuery->setReadOnly(true);
    memoQuery->setPlainText(query);
    memoQuery->setAccessibleName(QStringLiteral("LDAP query"));
    memoQuery->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(memoQuery, &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        QMenu menu(this);
        menu.addAction(QStringLiteral("&Copy To Clipboard"), this, [this] { CopyToClipboardClick(); });
        menu.exec(memoQuery->mapToGlobal(at));
    });
    layout->addWidget(memoQuery);
    btClose = named(new QPushButton(QStringLiteral("&Close"), this), "btClose");
    connect(btClose, &QPushButton::clicked, this, &QDialog::accept);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btClose);
    layout->addLayout(buttons);
    ui::setupWindow(this, QSize(520, 220));
}

void TfrmQueryShow::CopyToClipboardClick()
{
    memoQuery->selectAll();
    QApplication::clipboard()->setText(memoQuery->toPlainText());
}

// --- TfrmFindAndReplace ------------------------------------------------------------------------

TfrmFindAndReplace::TfrmFindAndReplace(QWidget *parent, const TConnectionContext &context)
    : QDialog(parent), ctx_(context)
{
    setObjectName(QStringLiteral("TfrmFindAndReplace"));
    setWindowTitle(QStringLiteral(" Find Fast & Replace"));
    setModal(true);
    loading_ = true;  // the controls' initial states are no user changes
    buildWidgets();
    loading_ = false;
    options::ApplyWindowFont(this);
    setContainer(QString(), QString(), false);
    fillAttributes(SchemaLoaded(), SchemaAttributeNames());
}

TfrmFindAndReplace::~TfrmFindAndReplace()
{
    stopRequested_ = true;
    setEnabled(false);
    QMutexLocker lock(&ProcessLock());
    rows_.clear();
}

QWidget *TfrmFindAndReplace::buildMainPage()
{
    auto *page = named(new QWidget, "TabSheetMain");
    auto *grid = new QGridLayout(page);
    ebFind = named(new QLineEdit(page), "ebFind");
    cbIsBlank = check(page, "cbIsBlank", kNotSet);
    gbConditions = named(new QGroupBox(QStringLiteral(" where value "), page), "gbConditions");
    auto *g = new QHBoxLayout(gbConditions);
    rbStart = radio(gbConditions, "rbStart", QStringLiteral("Start"));
    rbEnd = radio(gbConditions, "rbEnd", QStringLiteral("End"));
    rbContains = radio(gbConditions, "rbContains", QStringLiteral("Contains"));
    rbIsExactly = radio(gbConditions, "rbIsExactly", QStringLiteral("Is Exactly"));
    rbIsNot = radio(gbConditions, "rbIsNot", QStringLiteral("Is Not"));
    for (QRadioButton *r : {rbStart, rbEnd, rbContains, rbIsExactly, rbIsNot}) {
        g->addWidget(r);
        connect(r, &QRadioButton::toggled, this, [this] { conditionChanged(); });
    }
    rbIsExactly->setChecked(true);
    ebReplace = named(new QLineEdit(page), "ebReplace");
    cbClearVlaue = check(page, "cbClearVlaue", QStringLiteral("  Clear Value"));
    auto *lbFind = new QLabel(QStringLiteral("Find:"), page);
    auto *lbReplace = new QLabel(QStringLiteral("Replace With:"), page);
    lbFind->setBuddy(ebFind);
    lbReplace->setBuddy(ebReplace);
    grid->addWidget(lbFind, 0, 0);
    grid->addWidget(ebFind, 0, 1);
    grid->addWidget(cbIsBlank, 0, 2);
    grid->addWidget(gbConditions, 1, 1, 1, 2);
    grid->addWidget(lbReplace, 2, 0);
    grid->addWidget(ebReplace, 2, 1);
    grid->addWidget(cbClearVlaue, 2, 2);
    ebReplace->setToolTip(placeholders().join(QLatin1Char('\n')));
    connect(ebFind, &QLineEdit::textEdited, this, [this] {
        cbIsBlank->setChecked(false);
        conditionChanged();
    });
    connect(ebReplace, &QLineEdit::textEdited, this, [this] {
        cbClearVlaue->setChecked(false);
        conditionChanged();
    });
    return page;
}

QWidget *TfrmFindAndReplace::buildMemoPage()
{
    auto *page = named(new QWidget, "TabSheetMemo");
    auto *grid = new QGridLayout(page);
    memoStreetFind = named(new QPlainTextEdit(page), "memoStreetFind");
    memoStreetReplace = named(new QPlainTextEdit(page), "memoStreetReplace");
    // Room for a street of four lines: the page stays as low as the others, the result list
    // below gets the height.
    for (QPlainTextEdit *m : {memoStreetFind, memoStreetReplace})
        m->setMaximumHeight(4 * m->fontMetrics().lineSpacing() + 2 * m->frameWidth() + 8);
    memoStreetFind->setAccessibleName(QStringLiteral("Find"));
    memoStreetReplace->setAccessibleName(QStringLiteral("Replace With"));
    cbIsBlankMemo = check(page, "cbIsBlankMemo", QString());
    cbClearVlaueMemo = check(page, "cbClearVlaueMemo", QString());
    lbIsBlankMemo = named(new QLabel(kNotSet, page), "lbIsBlankMemo");
    lbClearVlaueMemo = named(new QLabel(QStringLiteral("Clear Value"), page), "lbClearVlaueMemo");
    // The labels beside the two checkboxes toggle them.
    lbIsBlankMemo->installEventFilter(this);
    lbClearVlaueMemo->installEventFilter(this);
    rbConditionsMemo = named(new QGroupBox(QStringLiteral(" where value "), page), "rbConditionsMemo");
    auto *g = new QHBoxLayout(rbConditionsMemo);
    rbMemoStart = radio(rbConditionsMemo, "rbMemoStart", QStringLiteral("Start"));
    rbMemoEnd = radio(rbConditionsMemo, "rbMemoEnd", QStringLiteral("End"));
    rbMemoContains = radio(rbConditionsMemo, "rbMemoContains", QStringLiteral("Contains"));
    rbMemoIsExactly = radio(rbConditionsMemo, "rbMemoIsExactly", QStringLiteral("Is Exactly"));
    rbMemoIsNot = radio(rbConditionsMemo, "rbMemoIsNot", QStringLiteral("Is Not"));
    for (QRadioButton *r : {rbMemoStart, rbMemoEnd, rbMemoContains, rbMemoIsExactly, rbMemoIsNot}) {
        g->addWidget(r);
        connect(r, &QRadioButton::toggled, this, [this] { conditionChanged(); });
    }
    rbMemoIsExactly->setChecked(true);
    ui::tabOrder({memoStreetFind, cbIsBlankMemo, rbMemoStart, rbMemoEnd, rbMemoContains, rbMemoIsExactly, rbMemoIsNot,
                  memoStreetReplace, cbClearVlaueMemo});
    auto *findChecks = new QHBoxLayout;
    findChecks->addWidget(cbIsBlankMemo);
    findChecks->addWidget(lbIsBlankMemo);
    auto *replaceChecks = new QHBoxLayout;
    replaceChecks->addWidget(cbClearVlaueMemo);
    replaceChecks->addWidget(lbClearVlaueMemo);
    grid->addWidget(memoStreetFind, 0, 0);
    grid->addLayout(findChecks, 0, 1);
    grid->addWidget(rbConditionsMemo, 1, 0, 1, 2);
    grid->addWidget(memoStreetReplace, 2, 0);
    grid->addLayout(replaceChecks, 2, 1);
    connect(memoStreetFind, &QPlainTextEdit::textChanged, this, [this] {
        if (loading_)
            return;
        cbIsBlankMemo->setChecked(false);
        conditionChanged();
    });
    connect(memoStreetReplace, &QPlainTextEdit::textChanged, this, [this] {
        if (loading_)
            return;
        cbClearVlaueMemo->setChecked(false);
        conditionChanged();
    });
    return page;
}

QWidget *TfrmFindAndReplace::buildCountryPage()
{
    auto *page = named(new QWidget, "TabSheetCountry");
    auto *grid = new QGridLayout(page);
    cbCountry = named(new QComboBox(page), "cbCountry");
    cbCountryTo = named(new QComboBox(page), "cbCountryTo");
    cbCountry->setAccessibleName(QStringLiteral("Find"));
    cbCountryTo->setAccessibleName(QStringLiteral("Replace With"));
    cbIsBlankCountry = check(page, "cbIsBlankCountry", kNotSet);
    cbClearVlaueCountry = check(page, "cbClearVlaueCountry", QStringLiteral("  Clear Value"));
    gbCountryWhere = named(new QGroupBox(QStringLiteral(" where value "), page), "gbCountryWhere");
    auto *g = new QHBoxLayout(gbCountryWhere);
    rbCountryExactly = radio(gbCountryWhere, "rbCountryExactly", QStringLiteral("Is Exactly"));
    rbCountryNot = radio(gbCountryWhere, "rbCountryNot", QStringLiteral("Is Not"));
    g->addWidget(rbCountryExactly);
    g->addWidget(rbCountryNot);
    rbCountryExactly->setChecked(true);
    ui::tabOrder({cbCountry, cbIsBlankCountry, rbCountryExactly, rbCountryNot, cbCountryTo, cbClearVlaueCountry});
    for (QRadioButton *r : {rbCountryExactly, rbCountryNot})
        connect(r, &QRadioButton::toggled, this, [this] { conditionChanged(); });
    grid->addWidget(cbCountry, 0, 0);
    grid->addWidget(cbIsBlankCountry, 0, 1);
    grid->addWidget(gbCountryWhere, 1, 0, 1, 2);
    grid->addWidget(cbCountryTo, 2, 0);
    grid->addWidget(cbClearVlaueCountry, 2, 1);
    connect(cbCountry, &QComboBox::activated, this, [this] {
        cbIsBlankCountry->setChecked(false);
        conditionChanged();
    });
    connect(cbCountryTo, &QComboBox::activated, this, [this] {
        cbClearVlaueCountry->setChecked(false);
        conditionChanged();
    });
    return page;
}

QWidget *TfrmFindAndReplace::buildManagerPage()
{
    auto *page = named(new QWidget, "TabSheetManager");
    auto *grid = new QGridLayout(page);
    ebManagerWhat = named(new QLineEdit(page), "ebManagerWhat");
    ebManagerWhat->setReadOnly(true);
    ebManagerWhat->setAccessibleName(QStringLiteral("Find"));
    sbFindWhatManager = named(new QToolButton(page), "sbFindWhatManager");
    sbFindWhatManager->setText(QStringLiteral(" ..."));
    lbFindWhatCN = named(new QLabel(page), "lbFindWhatCN");
    ui::setHint(lbFindWhatCN, QStringLiteral("Common  Name"));
    cbIsBlankManager = check(page, "cbIsBlankManager", kNotSet);
    gbMamager = named(new QGroupBox(QStringLiteral(" where value "), page), "gbMamager");
    auto *g = new QHBoxLayout(gbMamager);
    rbManagerIs = radio(gbMamager, "rbManagerIs", QStringLiteral("Is Exactly"));
    rbManagerIsNot = radio(gbMamager, "rbManagerIsNot", QStringLiteral("Is Not"));
    g->addWidget(rbManagerIs);
    g->addWidget(rbManagerIsNot);
    rbManagerIs->setChecked(true);
    for (QRadioButton *r : {rbManagerIs, rbManagerIsNot})
        connect(r, &QRadioButton::toggled, this, [this] { conditionChanged(); });
    ebManagerReplaceWith = named(new QLineEdit(page), "ebManagerReplaceWith");
    ebManagerReplaceWith->setReadOnly(true);
    ebManagerReplaceWith->setAccessibleName(QStringLiteral("Replace With"));
    sbReplaceWithManager = named(new QToolButton(page), "sbReplaceWithManager");
    sbReplaceWithManager->setText(QStringLiteral(" ..."));
    lbReplaceWithCN = named(new QLabel(page), "lbReplaceWithCN");
    ui::setHint(lbReplaceWithCN, QStringLiteral("Common  Name"));
    cbClearValueManager = check(page, "cbClearValueManager", QStringLiteral("  Clear Value"));
    grid->addWidget(ebManagerWhat, 0, 0);
    grid->addWidget(sbFindWhatManager, 0, 1);
    grid->addWidget(cbIsBlankManager, 0, 2);
    grid->addWidget(lbFindWhatCN, 1, 0, 1, 3);
    grid->addWidget(gbMamager, 2, 0, 1, 3);
    grid->addWidget(ebManagerReplaceWith, 3, 0);
    grid->addWidget(sbReplaceWithManager, 3, 1);
    grid->addWidget(cbClearValueManager, 3, 2);
    grid->addWidget(lbReplaceWithCN, 4, 0, 1, 3);
    connect(sbFindWhatManager, &QToolButton::clicked, this, [this] { sbFindWhatManagerClick(); });
    connect(sbReplaceWithManager, &QToolButton::clicked, this, [this] { sbReplaceWithManagerClick(); });
    return page;
}

QWidget *TfrmFindAndReplace::buildBooleansPage()
{
    auto *page = named(new QWidget, "TabSheetBooleans");
    auto *grid = new QGridLayout(page);
    cbFindBoolean = named(new QComboBox(page), "cbFindBoolean");
    cbFindBoolean->addItems({QStringLiteral("TRUE"), QStringLiteral("FALSE")});
    cbFindBoolean->setCurrentIndex(-1);
    cbFindBoolean->setAccessibleName(QStringLiteral("Find"));
    cbValueIsNotSetBoolean = check(page, "cbValueIsNotSetBoolean", kNotSet);
    cbReplaceBoolean = named(new QComboBox(page), "cbReplaceBoolean");
    cbReplaceBoolean->addItems({QStringLiteral("TRUE"), QStringLiteral("FALSE")});
    cbReplaceBoolean->setCurrentIndex(0);
    cbReplaceBoolean->setAccessibleName(QStringLiteral("Replace With"));
    cbClearValueBoolean = check(page, "cbClearValueBoolean", QStringLiteral("  Clear Value"));
    grid->addWidget(cbFindBoolean, 0, 0);
    grid->addWidget(cbValueIsNotSetBoolean, 0, 1);
    grid->addWidget(cbReplaceBoolean, 1, 0);
    grid->addWidget(cbClearValueBoolean, 1, 1);
    connect(cbFindBoolean, &QComboBox::activated, this, [this] {
        cbValueIsNotSetBoolean->setChecked(false);
        conditionChanged();
    });
    connect(cbReplaceBoolean, &QComboBox::activated, this, [this] {
        cbClearValueBoolean->setChecked(false);
        conditionChanged();
    });
    return page;
}

void TfrmFindAndReplace::buildWidgets()
{
    auto *layout = new QVBoxLayout(this);
    auto *containerBox = named(new QGroupBox(QStringLiteral(" Selected Container "), this), "gbSelectedContainer");
    auto *cl = new QHBoxLayout(containerBox);
    lbSelectesContainer = named(new QLabel(containerBox), "lbSelectesContainer");
    cl->addWidget(lbSelectesContainer, 1);
    layout->addWidget(containerBox);

    auto *rules = named(new QWidget(this), "pnRules");
    auto *rl = new QVBoxLayout(rules);
    rl->setContentsMargins(0, 0, 0, 0);
    auto *attrRow = new QHBoxLayout;
    auto *lbAttribute = new QLabel(QStringLiteral("In Attribute:"), rules);
    attrRow->addWidget(lbAttribute);
    cbAttributes = named(new QComboBox(rules), "cbAttributes");
    lbAttribute->setBuddy(cbAttributes);
    attrRow->addWidget(cbAttributes, 1);
    sbExtraRestriction = named(new QPushButton(QStringLiteral("Extra Restriction"), rules), "sbExtraRestriction");
    btSee = named(new QPushButton(QStringLiteral("Show Query "), rules), "btSee");
    attrRow->addWidget(sbExtraRestriction);
    attrRow->addWidget(btSee);
    rl->addLayout(attrRow);
    PageControlCondition = named(new QStackedWidget(rules), "PageControlCondition");
    TabSheetMain = buildMainPage();
    TabSheetMemo = buildMemoPage();
    TabSheetCountry = buildCountryPage();
    TabSheetManager = buildManagerPage();
    TabSheetBooleans = buildBooleansPage();
    for (QWidget *p : {TabSheetMain, TabSheetMemo, TabSheetCountry, TabSheetManager, TabSheetBooleans})
        PageControlCondition->addWidget(p);
    // The conditions take the height they need; the result list below takes the rest.
    PageControlCondition->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    rl->addWidget(PageControlCondition);
    layout->addWidget(rules);

    for (QCheckBox *c : {cbIsBlank, cbClearVlaue, cbIsBlankMemo, cbClearVlaueMemo, cbIsBlankCountry, cbClearVlaueCountry,
                         cbIsBlankManager, cbClearValueManager, cbValueIsNotSetBoolean, cbClearValueBoolean})
        connect(c, &QCheckBox::clicked, this, [this] {
            applyGreying();
            conditionChanged();
        });

    auto *buttons = new QHBoxLayout;
    sbPreview = named(new QPushButton(QStringLiteral("Preview"), this), "sbPreview");
    sbApply = named(new QPushButton(QStringLiteral("Apply"), this), "sbApply");
    sbStop = named(new QPushButton(QStringLiteral("Stop"), this), "sbStop");
    btSaveLog = named(new QPushButton(QStringLiteral("Save Actions To Log File"), this), "btSaveLog");
    btClose = named(new QPushButton(QStringLiteral("&Close"), this), "btClose");
    for (QPushButton *b : {sbPreview, sbApply, sbStop, btSaveLog})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(btClose);
    layout->addLayout(buttons);
    sbApply->setEnabled(false);
    sbStop->setEnabled(false);

    ListView = named(new QTreeWidget(this), "ListView");
    ListView->setRootIsDecorated(false);
    ListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView->setSortingEnabled(false);
    ListView->setUniformRowHeights(true);
    ListView->header()->setMinimumSectionSize(75);
    ListView->setAccessibleName(QStringLiteral("Preview"));
    layout->addWidget(ListView, 1);

    JvStatusBar = named(new QStatusBar(this), "JvStatusBar");
    JvStatusBar->setSizeGripEnabled(false);
    statusPanel1 = named(new QLabel(JvStatusBar), "StatusPanel0");
    statusPanel2 = named(new QLabel(JvStatusBar), "StatusPanel1");
    JvStatusBar->addWidget(statusPanel1, 1);
    JvStatusBar->addWidget(statusPanel2, 1);
    layout->addWidget(JvStatusBar);

    connect(cbAttributes, &QComboBox::currentIndexChanged, this, [this] {
        if (!listBusy_)
            cbAttributesChange();
    });
    connect(sbPreview, &QPushButton::clicked, this, [this] { sbPreviewClick(); });
    connect(sbApply, &QPushButton::clicked, this, [this] { sbApplyClick(); });
    connect(sbStop, &QPushButton::clicked, this, [this] { sbStopClick(); });
    connect(btSee, &QPushButton::clicked, this, [this] { btSeeClick(); });
    connect(btSaveLog, &QPushButton::clicked, this, [this] { btSaveLogClick(); });
    connect(btClose, &QPushButton::clicked, this, [this] { btCloseClick(); });
    connect(sbExtraRestriction, &QPushButton::clicked, this, [this] { sbExtraRestrictionClick(); });
    connect(ListView, &QTreeWidget::itemPressed, this, [this](QTreeWidgetItem *item) {
        ListViewRowPressed(ListView->indexOfTopLevelItem(item));
    });
    ui::setupWindow(this, QSize(760, 560));
}

void TfrmFindAndReplace::setContainer(const QString &path, const QString &displayPath, bool isRoot)
{
    containerPath_ = path;
    containerIsRoot_ = isRoot;
    lbSelectesContainer->setText(path.isEmpty() ? QStringLiteral("<none>") : displayPath);
}

void TfrmFindAndReplace::setExtraRestriction(const QString &filter, bool fromBuilder)
{
    extra_ = filter;
    extraFromBuilder_ = fromBuilder;
}

void TfrmFindAndReplace::fillAttributes(bool schemaLoaded, const QStringList &schemaNames)
{
    listBusy_ = true;
    attributes_ = offeredAttributes(schemaLoaded, schemaNames);
    cbAttributes->clear();
    for (const Attribute &a : attributes_)
        cbAttributes->addItem(a.caption(), a.key());
    listBusy_ = false;
    cbAttributes->setCurrentIndex(attributes_.empty() ? -1 : 0);
    cbAttributesChange();
}

const Attribute *TfrmFindAndReplace::chosenAttribute() const
{
    const int i = cbAttributes->currentIndex();
    if (i < 0 || i >= static_cast<int>(attributes_.size()))
        return nullptr;
    return &attributes_[static_cast<std::size_t>(i)];
}

void TfrmFindAndReplace::cbAttributesChange()
{
    const Attribute *a = chosenAttribute();
    const Page page = a ? a->page : Page::Main;
    QWidget *pages[] = {TabSheetMain, TabSheetMemo, TabSheetCountry, TabSheetManager, TabSheetBooleans};
    PageControlCondition->setCurrentWidget(pages[static_cast<int>(page)]);
    pageShown(page);
    clearRows();
    rebuildColumns();
    sbApply->setEnabled(false);
    setStatus(QString());
    previewMode_ = true;
    applyGreying();
}

void TfrmFindAndReplace::pageShown(Page page)
{
    loading_ = true;
    switch (page) {
    case Page::Main:
        ebFind->clear();
        ebReplace->clear();
        break;
    case Page::Memo:
        memoStreetFind->clear();
        memoStreetReplace->clear();
        break;
    case Page::Country:
        if (!countriesFilled_) {
            for (const CountryISO &c : catalogue::countries()) {
                cbCountry->addItem(c.name.toString());
                cbCountryTo->addItem(c.name.toString());
            }
            cbCountryTo->setCurrentIndex(0);
            countriesFilled_ = true;
        }
        cbCountry->setCurrentIndex(-1);
        break;
    case Page::Manager:
        ebManagerWhat->clear();
        ebManagerReplaceWith->clear();
        lbFindWhatCN->clear();
        lbReplaceWithCN->clear();
        break;
    case Page::Booleans:
        break;
    }
    loading_ = false;
}

void TfrmFindAndReplace::conditionChanged()
{
    if (loading_)
        return;
    sbApply->setEnabled(false);
    setStatus(QString());
}

void TfrmFindAndReplace::applyGreying()
{
    if (running_)
        return;
    loading_ = true;
    ebFind->setEnabled(!cbIsBlank->isChecked());
    gbConditions->setEnabled(!cbIsBlank->isChecked());
    ebReplace->setEnabled(!cbClearVlaue->isChecked());

    const bool noCountry = cbIsBlankCountry->isChecked();
    cbCountry->setEnabled(!noCountry);
    gbCountryWhere->setEnabled(!noCountry);
    if (noCountry)
        cbCountry->setCurrentIndex(-1);
    const bool clearCountry = cbClearVlaueCountry->isChecked();
    cbCountryTo->setEnabled(!clearCountry);
    if (clearCountry)
        cbCountryTo->setCurrentIndex(-1);
    else if (cbCountryTo->currentIndex() < 0 && cbCountryTo->count() > 0)
        cbCountryTo->setCurrentIndex(0);

    const bool noManager = cbIsBlankManager->isChecked();
    ebManagerWhat->setEnabled(!noManager);
    gbMamager->setEnabled(!noManager);
    sbFindWhatManager->setEnabled(!noManager);
    const bool clearManager = cbClearValueManager->isChecked();
    ebManagerReplaceWith->setEnabled(!clearManager);
    sbReplaceWithManager->setEnabled(!clearManager);

    const bool noBoolean = cbValueIsNotSetBoolean->isChecked();
    cbFindBoolean->setEnabled(!noBoolean);
    if (noBoolean)
        cbFindBoolean->setCurrentIndex(-1);
    const bool clearBoolean = cbClearValueBoolean->isChecked();
    cbReplaceBoolean->setEnabled(!clearBoolean);
    if (clearBoolean)
        cbReplaceBoolean->setCurrentIndex(-1);
    else if (cbReplaceBoolean->currentIndex() < 0)
        cbReplaceBoolean->setCurrentIndex(0);
    loading_ = false;
}

bool TfrmFindAndReplace::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease && (watched == lbIsBlankMemo || watched == lbClearVlaueMemo)) {
        QCheckBox *box = watched == lbIsBlankMemo ? cbIsBlankMemo : cbClearVlaueMemo;
        if (box->isEnabled()) {
            box->setChecked(!box->isChecked());
            conditionChanged();
        }
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

Rule TfrmFindAndReplace::currentRule() const
{
    Rule r;
    if (const Attribute *a = chosenAttribute())
        r.attribute = *a;
    switch (r.attribute.page) {
    case Page::Main:
        r.find = ebFind->text();
        r.valueNotSet = cbIsBlank->isChecked();
        r.where = rbStart->isChecked()      ? Where::Start
                  : rbEnd->isChecked()      ? Where::End
                  : rbContains->isChecked() ? Where::Contains
                  : rbIsNot->isChecked()    ? Where::IsNot
                                            : Where::IsExactly;
        r.replace = ebReplace->text();
        r.clear = cbClearVlaue->isChecked();
        break;
    case Page::Memo:
        r.find = memoStreetFind->toPlainText();
        r.valueNotSet = cbIsBlankMemo->isChecked();
        r.where = rbMemoStart->isChecked()      ? Where::Start
                  : rbMemoEnd->isChecked()      ? Where::End
                  : rbMemoContains->isChecked() ? Where::Contains
                  : rbMemoIsNot->isChecked()    ? Where::IsNot
                                                : Where::IsExactly;
        r.replace = memoStreetReplace->toPlainText();
        r.clear = cbClearVlaueMemo->isChecked();
        break;
    case Page::Country:
        r.findCountry = cbCountry->currentIndex();
        r.valueNotSet = cbIsBlankCountry->isChecked();
        r.where = rbCountryNot->isChecked() ? Where::IsNot : Where::IsExactly;
        r.replaceCountry = cbCountryTo->currentIndex();
        r.clear = cbClearVlaueCountry->isChecked();
        break;
    case Page::Manager:
        r.find = ebManagerWhat->text();
        r.valueNotSet = cbIsBlankManager->isChecked();
        r.where = rbManagerIsNot->isChecked() ? Where::IsNot : Where::IsExactly;
        r.replace = ebManagerReplaceWith->text();
        r.clear = cbClearValueManager->isChecked();
        break;
    case Page::Booleans:
        r.find = cbFindBoolean->currentIndex() >= 0 ? cbFindBoolean->currentText() : QString();
        r.valueNotSet = cbValueIsNotSetBoolean->isChecked();
        r.replace = cbReplaceBoolean->currentIndex() >= 0 ? cbReplaceBoolean->currentText() : QString();
        r.clear = cbClearValueBoolean->isChecked();
        break;
    }
    return r;
}

void TfrmFindAndReplace::setStatus(const QString &text) { statusPanel1->setText(text); }

QString TfrmFindAndReplace::statusText() const { return statusPanel1->text(); }

void TfrmFindAndReplace::pumpEvents(bool force)
{
    // Letting the window handle input after every row costs more than a row when the
    // directory answers fast; every 15 ms keeps Stop and the list just as responsive.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (!force && now - lastPump_ < 15)
        return;
    lastPump_ = now;
    QCoreApplication::processEvents();
}

void TfrmFindAndReplace::setRunning(bool on)
{
    running_ = on;
    // Everything but the rules group and Stop is disabled while a run goes on.
    for (QWidget *w : std::initializer_list<QWidget *>{cbAttributes, sbExtraRestriction, btSee, sbPreview, sbApply,
                                                      btSaveLog, PageControlCondition})
        w->setEnabled(!on);
    sbStop->setEnabled(on);
    if (!on)
        applyGreying();
}

void TfrmFindAndReplace::clearRows()
{
    listBusy_ = true;
    ListView->clear();
    {
        // Freeing listed rows happens under the process lock, as for the main window's list.
        QMutexLocker lock(&ProcessLock());
        rows_.clear();
    }
    listBusy_ = false;
}

void TfrmFindAndReplace::rebuildColumns()
{
    const Attribute *a = chosenAttribute();
    const QString caption = a ? a->caption() : QString();
    ListView->setColumnCount(3);
    ListView->setHeaderLabels({QStringLiteral("Common Name"), caption + QStringLiteral(" [Current]"),
                               caption + QStringLiteral(" [Target]")});
    for (int c = 0; c < 3; ++c)
        ListView->setColumnWidth(c, 200);
}

void TfrmFindAndReplace::addListRow(int index)
{
    auto *item = new QTreeWidgetItem(ListView);
    // The tick follows the row's flag, which a press flips (ListViewRowPressed); the check
    // box itself must not toggle it a second time.
    item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
    updateListRow(index);
}

void TfrmFindAndReplace::updateListRow(int index)
{
    QTreeWidgetItem *item = ListView->topLevelItem(index);
    if (!item || index < 0 || index >= static_cast<int>(rows_.size()))
        return;
    const Row &r = rows_[static_cast<std::size_t>(index)];
    item->setText(0, r.cn);
    item->setText(1, ui::displayText(r.currentShown()));
    item->setText(2, ui::displayText(r.targetShown()));
    item->setCheckState(0, r.selected ? Qt::Checked : Qt::Unchecked);
    item->setToolTip(0, r.outcome.isEmpty() ? r.dn : r.dn + QLatin1Char('\n') + r.outcome);
    QIcon icon;
    if (!previewMode_ && r.selected) {
        QStyle *s = style();
        switch (r.status) {
        case Succeeded: icon = s->standardIcon(QStyle::SP_DialogApplyButton); break;
        case Failed: icon = s->standardIcon(QStyle::SP_MessageBoxCritical); break;
        case Skipped: icon = s->standardIcon(QStyle::SP_MessageBoxWarning); break;
        case NotKnown: icon = s->standardIcon(QStyle::SP_MessageBoxQuestion); break;
        case NotDone: icon = s->standardIcon(QStyle::SP_BrowserStop); break;
        default: break;
        }
    }
    item->setIcon(1, icon);
}

void TfrmFindAndReplace::ListViewRowPressed(int row)
{
    if (!previewMode_ || running_ || row < 0 || row >= static_cast<int>(rows_.size()))
        return;
    Row &r = rows_[static_cast<std::size_t>(row)];
    r.selected = !r.selected;
    updateListRow(row);
}

void TfrmFindAndReplace::sbPreviewClick()
{
    if (running_)
        return;
    setRunning(true);
    previewMode_ = true;
    clearRows();
    setStatus(QStringLiteral("   %1 items are available").arg(0));

    Rule rule = currentRule();
    const Page page = rule.attribute.page;
    // An empty replace text means Clear Value, shown as such.
    if ((page == Page::Main || page == Page::Memo || page == Page::Manager) && rule.replace.trimmed().isEmpty()) {
        QCheckBox *clearBox = page == Page::Main ? cbClearVlaue : page == Page::Memo ? cbClearVlaueMemo : cbClearValueManager;
        clearBox->setChecked(true);
        rule.clear = true;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    stopRequested_ = false;
    ReplaceRun run(ctx_);
    bool stopped = false;
    const QString error = run.preview(rule, containerPath_, containerIsRoot_, extra_, [&](Row &&row) {
        listBusy_ = true;
        rows_.push_back(std::move(row));
        addListRow(static_cast<int>(rows_.size()) - 1);
        listBusy_ = false;
        QString text = QStringLiteral("   %1 items are available").arg(rows_.size());
        pumpEvents();
        if (stopRequested_) {
            text += QStringLiteral(" [STOPPED!]");
            stopped = true;
        }
        setStatus(text);
        return !stopped;
    });
    QApplication::restoreOverrideCursor();
    previewRule_ = rule;
    setRunning(false);
    sbStop->setEnabled(false);
    // A refused rule or value leaves nothing to apply, whatever was listed before it.
    sbApply->setEnabled(!rows_.empty() && !run.refused());
    if (!error.isEmpty())
        ui::Prompt::error(this, error, windowTitle());
    if (closeAfterRun_)
        close();
}

void TfrmFindAndReplace::sbApplyClick()
{
    if (running_ || rows_.empty())
        return;
    const int answer = ui::Prompt::message(
        this, QStringLiteral("Do you want to save the changes you have made?\r\nThere is no \u201Cundo\u201D after this point."),
        QStringLiteral("Do you want to save..."), ui::Icon::Question, ui::Button::Yes | ui::Button::No, ui::Button::Yes);
    if (answer != ui::Button::Yes)
        return;
    setRunning(true);
    btSaveLog->setEnabled(false);
    previewMode_ = false;
    stopRequested_ = false;

    ReplaceLog log;
    if (!logPath_.isEmpty()) {
        QString error;
        if (!log.open(logPath_, &error)) {
            setRunning(false);
            sbApply->setEnabled(true);
            sbStop->setEnabled(false);
            previewMode_ = true;
            ui::Prompt::error(this, error, windowTitle());
            return;
        }
    }
    const int total = static_cast<int>(rows_.size());
    progress = named(new QProgressBar(JvStatusBar), "ProgressBar");
    progress->setRange(0, std::max(0, total - 1));
    progress->setValue(0);
    statusPanel2->hide();
    JvStatusBar->addWidget(progress, 1);
    progress->show();

    ApplyHooks hooks;
    hooks.stopRequested = [this] {
        pumpEvents();
        return stopRequested_;
    };
    hooks.rowDone = [&](int index, int handled) {
        progress->setValue(index);
        setStatus(QStringLiteral("   %1 items of %2 are processed").arg(handled).arg(total));
        updateListRow(index);
    };
    ReplaceRun run(ctx_);
    lastApply_ = run.apply(previewRule_, rows_, log.isOpen() ? &log : nullptr, hooks);
    log.close();
    for (int i = 0; i < total; ++i)
        updateListRow(i);
    if (lastApply_.stopped)
        setStatus(statusText() + QStringLiteral(" [STOPPED!]"));
    JvStatusBar->removeWidget(progress);
    progress->deleteLater();
    progress = nullptr;
    statusPanel2->show();
    if (lastApply_.notKnown > 0)
        statusPanel2->setText(QStringLiteral("%1 not known (may have been applied), %2 not done: the server was lost")
                                  .arg(lastApply_.notKnown)
                                  .arg(lastApply_.notDone));
    else if (lastApply_.serverLost)
        statusPanel2->setText(QStringLiteral("%1 not done: the server was lost").arg(lastApply_.notDone));
    else if (lastApply_.journalRefused)
        statusPanel2->setText(QStringLiteral("%1 not done: the change journal could not be written").arg(lastApply_.notDone));
    else
        statusPanel2->setText(QStringLiteral("%1 succeeded, %2 failed, %3 skipped")
                                  .arg(lastApply_.succeeded)
                                  .arg(lastApply_.failed)
                                  .arg(lastApply_.skipped));
    // Change History lists the rows of this Apply under one run.
    statusPanel2->setToolTip(QStringLiteral("Change History: run %1").arg(lastApply_.journalRun));
    setRunning(false);
    sbApply->setEnabled(false);
    sbStop->setEnabled(false);
    btSaveLog->setEnabled(true);
    if (lastApply_.logFailed)
        ui::Prompt::error(this,
                          QStringLiteral("The log file could not be written: %1\r\nApply stopped there: the rows after "
                                         "the last one logged were not changed. Free some space or choose another "
                                         "log file, then Preview again.")
                              .arg(log.errorText()),
                          windowTitle());
    if (closeAfterRun_)
        close();
}

void TfrmFindAndReplace::sbStopClick() { stopRequested_ = true; }

void TfrmFindAndReplace::btSeeClick()
{
    const Rule rule = currentRule();
    if (rule.attribute.ldapName().isEmpty())
        return;
    QString error;
    QString q = fullQuery(rule, extra_, &error);
    if (q.isEmpty())
        q = error;
    TfrmQueryShow show(q, this);
    show.exec();
}

void TfrmFindAndReplace::btSaveLogClick()
{
    QString name = ui::Prompt::saveFileName(this, QStringLiteral("Save Replace Actions To..."), logPath_,
                                            QStringLiteral("Text Log File (*.txt)"));
    if (!name.isEmpty() && QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".TXT");
    logPath_ = name;
}

void TfrmFindAndReplace::btCloseClick()
{
    stopRequested_ = true;
    if (running_) {
        // The loop ends after its current row; the window closes then.
        closeAfterRun_ = true;
        return;
    }
    close();
}

void TfrmFindAndReplace::closeEvent(QCloseEvent *event)
{
    stopRequested_ = true;
    if (listBusy_ || running_) {
        closeAfterRun_ = running_;
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TfrmFindAndReplace::sbExtraRestrictionClick()
{
    if (!filterBuilder_)
        return;
    QString filter = extra_;
    bool fromBuilder = !extra_.isEmpty() && extraFromBuilder_;
    if (!filterBuilder_(this, filter, fromBuilder))
        return;
    if (filter.compare(extra_, Qt::CaseInsensitive) != 0) {
        extra_ = filter;
        extraFromBuilder_ = fromBuilder;
    }
    sbApply->setEnabled(false);
}

void TfrmFindAndReplace::sbFindWhatManagerClick()
{
    QString name, dn;
    if (!userPicker_ || !userPicker_(this, name, dn))
        return;
    lbFindWhatCN->setText(name);
    ebManagerWhat->setText(dn);
    cbIsBlankManager->setChecked(false);
    applyGreying();
    conditionChanged();
}

void TfrmFindAndReplace::sbReplaceWithManagerClick()
{
    QString name, dn;
    if (!userPicker_ || !userPicker_(this, name, dn))
        return;
    lbReplaceWithCN->setText(name);
    ebManagerReplaceWith->setText(dn);
    cbClearValueManager->setChecked(false);
    applyGreying();
    conditionChanged();
}
