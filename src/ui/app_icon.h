#pragma once

#include <QIcon>

/// The application icon (resource 128) in all its drawn sizes.
QIcon LoadAppIcon();
