#include "imaging/enlarge.h"
#include "imaging/photo_internal.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace imaging {
namespace {

// Weights are fixed point in 1/4096; the first pass keeps 8 bits more than a
// byte for the second, whose sums then stay well within 32 bits.
constexpr int kWeightBits = 12;
constexpr int kCarryBits = 8;

/// The four input pixels one output pixel is made of along an axis, and their weights.
struct Taps {
    std::array<int, 4> index;  // clamped to the image: the edges extend
    std::array<int32_t, 4> weight;
};

/// The taps of each of @p out output pixels along an axis of @p in input pixels.
std::vector<Taps> TapsFor(int in, int out) {
    std::vector<Taps> taps(static_cast<size_t>(out));
    const double scale = double(in) / out;
    for (int x = 0; x < out; ++x) {
        const double u = (x + 0.5) * scale - 0.5;
        const double base = std::floor(u);
        const double t = u - base;
        // Catmull-Rom: the cubic through the two neighbours on each side.
        const double w[4] = {((-0.5 * t + 1.0) * t - 0.5) * t, (1.5 * t - 2.5) * t * t + 1.0,
                             ((-1.5 * t + 2.0) * t + 0.5) * t, (0.5 * t - 0.5) * t * t};
        Taps& tap = taps[static_cast<size_t>(x)];
        int32_t sum = 0;
        for (int k = 0; k < 4; ++k) {
            tap.index[k] = std::clamp(int(base) - 1 + k, 0, in - 1);
            tap.weight[k] = int32_t(std::lround(w[k] * (1 << kWeightBits)));
            sum += tap.weight[k];
        }
        tap.weight[1] += (1 << kWeightBits) - sum;  // a flat area stays exactly flat
    }
    return taps;
}

/// What every part of one enlargement shares; freed with the output image.
struct Enlargement {
    VipsImage* in;
    int bands;
    std::vector<Taps> columns, rows;
};

void FreeEnlargement(void* data) {
    auto* enlargement = static_cast<Enlargement*>(data);
    g_object_unref(enlargement->in);
    delete enlargement;
}

/// One thread's view of the input, and room for the first pass.
struct Sequence {
    VipsRegion* in;
    std::vector<int32_t> widened;  // input rows at the output's width
};

void* Start(VipsImage*, void* a, void*) {
    auto* enlargement = static_cast<Enlargement*>(a);
    return new Sequence{vips_region_new(enlargement->in), {}};
}

int Stop(void* seq, void*, void*) {
    auto* sequence = static_cast<Sequence*>(seq);
    g_object_unref(sequence->in);
    delete sequence;
    return 0;
}

template <int kBands>
void Widen(const uint8_t* row, int firstColumn, const Taps* taps, int width, int bands,
           int32_t* out) {
    const int n = kBands > 0 ? kBands : bands;
    constexpr int shift = kWeightBits - kCarryBits;
    for (int x = 0; x < width; ++x, out += n) {
        const Taps& tap = taps[x];
        const uint8_t* p0 = row + (tap.index[0] - firstColumn) * n;
        const uint8_t* p1 = row + (tap.index[1] - firstColumn) * n;
        const uint8_t* p2 = row + (tap.index[2] - firstColumn) * n;
        const uint8_t* p3 = row + (tap.index[3] - firstColumn) * n;
        for (int b = 0; b < n; ++b) {
            const int32_t sum = tap.weight[0] * p0[b] + tap.weight[1] * p1[b] +
                                tap.weight[2] * p2[b] + tap.weight[3] * p3[b];
            out[b] = (sum + (1 << (shift - 1))) >> shift;
        }
    }
}

int Generate(VipsRegion* out, void* seq, void* a, void*, gboolean*) {
    auto* sequence = static_cast<Sequence*>(seq);
    const auto* enlargement = static_cast<const Enlargement*>(a);
    const VipsRect& r = out->valid;
    const Taps* columns = enlargement->columns.data() + r.left;
    const Taps* rows = enlargement->rows.data() + r.top;
    // Taps only move forward along an axis: the first and last bound the input needed.
    const int x0 = columns[0].index[0], x1 = columns[r.width - 1].index[3];
    const int y0 = rows[0].index[0], y1 = rows[r.height - 1].index[3];
    VipsRect need{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
    if (vips_region_prepare(sequence->in, &need)) return -1;

    const int bands = enlargement->bands;
    const size_t rowLength = size_t(r.width) * size_t(bands);
    sequence->widened.resize(rowLength * size_t(need.height));
    for (int y = y0; y <= y1; ++y) {
        const auto* row = reinterpret_cast<const uint8_t*>(VIPS_REGION_ADDR(sequence->in, x0, y));
        int32_t* to = sequence->widened.data() + rowLength * size_t(y - y0);
        if (bands == 3)
            Widen<3>(row, x0, columns, r.width, bands, to);
        else
            Widen<0>(row, x0, columns, r.width, bands, to);
    }
    constexpr int shift = kWeightBits + kCarryBits;
    for (int y = 0; y < r.height; ++y) {
        const Taps& tap = rows[y];
        const int32_t* s0 = sequence->widened.data() + rowLength * size_t(tap.index[0] - y0);
        const int32_t* s1 = sequence->widened.data() + rowLength * size_t(tap.index[1] - y0);
        const int32_t* s2 = sequence->widened.data() + rowLength * size_t(tap.index[2] - y0);
        const int32_t* s3 = sequence->widened.data() + rowLength * size_t(tap.index[3] - y0);
        auto* to = reinterpret_cast<uint8_t*>(VIPS_REGION_ADDR(out, r.left, r.top + y));
        for (size_t i = 0; i < rowLength; ++i) {
            const int32_t sum = tap.weight[0] * s0[i] + tap.weight[1] * s1[i] +
                                tap.weight[2] * s2[i] + tap.weight[3] * s3[i];
            to[i] = uint8_t(std::clamp((sum + (1 << (shift - 1))) >> shift, 0, 255));
        }
    }
    return 0;
}

}  // namespace

vips::VImage EnlargeCubic(const vips::VImage& image, int width, int height) {
    if (image.format() != VIPS_FORMAT_UCHAR || width < image.width() || height < image.height())
        throw OwnFailure(QStringLiteral("enlarging wants 8-bit pixels and a larger size"));
    VipsImage* in = image.get_image();
    VipsImage* out = vips_image_new();
    if (vips_image_pipelinev(out, VIPS_DEMAND_STYLE_THINSTRIP, in, nullptr)) {
        g_object_unref(out);
        throw vips::VError();
    }
    out->Xsize = width;
    out->Ysize = height;
    auto* enlargement = new Enlargement{in, image.bands(), TapsFor(image.width(), width),
                                        TapsFor(image.height(), height)};
    g_object_ref(in);
    g_object_set_data_full(G_OBJECT(out), "tessiva-enlargement", enlargement, FreeEnlargement);
    if (vips_image_generate(out, Start, Generate, Stop, enlargement, nullptr)) {
        g_object_unref(out);
        throw vips::VError();
    }
    return vips::VImage(out);
}

}  // namespace imaging
