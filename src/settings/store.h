#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class QSettings;

namespace settings {

struct IntKey;
struct TextKey;

/// The per-user settings store: named sections of 32-bit integers and strings.
///
/// Reads never fail: a missing, unreadable or mistyped value gives the caller's
/// default. Writes are silent: a store that cannot be written loses them and
/// nobody is told. Each write reaches the disk at once unless a Batch is open.
class Store {
public:
    /// The store of application @p application of company @p organization, in
    /// the platform's native place and format.
    Store(const QString& organization, const QString& application);
    /// A store kept in the INI file @p iniFile.
    explicit Store(const QString& iniFile);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    /// The value of @p key, or its default.
    int32_t Get(const IntKey& key) const;
    QString Get(const TextKey& key) const;
    /// The value of @p key, or @p fallback, a default known only at run time.
    QString Get(const TextKey& key, const QString& fallback) const;
    /// Stores @p value under @p key; false when the store could not be written.
    bool Set(const IntKey& key, int32_t value);
    bool Set(const TextKey& key, const QString& value);

    /// The stored integer, or @p defaultValue when it is missing or is not a
    /// 32-bit integer. Unsigned 32-bit patterns read back as their signed value.
    int32_t GetProfileInt(const QString& section, const QString& key, int32_t defaultValue) const;
    /// The stored text up to its first NUL, or @p defaultValue when missing.
    QString GetProfileString(const QString& section, const QString& key,
                             const QString& defaultValue) const;
    /// Stores an integer; false when the store could not be written.
    bool WriteProfileInt(const QString& section, const QString& key, int32_t value);
    /// Stores a string; false when the store could not be written.
    bool WriteProfileString(const QString& section, const QString& key, const QString& value);

    /// Called after every write with its section and key (diagnostics, tests).
    using WriteObserver = std::function<void(const QString& section, const QString& key)>;
    void setWriteObserver(WriteObserver observer) { m_observer = std::move(observer); }

    /// Groups writes so the store reaches the disk once, when the last open
    /// batch ends.
    class Batch {
    public:
        explicit Batch(Store& store);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        Store& m_store;
    };

private:
    bool commit();
    bool lockUsable() const;

    std::unique_ptr<QSettings> m_settings;
    WriteObserver m_observer;
    int m_batchDepth = 0;
};

/// Parses a stored integer's text: optional blanks, an optional sign and decimal
/// digits only. Values from 2^31 to 2^32-1 are 32-bit patterns and wrap to
/// negative numbers. Anything else gives no value.
std::optional<int32_t> ParseStoredInt(QStringView text);

}  // namespace settings
