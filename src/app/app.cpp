#include "app/app.h"

#include <QCoreApplication>

#include "app/base_folder.h"
#include "app/settings_keys.h"
#include "app/settings_store.h"
#include "i18n/language.h"
#include "ui/lumaris_dlg.h"
#include "ui/platform_services.h"

CLumarisApp theApp;

void StartLanguage(SettingsStore& store, PlatformServices& platform, const QString& baseFolder) {
    const QString language =
        store.GetProfileString(settings::kOption, settings::kCurrentLanguage, settings::kDefaultLanguage);
    g_Language.SetServices(&store, &platform);
    g_Language.Initialize(baseFolder, language);
}

CLumarisApp::CLumarisApp() = default;
CLumarisApp::~CLumarisApp() = default;

bool CLumarisApp::InitInstance() {
    m_store = std::make_unique<SettingsStore>(QString::fromLatin1(kCompanyKey),
                                              QCoreApplication::applicationName());
    StartLanguage(*m_store, QtPlatformServices(), GetBaseFolder());

    {
        CLumarisDlg dialog(*m_store, QtPlatformServices());
        dialog.DoModal();
    }
    g_Language.SetServices(nullptr, nullptr);
    return false;
}
