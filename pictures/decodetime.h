#pragma once

#include <QtGlobal>

#include <array>
#include <chrono>
#include <mutex>

// The processor time decoding a picture may take: what this machine has shown it takes for a
// real picture of the same format and size, many times over. A file that codes far more work
// than its size implies runs out of it and is refused; a real photo on a slow or busy computer
// is shown later, never refused, since only the time the decode itself spends on a processor
// counts, not the time it waits for one. Shared by every decode of the program.
class DecodeTime
{
public:
    // Formats that take different times for the same work.
    enum class Format { Jpeg, ProgressiveJpeg, Png, Tiff, Webp, Heif, Other, Count };

    using Nanoseconds = std::chrono::nanoseconds;

    // What a decode may take beyond its work: opening, reading and setting up the decoder.
    static constexpr Nanoseconds SetUp = std::chrono::seconds(1);
    // How many times the time this machine has shown a decode of the format may take.
    static constexpr int Slack = 8;
    // Decodes of less work than this tell little of the machine's rate: their setting up
    // weighs more than their pixels.
    static constexpr qint64 LeastTellingWork = 1'000'000;

    // The processor time a decode of format may take for work units: the pixels it decodes
    // (for a progressive JPEG, its pixels times its scans; for a HEIF picture, the pixels of
    // every coded picture, each also counted as the pixels its setting up is worth).
    Nanoseconds budgetFor(Format format, qint64 work) const;

    // A decode of format took spent for work: this machine's rate for it rises to what it
    // has shown (at most twice the rate at a time, so that no single file sets it).
    void record(Format format, qint64 work, Nanoseconds spent);

    // Processor time one unit of work of format takes on this machine, nanoseconds: the
    // largest this machine has shown, and never less than the rate of the project's own
    // machine.
    double rate(Format format) const;

private:
    mutable std::mutex m_mutex;
    std::array<double, std::size_t(Format::Count)> m_shown{};
};
