#include "headercheck.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace imagefile::headercheck {

namespace {

std::uint32_t be16(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at] << 8 | b[at + 1]);
}

bool isFrameMarker(std::uint8_t m)
{
    return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

std::int64_t ceilDiv(std::int64_t a, std::int64_t b)
{
    return (a + b - 1) / b;
}

struct Component {
    int h = 1;
    int v = 1;
};

// What libjpeg allocates for a buffered decode: every component's blocks,
// rounded up to whole MCUs, 64 coefficients of 2 bytes each.
std::int64_t coefficientBytes(std::int64_t width, std::int64_t height, std::span<const Component> components)
{
    int hmax = 1;
    int vmax = 1;
    for (const Component& c : components) {
        hmax = std::max(hmax, c.h);
        vmax = std::max(vmax, c.v);
    }
    std::int64_t total = 0;
    for (const Component& c : components) {
        const std::int64_t blocksWide = ceilDiv(ceilDiv(ceilDiv(width * c.h, hmax), 8), c.h) * c.h;
        const std::int64_t blocksHigh = ceilDiv(ceilDiv(ceilDiv(height * c.v, vmax), 8), c.v) * c.v;
        total += blocksWide * blocksHigh * 128;
    }
    return total;
}

// Position of the next marker after entropy-coded data starting at `pos`:
// a 0xFF not followed by a stuffed zero, a restart marker or another 0xFF.
std::size_t skipEntropyData(std::span<const std::uint8_t> b, std::size_t pos)
{
    while (pos + 1 < b.size()) {
        const auto* ff = static_cast<const std::uint8_t*>(std::memchr(b.data() + pos, 0xFF, b.size() - pos - 1));
        if (ff == nullptr)
            return b.size();
        pos = static_cast<std::size_t>(ff - b.data());
        const std::uint8_t next = b[pos + 1];
        if (next != 0 && next != 0xFF && !(next >= 0xD0 && next <= 0xD7))
            return pos;
        pos += next == 0xFF ? 1 : 2;
    }
    return b.size();
}



}  // namespace

JpegFacts jpegFacts(std::span<const std::uint8_t> b)
{
    JpegFacts facts;
    if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8)
        return facts;
    std::array<Component, 4> components{};
    bool buffered = false;
    std::size_t pos = 2;
    while (pos + 4 <= b.size()) {
        if (b[pos] != 0xFF) {  // stray bytes between segments: libjpeg skips them too
            ++pos;
            continue;
        }
        const std::uint8_t marker = b[pos + 1];
        if (marker == 0xFF) {
            ++pos;
            continue;
        }
        if (marker == 0x00) {  // a stuffed zero between segments is stray data to libjpeg too, not a marker
            pos += 2;
            continue;
        }
        if (marker == 0xD9)
            break;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            pos += 2;
            continue;
        }
        const std::size_t length = be16(b, pos + 2);
        const std::size_t segment = pos + 4;
        const std::size_t end = pos + 2 + length;
        if (end > b.size())
            break;
        if (length < 2) {  // libjpeg reads on after the length of a segment it skips
            pos += 4;
            continue;
        }
        if (isFrameMarker(marker) && !facts.frameFound && length >= 8) {
            facts.frameFound = true;
            facts.precision = b[segment];
            facts.height = be16(b, segment + 1);
            facts.width = be16(b, segment + 3);
            facts.components = b[segment + 5];
            facts.progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
            facts.lossless = marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF;
            const auto count = std::min<std::size_t>({static_cast<std::size_t>(facts.components), components.size(), (length - 8) / 3});
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint8_t sampling = b[segment + 6 + 3 * i + 1];
                components[i] = {std::max(1, sampling >> 4), std::max(1, sampling & 0xF)};
            }
            if (facts.progressive)
                buffered = true;
            facts.coefficientBytes = 0;
            if (count > 0)
                facts.coefficientBytes = coefficientBytes(facts.width, facts.height, std::span(components.data(), count));
        }
        if (marker == 0xDA) {
            // A first scan that leaves components out makes libjpeg buffer the whole image.
            if (facts.scans == 0 && length >= 3 && b[segment] < facts.components)
                buffered = true;
            if (++facts.scans > kMaxJpegScans)
                break;
            pos = skipEntropyData(b, end);
            continue;
        }
        pos = end;
    }
    if (!buffered)
        facts.coefficientBytes = 0;
    return facts;
}

std::string jpegRefusal(const JpegFacts& facts, std::int64_t budgetBytes, std::string_view budgetNote)
{
    if (!facts.frameFound)
        return {};
    if (facts.precision != 8)
        return "The JPEG picture has " + std::to_string(facts.precision)
               + " bits per sample; only 8-bit JPEG pictures can be read";
    if (facts.lossless)
        return "The JPEG picture is stored losslessly, which this program cannot read";
    if (facts.scans > kMaxJpegScans)
        return "The JPEG picture has more than " + std::to_string(kMaxJpegScans)
               + " scans, far more than any camera or editor writes, so it is refused as damaged";
    const std::int64_t need = facts.coefficientBytes + facts.turnBytes + 4 * facts.width * facts.height;
    if (need > budgetBytes) {
        constexpr std::int64_t kMB = std::int64_t(1) << 20;
        return "The JPEG picture would need " + std::to_string(ceilDiv(need, kMB)) + " MB to decode, more than the "
               + std::to_string(budgetBytes / kMB) + " MB allowed" + std::string(budgetNote);
    }
    return {};
}

}  // namespace imagefile::headercheck
