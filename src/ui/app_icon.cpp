#include "ui/app_icon.h"

// The icons live in the interface library; a static library's resources must
// be registered by hand before first use, from outside any namespace.
static void InitIconResources() {
    Q_INIT_RESOURCE(tessiva);
}

namespace ui {

QIcon LoadAppIcon() {
    static const bool registered = (InitIconResources(), true);
    Q_UNUSED(registered);
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/tessiva-%1.png").arg(size), QSize(size, size));
    return icon;
}

}  // namespace ui
