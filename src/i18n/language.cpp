#include "i18n/language.h"

#include "resources/string_table.h"

CLanguage g_Language;

CLanguage::CLanguage() : m_strCurrentLanguage(QStringLiteral("english")) {}

bool CLanguage::Initialize(const QString& baseFolder, const QString& name) {
    m_strBaseFolder = baseFolder;
    return SelectLanguage(name);
}

bool CLanguage::SelectLanguage(const QString& name) {
    m_strCurrentLanguage = name;
    return true;
}

QString CLanguage::GetString(int id) const { return res::LoadBuiltinString(id); }
