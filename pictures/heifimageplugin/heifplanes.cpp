#include "pictures/heifimageplugin/heifplanes.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <thread>
#include <vector>

namespace HeifPlanes {

namespace {

// The source samples that each output sample of an axis averages, and their weights, which
// sum to one: the part of each source sample that the output sample's span covers.
struct Taps
{
    std::vector<int> first; // per output sample
    std::vector<int> count;
    std::vector<int> at; // where its weights start
    std::vector<float> weights;
};

// Output sample o of outputs covers [o * step, (o + 1) * step) of the length source samples.
Taps tapsFor(int length, int outputs, double step)
{
    Taps taps;
    taps.first.reserve(outputs);
    taps.count.reserve(outputs);
    taps.at.reserve(outputs);
    taps.weights.reserve(size_t(outputs) * size_t(std::ceil(step) + 2));
    for (int o = 0; o < outputs; ++o) {
        const double start = std::min(o * step, double(length - 1));
        const double end = std::clamp((o + 1) * step, start + 1e-9, double(length));
        const int first = int(start);
        const int last = std::max(first, std::min(int(std::ceil(end)) - 1, length - 1));
        taps.first.push_back(first);
        taps.at.push_back(int(taps.weights.size()));
        taps.count.push_back(last - first + 1);
        for (int i = first; i <= last; ++i)
            taps.weights.push_back(
                float((std::min(end, i + 1.0) - std::max(start, double(i))) / (end - start)));
    }
    return taps;
}

float weighted(const float *__restrict values, const Taps &taps, int o)
{
    const float *__restrict w = taps.weights.data() + taps.at[o];
    const float *__restrict v = values + taps.first[o];
    float sum = 0;
    for (int k = 0, n = taps.count[o]; k < n; ++k)
        sum += w[k] * v[k];
    return sum;
}

template <typename Sample> const Sample *row(const Plane &plane, int y)
{
    return reinterpret_cast<const Sample *>(plane.data + plane.stride * y);
}

template <typename Sample>
void add(float *__restrict sums, const Sample *__restrict samples, int count, float weight)
{
    for (int i = 0; i < count; ++i)
        sums[i] += weight * float(samples[i]);
}

// The same, each sample also weighted by its alpha (weights, per sample).
template <typename Sample>
void addWeighted(float *__restrict sums, const Sample *__restrict samples,
                 const float *__restrict weights, int count)
{
    for (int i = 0; i < count; ++i)
        sums[i] += weights[i] * float(samples[i]);
}

// From the averaged samples to 8-bit red, green and blue: R = (Y - yOffset) * yScale +
// rCr * (Cr - cOffset) * cScale, and so on.
struct Conversion
{
    float yOffset = 0, yScale = 1, cOffset = 128, cScale = 1;
    float rCr = 0, gCb = 0, gCr = 0, bCb = 0;
    bool planesAreRgb = false; // green, blue and red in the luma and difference planes
};

// Kr and Kb of a matrix, or derived from the primaries where the matrix says so (H.273, 8.3);
// BT.601's for an unknown one, as for a picture without a profile.
std::pair<double, double> lumaWeights(int matrix, int primaries)
{
    switch (matrix) {
    case 1:
        return {0.2126, 0.0722};
    case 4:
        return {0.30, 0.11};
    case 7:
        return {0.212, 0.087};
    case 9:
    case 10:
        return {0.2627, 0.0593};
    case 12:
    case 13: {
        // red, green, blue and white x, y of the primaries (H.273, table 2)
        struct Xy
        {
            double x, y;
        };
        struct Primaries
        {
            Xy r, g, b, w;
        };
        // Every one of these spaces has daylight white.
        static constexpr Xy daylight{0.3127, 0.3290};
        static constexpr struct
        {
            int code;
            Primaries primaries;
        } known[] = {
            {1, {{0.640, 0.330}, {0.300, 0.600}, {0.150, 0.060}, daylight}},
            {5, {{0.640, 0.330}, {0.290, 0.600}, {0.150, 0.060}, daylight}},
            {6, {{0.630, 0.340}, {0.310, 0.595}, {0.155, 0.070}, daylight}},
            {7, {{0.630, 0.340}, {0.310, 0.595}, {0.155, 0.070}, daylight}},
            {9, {{0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}, daylight}},
            {12, {{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}, daylight}},
        };
        const auto row = std::find_if(std::begin(known), std::end(known),
                                      [primaries](const auto &k) { return k.code == primaries; });
        if (row == std::end(known))
            return {0.299, 0.114};
        const Primaries &p = row->primaries;
        const auto z = [](const Xy &c) { return 1 - c.x - c.y; };
        const double denominator = p.w.y * (p.r.x * (p.g.y * z(p.b) - p.b.y * z(p.g)) +
                                            p.g.x * (p.b.y * z(p.r) - p.r.y * z(p.b)) +
                                            p.b.x * (p.r.y * z(p.g) - p.g.y * z(p.r)));
        const double kr =
            p.r.y *
            (p.w.x * (p.g.y * z(p.b) - p.b.y * z(p.g)) + p.w.y * (p.b.x * z(p.g) - p.g.x * z(p.b)) +
             z(p.w) * (p.g.x * p.b.y - p.b.x * p.g.y)) /
            denominator;
        const double kb =
            p.b.y *
            (p.w.x * (p.r.y * z(p.g) - p.g.y * z(p.r)) + p.w.y * (p.g.x * z(p.r) - p.r.x * z(p.g)) +
             z(p.w) * (p.r.x * p.g.y - p.g.x * p.r.y)) /
            denominator;
        return {kr, kb};
    }
    default:
        return {0.299, 0.114};
    }
}

Conversion conversionFor(const Planes &planes)
{
    Conversion c;
    const Colour &colour = planes.colour;
    // Samples of more than 8 bits count in steps as many times finer.
    const double unitY = std::ldexp(1.0, planes.y.bits - 8);
    const double unitC = planes.cb.data ? std::ldexp(1.0, planes.cb.bits - 8) : unitY;
    if (colour.fullRange) {
        c.yScale = float(255.0 / (std::ldexp(1.0, planes.y.bits) - 1));
        c.cScale = float(255.0 / (std::ldexp(1.0, planes.cb.data ? planes.cb.bits : 8) - 1));
        c.cOffset = float(128 * unitC);
    } else {
        c.yOffset = float(16 * unitY);
        c.yScale = float(255.0 / (219 * unitY));
        c.cOffset = float(128 * unitC);
        c.cScale = float(255.0 / (224 * unitC));
    }
    if (colour.matrix == 0 && planes.cb.data) {
        c.planesAreRgb = true;
        // Red, green and blue all take the luma's range.
        c.cOffset = colour.fullRange ? 0 : float(16 * unitC);
        c.cScale = colour.fullRange ? c.cScale : float(255.0 / (219 * unitC));
        return c;
    }
    const auto [kr, kb] = lumaWeights(colour.matrix, colour.primaries);
    const double kg = 1 - kr - kb;
    c.rCr = float(2 * (1 - kr));
    c.bCb = float(2 * (1 - kb));
    c.gCb = float(-2 * kb * (1 - kb) / kg);
    c.gCr = float(-2 * kr * (1 - kr) / kg);
    return c;
}

quint32 clamped(float value)
{
    return quint32(std::clamp(value + 0.5f, 0.0f, 255.0f));
}

// One band of output rows, [from, to).
template <typename Sample> class Band
{
public:
    Band(const Planes &planes, const Conversion &conversion, const Taps &lumaX, const Taps &lumaY,
         const Taps &chromaX, const Taps &chromaY, QImage &out)
        : m_planes(planes), m_conversion(conversion), m_lumaX(lumaX), m_lumaY(lumaY),
          m_chromaX(chromaX), m_chromaY(chromaY), m_out(out)
    {
    }

    void run(int from, int to)
    {
        const Plane &y = m_planes.y, &cb = m_planes.cb, &cr = m_planes.cr, &a = m_planes.alpha;
        const bool colour = cb.data != nullptr;
        const bool alpha = a.data != nullptr;
        // Colours not yet multiplied by alpha are averaged weighted by it, so that the colour
        // under transparent pixels does not bleed into the visible ones.
        const bool byAlpha = alpha && !m_planes.premultiplied;
        const int width = y.size.width(), chromaWidth = colour ? cb.size.width() : 0;
        std::vector<float> sumY(width), sumA(alpha ? width : 0), sumCb(chromaWidth),
            sumCr(chromaWidth), sumChromaA(byAlpha && colour ? chromaWidth : 0),
            weights(byAlpha ? width : 0);
        // Where a chroma sample's alpha is: the luma sample at its top left.
        const int stepX = colour ? std::max(1, int(std::lround(double(width) / chromaWidth))) : 1;
        const int stepY =
            colour ? std::max(1, int(std::lround(double(y.size.height()) / cb.size.height()))) : 1;
        const float alphaScale = alpha ? float(1.0 / (std::ldexp(1.0, a.bits) - 1)) : 0;
        const Conversion &c = m_conversion;
        for (int oy = from; oy < to; ++oy) {
            std::fill(sumY.begin(), sumY.end(), 0.0f);
            std::fill(sumA.begin(), sumA.end(), 0.0f);
            for (int k = 0; k < m_lumaY.count[oy]; ++k) {
                const int sy = m_lumaY.first[oy] + k;
                const float w = m_lumaY.weights[m_lumaY.at[oy] + k];
                if (alpha)
                    addAlpha(sumA.data(), a, sy, w * alphaScale,
                             byAlpha ? weights.data() : nullptr);
                if (byAlpha)
                    addWeighted(sumY.data(), row<Sample>(y, sy), weights.data(), width);
                else
                    add(sumY.data(), row<Sample>(y, sy), width, w);
            }
            if (colour) {
                std::fill(sumCb.begin(), sumCb.end(), 0.0f);
                std::fill(sumCr.begin(), sumCr.end(), 0.0f);
                std::fill(sumChromaA.begin(), sumChromaA.end(), 0.0f);
                for (int k = 0; k < m_chromaY.count[oy]; ++k) {
                    const int sy = m_chromaY.first[oy] + k;
                    const float w = m_chromaY.weights[m_chromaY.at[oy] + k];
                    if (byAlpha) {
                        // Alpha at the chroma samples' places.
                        const int ay = std::min(sy * stepY, a.size.height() - 1);
                        float *ws = weights.data();
                        for (int x = 0; x < chromaWidth; ++x)
                            ws[x] = w * alphaScale * alphaAt(a, ay, std::min(x * stepX, width - 1));
                        for (int x = 0; x < chromaWidth; ++x)
                            sumChromaA[x] += ws[x];
                        addWeighted(sumCb.data(), row<Sample>(cb, sy), ws, chromaWidth);
                        addWeighted(sumCr.data(), row<Sample>(cr, sy), ws, chromaWidth);
                    } else {
                        add(sumCb.data(), row<Sample>(cb, sy), chromaWidth, w);
                        add(sumCr.data(), row<Sample>(cr, sy), chromaWidth, w);
                    }
                }
            }
            auto *line = reinterpret_cast<quint32 *>(m_out.scanLine(oy));
            for (int ox = 0, n = m_out.width(); ox < n; ++ox) {
                const float opacity = alpha ? weighted(sumA.data(), m_lumaX, ox) : 1.0f;
                if (byAlpha && opacity <= 0) {
                    line[ox] = 0;
                    continue;
                }
                float luma = weighted(sumY.data(), m_lumaX, ox);
                if (byAlpha)
                    luma /= opacity;
                luma = (luma - c.yOffset) * c.yScale;
                float r = luma, g = luma, b = luma;
                if (colour) {
                    float u = weighted(sumCb.data(), m_chromaX, ox);
                    float v = weighted(sumCr.data(), m_chromaX, ox);
                    if (byAlpha) {
                        const float chromaOpacity = weighted(sumChromaA.data(), m_chromaX, ox);
                        u = chromaOpacity > 0 ? u / chromaOpacity : c.cOffset;
                        v = chromaOpacity > 0 ? v / chromaOpacity : c.cOffset;
                    }
                    u = (u - c.cOffset) * c.cScale;
                    v = (v - c.cOffset) * c.cScale;
                    if (c.planesAreRgb) {
                        b = u;
                        r = v;
                    } else {
                        r = luma + c.rCr * v;
                        g = luma + c.gCb * u + c.gCr * v;
                        b = luma + c.bCb * u;
                    }
                }
                if (!alpha) {
                    line[ox] = 0xFF000000u | clamped(r) << 16 | clamped(g) << 8 | clamped(b);
                    continue;
                }
                const quint32 a8 = clamped(opacity * 255);
                // Premultiplied colours are never above their alpha.
                const float times = byAlpha ? float(a8) / 255 : 1.0f;
                const auto channel = [a8, times](float value) {
                    return std::min(clamped(value * times), a8);
                };
                line[ox] = a8 << 24 | channel(r) << 16 | channel(g) << 8 | channel(b);
            }
        }
    }

private:
    static float alphaAt(const Plane &a, int y, int x)
    {
        return a.bits > 8 ? float(row<quint16>(a, y)[x]) : float(row<quint8>(a, y)[x]);
    }

    // Adds the alpha row sy with the weight w to sums; notes each sample's weighted alpha in
    // weights when asked.
    static void addAlpha(float *__restrict sums, const Plane &a, int sy, float w,
                         float *__restrict weights)
    {
        if (a.bits > 8)
            addAlphaSamples(sums, row<quint16>(a, sy), a.size.width(), w, weights);
        else
            addAlphaSamples(sums, row<quint8>(a, sy), a.size.width(), w, weights);
    }

    template <typename AlphaSample>
    static void addAlphaSamples(float *__restrict sums, const AlphaSample *samples, int width,
                                float w, float *__restrict weights)
    {
        for (int x = 0; x < width; ++x) {
            const float value = w * float(samples[x]);
            sums[x] += value;
            if (weights)
                weights[x] = value;
        }
    }

    const Planes &m_planes;
    const Conversion &m_conversion;
    const Taps &m_lumaX, &m_lumaY, &m_chromaX, &m_chromaY;
    QImage &m_out;
};

bool fits(const Plane &plane, const QSize &at)
{
    return plane.data && plane.size.width() >= at.width() && plane.size.height() >= at.height() &&
           plane.bits >= 1 && plane.bits <= 16 &&
           plane.stride >= qsizetype(plane.size.width()) * (plane.bits > 8 ? 2 : 1);
}

} // namespace

QImage shown(const Planes &planes, const QSize &size, int threads)
{
    const QSize whole = planes.y.size;
    const bool colour = planes.cb.data || planes.cr.data;
    const bool alpha = planes.alpha.data != nullptr;
    // Chroma planes cover the picture at full, half or a quarter of its samples.
    const QSize chroma = colour ? planes.cb.size : QSize();
    if (size.isEmpty() || whole.isEmpty() || size.width() > whole.width() ||
        size.height() > whole.height() || !fits(planes.y, whole) ||
        (alpha && !fits(planes.alpha, whole)) ||
        (colour &&
         (!fits(planes.cb, chroma) || !fits(planes.cr, chroma) || planes.cr.size != chroma ||
          (planes.cb.bits > 8) != (planes.y.bits > 8) ||
          (planes.cr.bits > 8) != (planes.y.bits > 8) || chroma.width() < (whole.width() + 1) / 2 ||
          chroma.height() < (whole.height() + 1) / 2)))
        return {};
    QImage out(size, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (out.isNull())
        return {};
    const double stepX = double(whole.width()) / size.width();
    const double stepY = double(whole.height()) / size.height();
    const Taps lumaX = tapsFor(whole.width(), size.width(), stepX);
    const Taps lumaY = tapsFor(whole.height(), size.height(), stepY);
    const double subX = colour ? double(whole.width()) / chroma.width() : 1;
    const double subY = colour ? double(whole.height()) / chroma.height() : 1;
    const Taps chromaX =
        colour ? tapsFor(chroma.width(), size.width(), stepX / std::round(subX)) : Taps();
    const Taps chromaY =
        colour ? tapsFor(chroma.height(), size.height(), stepY / std::round(subY)) : Taps();
    const Conversion conversion = conversionFor(planes);

    const auto band = [&](int from, int to) {
        if (planes.y.bits > 8)
            Band<quint16>(planes, conversion, lumaX, lumaY, chromaX, chromaY, out).run(from, to);
        else
            Band<quint8>(planes, conversion, lumaX, lumaY, chromaX, chromaY, out).run(from, to);
    };
    // Another thread pays for itself from about a megapixel read.
    const qint64 read = qint64(whole.width()) * whole.height();
    const int bands =
        std::clamp(int(std::min<qint64>(read >> 20, size.height() / 16)), 1, std::max(1, threads));
    std::vector<std::thread> helpers;
    for (int i = 1; i < bands; ++i)
        helpers.emplace_back(band, size.height() * i / bands, size.height() * (i + 1) / bands);
    band(0, size.height() / bands);
    for (std::thread &helper : helpers)
        helper.join();
    return out;
}

} // namespace HeifPlanes
