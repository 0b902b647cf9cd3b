#pragma once
// The look of editors that the logged-on account may or may not write.
#include <QStringList>

class QWidget;

namespace ui {

// Enables an edit, memo or combo box when the account may write its attribute, and gives a
// disabled one the pale read-only background (red F7, green FF, blue FF) while keeping its
// text in the normal window text colour, so read-only values stay readable.
void setWritableLook(QWidget *control, bool writable);

// setWritableLook with writable = the attribute name is in the writable set (the upper-cased
// allowedAttributesEffective values of the bound object).
void EnableForAttribute(QWidget *control, const QStringList &writableSet, const QString &name);

} // namespace ui
