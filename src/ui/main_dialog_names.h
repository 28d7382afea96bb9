#pragma once

// The names of the layers below, as the main dialog's files use them; only
// those files include this.

#include "frontend/size_rules.h"
#include "host/base_folder.h"
#include "i18n/language.h"
#include "resources/resource.h"
#include "resources/texts.h"
#include "settings/keys.h"
#include "settings/stored_font.h"

namespace ui {

using frontend::ParseIntField;
using host::FileExists;
using host::FolderOf;
using host::PathSeparator;
using i18n::g_Language;
using res::FormatMessage;
using namespace res;

}  // namespace ui
