#pragma once

// One page of a long multi-page TIFF, opened without libvips reading every
// page's directory first (it counts them on each open: about 0.45 s for
// 10,000 pages). Only the imaging layer includes this.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>
#include <vips/vips8>

#include "imaging/opened_file.h"

namespace imaging {

/// Where each page's directory of a TIFF lies, from the chain that links
/// them; enough to show libvips any one page as if it were the only one.
class TiffPageIndex {
public:
    /// Follows the chain of the TIFF @p file for at most @p maxPages pages,
    /// reading only the links; it ends early at a link that leaves the file
    /// or returns to a page already seen. Empty when the file is no TIFF.
    static TiffPageIndex Read(const OpenedFile& file, uint32_t maxPages);

    uint32_t size() const { return static_cast<uint32_t>(m_pages.size()); }
    /// True when the chain went on beyond the pages read.
    bool more() const { return m_more; }

    /// Page @p page (one the index has) of @p file seen as a one-page TIFF:
    /// the file as it is, but for the header pointing at that page's directory
    /// and that directory pointing nowhere.
    vips::VSource PageSource(std::shared_ptr<const OpenedFile> file, uint32_t page) const;

private:
    struct Page {
        uint64_t directory;  // file offset of the page's directory
        uint64_t nextLink;   // file offset of its link to the next page
    };
    bool m_bigEndian = false;
    bool m_bigTiff = false;  // 8-byte offsets
    bool m_more = false;
    std::vector<Page> m_pages;
};

}  // namespace imaging
