#pragma once

#include <QIcon>

namespace ui {

/// The application icon (resource 128) in all its drawn sizes.
QIcon LoadAppIcon();

}  // namespace ui
