#pragma once
// The icons of users and groups in the program's lists (the finder, the recipient lists, the
// batch export sample), one look everywhere.
#include <QIcon>

namespace ui {

QIcon userIcon();
QIcon groupIcon();

} // namespace ui
