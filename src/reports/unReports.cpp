#include "reports/unReports.h"

#include "core/unValues.h"
#include "main/unMain.h"
#include "options/unOptions.h"
#include "reports/unReportRun.h"
#include "reports/unReportsStore.h"
#include "ui/windowlayout.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace reports {

namespace {
std::function<void(TfrmReportsStore &)> &storeHook()
{
    static std::function<void(TfrmReportsStore &)> h;
    return h;
}
const char *const kTabNames[] = {"tsGroups", "tsUsers", "tsUsers2", "tsUsers3", "tsExchange"};
} // namespace

void TfrmReports::setStoreHook(std::function<void(TfrmReportsStore &)> hook) { storeHook() = std::move(hook); }

TfrmReports::TfrmReports(const DomainSettings &domain, QWidget *parent) : QDialog(parent), domain_(domain)
{
    setObjectName(QStringLiteral("TfrmReports"));
    ui::setupWindow(this);
    setWindowTitle(QStringLiteral("  Reports"));
    auto *layout = new QVBoxLayout(this);
    pcReports = new QTabWidget(this);
    pcReports->setObjectName(QStringLiteral("pcReports"));
    const QList<TabInfo> &list = reports::tabs();
    for (int t = 0; t < list.size(); ++t) {
        if (t == kExchangeTab && !domain_.exchange)
            break;
        auto *page = new QWidget(pcReports);
        page->setObjectName(QString::fromLatin1(kTabNames[t]));
        auto *v = new QVBoxLayout(page);
        auto *group = new QButtonGroup(page);
        for (int i = 0; i < list[t].items.size(); ++i) {
            auto *rb = new QRadioButton(list[t].items[i], page);
            rb->setObjectName(QStringLiteral("rbReport%1").arg(list[t].offset + i));
            group->addButton(rb, list[t].offset + i);
            v->addWidget(rb);
            if (i == 0)
                rb->setChecked(true);
        }
        v->addStretch();
        groups_ << group;
        pcReports->addTab(page, list[t].caption);
    }
    pcReports->setCurrentIndex(1);
    layout->addWidget(pcReports);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    auto *btOpenReport = new QPushButton(QStringLiteral("Open Report"), this);
    btOpenReport->setObjectName(QStringLiteral("btOpenReport"));
    btOpenReport->setDefault(true);
    auto *btClose = new QPushButton(QStringLiteral("Close"), this);
    btClose->setObjectName(QStringLiteral("btClose"));
    buttons->addWidget(btOpenReport);
    buttons->addWidget(btClose);
    layout->addLayout(buttons);
    connect(btOpenReport, &QPushButton::clicked, this, &TfrmReports::btOpenReportClick);
    connect(btClose, &QPushButton::clicked, this, &QDialog::reject);
    options::ApplyWindowFont(this);
}

int TfrmReports::chosenReport() const
{
    const int t = pcReports->currentIndex();
    return t >= 0 && t < groups_.size() ? groups_[t]->checkedId() : -1;
}

void TfrmReports::btOpenReportClick()
{
    const int number = chosenReport();
    if (!reportByNumber(number))
        return;
    TfrmReportsStore store(number, domain_, this);
    if (!store.prepare())
        return;  // it said why
    if (storeHook())
        storeHook()(store);
    store.exec();
}

void wireMainWindow(TfrmMain &main)
{
    TfrmMain *w = &main;
    main.setActionHandler(main.ActionReports, [w] {
        // The reports need the complete attribute list of the schema.
        if (w->schemaThreadsRunning() || !SchemaLoaded())
            return;
        DomainSettings domain = readDomainSettings();
        domain.exchange = DomainFacts().ExchangePresent;
        TfrmReports dlg(domain, w);
        dlg.exec();
    });
}

} // namespace reports
