#pragma once

#include <QIODevice>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

namespace cli {

/// One input of a run: its path and its position in the input order.
struct Input {
    QString path;
    qint64 index = 0;  // counted from 0, before any shard is taken
};

/// The inputs of a run in order: a list given at once, or names read from a
/// stream as the work goes, so that a list of millions need not fit in memory.
class InputSource {
public:
    explicit InputSource(QStringList paths);
    /// Names separated by @p separator ('\n' or '\0'); empty names are skipped.
    InputSource(std::unique_ptr<QIODevice> stream, char separator);

    /// Keeps only the inputs whose position leaves remainder @p shard - 1 when
    /// divided by @p shards (1 <= shard <= shards).
    void SetShard(int shard, int shards);

    /// The next input kept, or nothing at the end. Not thread-safe.
    std::optional<Input> Next();
    /// The name of the input at @p index when the list is held (given at
    /// once); nothing for names read from a stream.
    std::optional<QString> NameAt(qint64 index) const;
    /// The number of inputs kept, when known before reading (a given list).
    std::optional<qint64> KnownCount() const;
    /// The number of inputs kept, those handed out and those still to come,
    /// reading a list file to its end to count them; nothing for a pipe,
    /// whose writer may not have finished.
    std::optional<qint64> CountToEnd();
    /// Why reading the stream stopped early, or empty.
    const QString& ReadError() const { return m_readError; }

private:
    std::optional<QString> NextName();

    QStringList m_paths;
    std::unique_ptr<QIODevice> m_stream;
    char m_separator = '\n';
    QByteArray m_buffer;
    qint64 m_position = 0;
    qint64 m_handedOut = 0;
    int m_shard = 1;
    int m_shards = 1;
    QString m_readError;
};

/// Reads "K/N" into (K, N); nothing unless 1 <= K <= N.
std::optional<std::pair<int, int>> ParseShard(const QString& text);

}  // namespace cli
