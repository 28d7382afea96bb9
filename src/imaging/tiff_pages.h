#pragma once

// One page of a long multi-page TIFF, opened without libvips reading every
// page's directory first (it counts them on each open: about 0.45 s for
// 10,000 pages). Only the imaging layer includes this.

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>
#include <vips/vips8>

namespace imaging {

/// Where each page's directory of a TIFF lies, from the chain that links
/// them; enough to show libvips any one page as if it were the only one.
class TiffPageIndex {
public:
    /// Follows the chain of the TIFF at @p path for at most @p maxPages pages,
    /// reading only the links; it ends early at a link that leaves the file.
    /// Empty when the file is no TIFF.
    static TiffPageIndex Read(const QString& path, uint32_t maxPages);

    uint32_t size() const { return static_cast<uint32_t>(m_pages.size()); }

    /// Page @p page of the file at @p path as a one-page TIFF image, to be
    /// read once from the top: the file as it is, but for the header pointing
    /// at that page's directory and that directory pointing nowhere. Nothing
    /// when the index has no such page or libvips cannot read it.
    std::optional<vips::VImage> OpenPage(const QString& path, uint32_t page) const;

private:
    struct Page {
        uint64_t directory;  // file offset of the page's directory
        uint64_t nextLink;   // file offset of its link to the next page
    };
    bool m_bigEndian = false;
    bool m_bigTiff = false;  // 8-byte offsets
    std::vector<Page> m_pages;
};

}  // namespace imaging
