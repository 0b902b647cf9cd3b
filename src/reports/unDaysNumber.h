#pragma once
// The parameter dialog of the days and group reports: "  Please, specify the number of days"
// (a drop-down list of day counts with the report's wording) or "    Please, specify the
// Group..." (the domain's groups).
#include "reports/unReportCatalogue.h"
#include "reports/unReportRun.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace reports {

class TfrmDaysNumber : public QDialog {
    Q_OBJECT
public:
    // The days page; presetDays is the number typed last time (empty: the first of the list).
    TfrmDaysNumber(const ReportInfo &report, const DomainSettings &domain, const QString &presetDays,
                   QWidget *parent = nullptr);
    // The group page with the domain's groups; presetName chooses the previously chosen group.
    TfrmDaysNumber(const ReportInfo &report, const QList<GroupChoice> &groups, const QString &presetName,
                   QWidget *parent = nullptr);

    // The days as the checks left them (a text that is no number, or one below the step,
    // becomes the step).
    QString daysText() const;
    // The chosen group; nullptr when the list is empty.
    const GroupChoice *group() const;

    void cbDaysCloseUp();
    void btOKClick();

protected:
    void done(int result) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void build(bool daysPage);
    void checkDays();

    ReportInfo report_;
    int checkStep_ = 1;
    QList<GroupChoice> groups_;
    QComboBox *cbDays = nullptr;
    QLabel *lbHaveNot = nullptr;
    QLabel *lbLoggedTheLast = nullptr;
    QListWidget *lbGroups = nullptr;
    QPushButton *btOK = nullptr;
    QPushButton *btCancel = nullptr;
};

} // namespace reports
