#pragma once

// The names of the layers below, as the main dialog's files use them; only
// those files include this.

#include "app/base_folder.h"
#include "app/settings_keys.h"
#include "font/log_font.h"
#include "i18n/language.h"
#include "imaging/size_rules.h"
#include "resources/resource.h"
#include "resources/texts.h"

namespace ui {

namespace settings = app::settings;
using app::FileExists;
using app::FolderOf;
using app::PathSeparator;
using font::ColorFromColorRef;
using font::ColorRefFromColor;
using font::LogFont;
using font::LogFontFromQFont;
using font::QFontFromLogFont;
using font::ReadLogFont;
using font::WriteLogFont;
using i18n::FormatMessage;
using i18n::g_Language;
using imaging::ParseIntField;
using namespace res;

}  // namespace ui
