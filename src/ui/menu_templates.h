#pragma once

#include <QWidget>
#include <memory>

class QMenu;

namespace ui {

/// Loads menu resource @p id as a menu whose items are its top-level items;
/// command ids are in each action's data, separators and placeholders have 0.
/// nullptr when there is no such resource.
std::unique_ptr<QMenu> LoadMenu(int id, QWidget* parent);

}  // namespace ui
