#include "settings/store.h"

#include <QFile>
#include <QLockFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QVariant>
#include <optional>

#include "host/native_file.h"
#include "settings/keys.h"

namespace settings {

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

namespace {

/// How long a change waits for another process to let go of the store.
constexpr int kLockWaitMs = 2000;

/// A store larger than this is no store of this program's.
constexpr qint64 kMaxStoreBytes = qint64{1} << 20;

/// True when the file at @p path may be read as the store: missing (a first
/// run), or a regular file of a sensible size. A pipe would hang the start and
/// a device fill the memory.
bool UsableStoreFile(const QString& path) {
    if (host::EntryAt(path) == host::EntryKind::Missing) return true;
    QString ignored;
    const std::unique_ptr<QFile> file = host::OpenRegularFile(path, &ignored);
    return file && file->size() <= kMaxStoreBytes;
}

/// A store whose file cannot be used: reads give the defaults, writes are lost.
std::unique_ptr<QSettings> EmptyStore() {
    return std::make_unique<QSettings>(QString(), QSettings::IniFormat);
}

}  // namespace

Store::Store(const QString& organization, const QString& application) {
#ifndef Q_OS_WIN
    // Where QSettings keeps a user's native store off Windows; checked before it reads.
    const QString file = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         u'/' + organization + u'/' + application + QStringLiteral(".conf");
    if (!UsableStoreFile(file)) {
        m_settings = EmptyStore();
        return;
    }
#endif
    m_settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                             organization, application);
}

Store::Store(const QString& iniFile)
    : m_settings(UsableStoreFile(iniFile)
                     ? std::make_unique<QSettings>(iniFile, QSettings::IniFormat)
                     : EmptyStore()) {}

Store::~Store() = default;

int32_t Store::Get(const IntKey& key) const {
    return GetProfileInt(key.section, key.name, key.fallback);
}

QString Store::Get(const TextKey& key) const {
    return GetProfileString(key.section, key.name, key.fallback);
}

QString Store::Get(const TextKey& key, const QString& fallback) const {
    return GetProfileString(key.section, key.name, fallback);
}

bool Store::Set(const IntKey& key, int32_t value) {
    return WriteProfileInt(key.section, key.name, value);
}

bool Store::Set(const TextKey& key, const QString& value) {
    return WriteProfileString(key.section, key.name, value);
}

int32_t Store::GetProfileInt(const QString& section, const QString& key,
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

QString Store::GetProfileString(const QString& section, const QString& key,
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

/// True when the store's lock can be taken soon. QSettings waits on its lock
/// for ever, and reads what is there first: a pipe or device in its place
/// would hang the window at every change, so nothing is written then.
bool Store::lockUsable() const {
    const QString store = m_settings->fileName();
    if (store.isEmpty()) return true;
    const QString lock = store + QStringLiteral(".lock");
    switch (host::EntryAt(lock)) {
        case host::EntryKind::Missing:
            return true;
        case host::EntryKind::File: {
            QLockFile probe(lock);
            if (!probe.tryLock(kLockWaitMs)) return false;
            probe.unlock();
            return true;
        }
        default:
            return false;
    }
}

bool Store::WriteProfileInt(const QString& section, const QString& key, int32_t value) {
    if (!lockUsable()) return false;
    m_settings->setValue(KeyPath(section, key), value);
    if (m_observer) m_observer(section, key);
    return commit();
}

bool Store::WriteProfileString(const QString& section, const QString& key, const QString& value) {
    if (!lockUsable()) return false;
    m_settings->setValue(KeyPath(section, key), value);
    if (m_observer) m_observer(section, key);
    return commit();
}

bool Store::commit() {
    if (m_batchDepth > 0) return m_settings->isWritable();
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

Store::Batch::Batch(Store& store) : m_store(store) {
    ++m_store.m_batchDepth;
}

Store::Batch::~Batch() {
    if (--m_store.m_batchDepth == 0) m_store.commit();
}

}  // namespace settings
