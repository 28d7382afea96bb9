#pragma once

#include <QString>
#include <memory>

class PlatformServices;
class SettingsStore;

/// Loads the language the user chose last time (or English) from the language
/// folder under @p baseFolder into the language manager.
void StartLanguage(SettingsStore& store, PlatformServices& platform, const QString& baseFolder);

/// The application: opens the settings store, loads the language and runs the
/// main dialog.
class CLumarisApp {
public:
    /// The company key under which the settings store keeps the program's data.
    static constexpr const char* kCompanyKey = "VELTRIX";

    CLumarisApp();
    ~CLumarisApp();

    /// Runs the program to its end. Always false: there is no loop of its own
    /// after the dialog.
    bool InitInstance();

    /// The settings store; exists from InitInstance on.
    SettingsStore& Profile() { return *m_store; }

private:
    std::unique_ptr<SettingsStore> m_store;
};

/// The one application object.
extern CLumarisApp theApp;
