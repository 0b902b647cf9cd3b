#pragma once
// The " Last Logon" group that the filter builder and Find User share: "Accounts that"
// have / have not "logged in in the last" [cbDays] "days." [cbTogle "Toggle"].
// Library arv_query_find.
#include "query/lastlogon.h"

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLabel;

namespace query {

class TLastLogonBox : public QGroupBox {
    Q_OBJECT
public:
    explicit TLastLogonBox(QWidget *parent = nullptr);

    // Sets the attribute and the step; with lastLogon (one server only) the hint and the
    // text say so.
    void setRule(const LastLogonRule &rule);
    const LastLogonRule &rule() const { return rule_; }

    // The normalised day count (0 when the box is empty).
    int days() const;
    // Chooses a day count (0 empties the box); the text is normalised as on leaving it.
    void setDays(int days);
    bool toggled() const;
    void setToggled(bool on);
    // The term for the current choice, empty when no days are chosen.
    QString term(const QDate &today = QDate::currentDate()) const;
    // Empties the day box and clears Toggle.
    void clear();

    QComboBox *cbDays = nullptr;
    QCheckBox *cbTogle = nullptr;
    QLabel *lbHave = nullptr;

signals:
    // The day count or Toggle changed (after normalising).
    void changed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void normalise();
    void updateHaveLabel();
    LastLogonRule rule_;
    QLabel *labels_[3] = {nullptr, nullptr, nullptr};
    int lastDays_ = 0;
};

} // namespace query
