#include "imaging/tiff_pages.h"

#include <QByteArray>
#include <algorithm>
#include <unordered_set>
#include <utility>

namespace imaging {

TiffPageIndex TiffPageIndex::Read(const OpenedFile& file, uint32_t maxPages) {
    TiffPageIndex index;
    const QByteArray head = file.ReadAt(0, 16);
    if (head.size() < 8 || (!head.startsWith("II") && !head.startsWith("MM"))) return index;
    const bool bigEndian = head[0] == 'M';
    const auto number = [bigEndian](const QByteArray& bytes, int at, int width) {
        uint64_t value = 0;
        for (int i = 0; i < width; ++i) {
            const auto byte = static_cast<uint8_t>(bytes[at + (bigEndian ? i : width - 1 - i)]);
            value = (value << 8) | byte;
        }
        return value;
    };
    const uint64_t magic = number(head, 2, 2);
    const bool bigTiff = magic == 43;
    if (magic != 42 && !(bigTiff && head.size() == 16 && number(head, 4, 2) == 8)) return index;
    index.m_bigEndian = bigEndian;
    index.m_bigTiff = bigTiff;

    const uint64_t fileSize = static_cast<uint64_t>(file.Size());
    const int countWidth = bigTiff ? 8 : 2, entryWidth = bigTiff ? 20 : 12,
              linkWidth = bigTiff ? 8 : 4;
    uint64_t directory = bigTiff ? number(head, 8, 8) : number(head, 4, 4);
    std::unordered_set<uint64_t> seen;  // a chain that loops ends where it loops
    while (directory != 0 && seen.insert(directory).second) {
        if (index.m_pages.size() == maxPages) {
            index.m_more = true;
            break;
        }
        if (directory >= fileSize) break;
        const QByteArray count = file.ReadAt(static_cast<qint64>(directory), countWidth);
        if (count.size() != countWidth) break;
        const uint64_t entries = number(count, 0, countWidth);
        if (entries > fileSize / entryWidth) break;
        const uint64_t link = directory + countWidth + entries * entryWidth;
        if (link >= fileSize) break;
        const QByteArray next = file.ReadAt(static_cast<qint64>(link), linkWidth);
        if (next.size() != linkWidth) break;
        index.m_pages.push_back({directory, link});
        directory = number(next, 0, linkWidth);
    }
    return index;
}

vips::VSource TiffPageIndex::PageSource(std::shared_ptr<const OpenedFile> file,
                                        uint32_t page) const {
    const int linkWidth = m_bigTiff ? 8 : 4;
    QByteArray first(linkWidth, '\0');
    for (int i = 0; i < linkWidth; ++i)
        first[m_bigEndian ? linkWidth - 1 - i : i] =
            static_cast<char>(m_pages[page].directory >> (8 * i));
    return SourceOver(std::move(file),
                      {{m_bigTiff ? 8 : 4, first},
                       {static_cast<qint64>(m_pages[page].nextLink), QByteArray(linkWidth, '\0')}});
}

}  // namespace imaging
