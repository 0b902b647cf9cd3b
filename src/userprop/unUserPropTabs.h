#pragma once
// What the units of the user property dialog (unUserProp*.cpp) share among themselves; not
// for use outside this folder.
#include "platform/adsi/adsobject.h"

#include <QList>
#include <QPair>
#include <QString>

#include <functional>

class QGridLayout;
class QWidget;

namespace userprop::tabs {

inline const QString kAppTitle = QStringLiteral("Arvendel");

// The single text of attr in the object's cache; empty (and *ok false) when it has none.
QString cachedText(const ads::ObjectPtr &o, const QString &attr, bool *ok = nullptr);

// Rows of captioned editors; an "Other..." button beside the editors that have one.
void addRows(QWidget *owner, QGridLayout *grid, int &row, const QList<QPair<const char *, QWidget *>> &rows,
             const std::function<void(const QString &, int)> &other);

} // namespace userprop::tabs
