#include "pictures/decodetime.h"

#include <algorithm>

namespace {

// Processor time per unit of work on the project's own machine (a 2-core virtual machine of
// 2024), nanoseconds, for the slowest real pictures of each format it has decoded: a JPEG of
// grainy detail at full size, 16-bit PNGs and TIFFs read whole and scaled, a phone's HEIC.
constexpr std::array<double, std::size_t(DecodeTime::Format::Count)> BuiltInRate = {
    12.0,  // Jpeg: a pixel
    6.0,   // ProgressiveJpeg: a pixel of one scan
    45.0,  // Png
    45.0,  // Tiff
    40.0,  // Webp
    120.0, // Heif: a coded pixel
    45.0,  // Other: GIF, BMP and the rest that Qt reads
};

} // namespace

double DecodeTime::rate(Format format) const
{
    const auto index = std::size_t(format);
    std::lock_guard lock(m_mutex);
    return std::max(BuiltInRate[index], m_shown[index]);
}

DecodeTime::Nanoseconds DecodeTime::budgetFor(Format format, qint64 work) const
{
    const double nanoseconds = double(std::max<qint64>(work, 0)) * rate(format) * Slack;
    return SetUp + Nanoseconds(qint64(std::min(nanoseconds, 1.0e18)));
}

void DecodeTime::record(Format format, qint64 work, Nanoseconds spent)
{
    if (work < LeastTellingWork)
        return;
    const double shown = double(spent.count()) / double(work);
    const double now = rate(format);
    const auto index = std::size_t(format);
    std::lock_guard lock(m_mutex);
    m_shown[index] = std::max(m_shown[index], std::min(shown, 2 * now));
}
