#include "app/app.h"

#include <QCoreApplication>

#include "app/base_folder.h"
#include "app/settings_keys.h"
#include "app/settings_store.h"
#include "i18n/language.h"
#include "ui/lumaris_dlg.h"
#include "ui/platform_services.h"

CLumarisApp theApp;

CLumarisApp::CLumarisApp() = default;
CLumarisApp::~CLumarisApp() = default;

bool CLumarisApp::InitInstance() {
    m_store = std::make_unique<SettingsStore>(QString::fromLatin1(kCompanyKey),
                                              QCoreApplication::applicationName());
    const QString language = m_store->GetProfileString(settings::kOption, settings::kCurrentLanguage,
                                                       settings::kDefaultLanguage);
    const QString baseFolder = GetBaseFolder();
    g_Language.Initialize(baseFolder, language);

    {
        CLumarisDlg dialog(*m_store, QtPlatformServices());
        dialog.DoModal();
    }
    return false;
}
