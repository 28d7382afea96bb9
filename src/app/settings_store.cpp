#include "app/settings_store.h"

#include <QSettings>
#include <QStringList>
#include <QVariant>
#include <optional>

namespace app {

namespace {

QString KeyPath(const QString& section, const QString& key) {
    return section + u'/' + key;
}

}  // namespace

std::optional<int32_t> ParseStoredInt(QStringView text) {
    const QStringView trimmed = text.trimmed();
    if (trimmed.isEmpty()) return std::nullopt;
    qsizetype i = 0;
    const bool negative = trimmed[0] == u'-';
    if (trimmed[0] == u'-' || trimmed[0] == u'+') ++i;
    if (i == trimmed.size()) return std::nullopt;
    int64_t magnitude = 0;
    for (; i < trimmed.size(); ++i) {
        const QChar c = trimmed[i];
        if (c < u'0' || c > u'9') return std::nullopt;
        magnitude = magnitude * 10 + (c.unicode() - u'0');
        if (magnitude > 0xFFFFFFFFLL) return std::nullopt;
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN) return std::nullopt;
    return static_cast<int32_t>(static_cast<uint32_t>(value));
}

SettingsStore::SettingsStore(const QString& organization, const QString& application)
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             organization, application)) {}

SettingsStore::SettingsStore(const QString& iniFile)
    : m_settings(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

SettingsStore::~SettingsStore() = default;

int32_t SettingsStore::GetProfileInt(const QString& section, const QString& key,
                                     int32_t defaultValue) const {
    const QVariant value = m_settings->value(KeyPath(section, key));
    switch (value.typeId()) {
        case QMetaType::Int:
            return value.toInt();
        case QMetaType::UInt:  // a registry DWORD
            return static_cast<int32_t>(value.toUInt());
        case QMetaType::QString:
            return ParseStoredInt(value.toString()).value_or(defaultValue);
        default:  // missing, a list, binary data or another type
            return defaultValue;
    }
}

QString SettingsStore::GetProfileString(const QString& section, const QString& key,
                                        const QString& defaultValue) const {
    const QVariant value = m_settings->value(KeyPath(section, key));
    QString text;
    switch (value.typeId()) {
        case QMetaType::QString:
            text = value.toString();
            break;
        case QMetaType::QStringList:  // an INI value with unquoted commas
            text = value.toStringList().join(u", ");
            break;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            text = value.toString();
            break;
        default:
            return defaultValue;
    }
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0) text.truncate(nul);
    return text;
}

bool SettingsStore::WriteProfileInt(const QString& section, const QString& key, int32_t value) {
    m_settings->setValue(KeyPath(section, key), value);
    if (m_observer) m_observer(section, key);
    return commit();
}

bool SettingsStore::WriteProfileString(const QString& section, const QString& key,
                                       const QString& value) {
    m_settings->setValue(KeyPath(section, key), value);
    if (m_observer) m_observer(section, key);
    return commit();
}

bool SettingsStore::commit() {
    if (m_batchDepth > 0) return m_settings->isWritable();
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

SettingsStore::Batch::Batch(SettingsStore& store) : m_store(store) {
    ++m_store.m_batchDepth;
}

SettingsStore::Batch::~Batch() {
    if (--m_store.m_batchDepth == 0) m_store.commit();
}

}  // namespace app
