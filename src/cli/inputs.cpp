#include "cli/inputs.h"

#include <QFile>
#include <QRegularExpression>
#include <utility>

#include "host/native_file.h"

namespace cli {
namespace {

// Small reads: a pipe fills a read before it returns, and work starts sooner.
constexpr qint64 kReadChunk = 4096;

}  // namespace

InputSource::InputSource(QStringList paths) : m_paths(std::move(paths)) {}

InputSource::InputSource(std::unique_ptr<QIODevice> stream, char separator)
    : m_stream(std::move(stream)), m_separator(separator) {}

void InputSource::SetShard(int shard, int shards) {
    m_shard = shard;
    m_shards = shards;
}

std::optional<QString> InputSource::NextName() {
    if (!m_stream) {
        if (m_position >= m_paths.size()) return std::nullopt;
        return m_paths[m_position];
    }
    for (;;) {
        const qsizetype end = m_buffer.indexOf(m_separator);
        if (end >= 0) {
            QByteArray name = m_buffer.left(end);
            m_buffer.remove(0, end + 1);
            // Lists written on Windows end their lines with CR LF.
            if (m_separator == '\n' && name.endsWith('\r')) name.chop(1);
            if (name.isEmpty()) continue;
            return host::PathFromNative(name);
        }
        const QByteArray chunk = m_stream->read(kReadChunk);
        if (chunk.isEmpty()) {
            // The end, or a failed read; a last name without its separator still counts.
            const auto* file = qobject_cast<QFileDevice*>(m_stream.get());
            if (file && file->error() != QFileDevice::NoError && m_readError.isEmpty())
                m_readError = file->errorString();
            QByteArray last = std::exchange(m_buffer, {});
            if (m_separator == '\n' && last.endsWith('\r')) last.chop(1);
            if (last.isEmpty()) return std::nullopt;
            return host::PathFromNative(last);
        }
        m_buffer += chunk;
    }
}

std::optional<Input> InputSource::Next() {
    for (;;) {
        std::optional<QString> name = NextName();
        if (!name) return std::nullopt;
        const qint64 index = m_position++;
        if (index % m_shards == m_shard - 1) return ++m_handedOut, Input{*name, index};
    }
}

std::optional<QString> InputSource::NameAt(qint64 index) const {
    if (m_stream || index < 0 || index >= m_paths.size()) return std::nullopt;
    return m_paths[index];
}

std::optional<qint64> InputSource::KnownCount() const {
    if (m_stream) return std::nullopt;
    const qint64 total = m_paths.size();
    return total / m_shards + (total % m_shards >= m_shard ? 1 : 0);
}

std::optional<qint64> InputSource::CountToEnd() {
    if (!m_stream) return KnownCount();
    if (m_stream->isSequential()) return std::nullopt;
    const qint64 handedOut = m_handedOut;
    while (Next()) {
    }
    return std::exchange(m_handedOut, handedOut);
}

std::optional<std::pair<int, int>> ParseShard(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^(\\d{1,9})/(\\d{1,9})$"));
    const QRegularExpressionMatch match = form.match(text.trimmed());
    if (!match.hasMatch()) return std::nullopt;
    const int shard = match.captured(1).toInt();
    const int shards = match.captured(2).toInt();
    if (shard < 1 || shards < 1 || shard > shards) return std::nullopt;
    return std::pair{shard, shards};
}

}  // namespace cli
