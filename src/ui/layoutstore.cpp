#include "ui/layoutstore.h"

#include "platform/registry/registry.h"

namespace ui {

QString windowLayoutKey()
{
    return registry::kProgramRoot + QStringLiteral("\\WindowLayout");
}

QStringList rememberedWindows()
{
    registry::Key k;
    if (!k.open(windowLayoutKey(), registry::Access::Read, false))
        return {};
    return k.subKeyNames();
}

bool forgetWindowLayouts(QString *error)
{
    if (registry::keyExists(windowLayoutKey()) && !registry::deleteKey(windowLayoutKey())) {
        if (error)
            *error = QStringLiteral("The remembered window layouts could not be removed from %1.").arg(registry::storeFile());
        return false;
    }
    return true;
}

} // namespace ui
