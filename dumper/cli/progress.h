// The progress line of a long run on a terminal: bytes and blocks read, the
// share of the file, the speed and the time left, rewritten in place a few
// times a second on standard error and cleared at the end.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "print/output_sink.h"

class Progress {
public:
    // Runs shorter than this show no progress.
    static constexpr std::uint64_t kShownFrom = 64u << 20;

    // Shown on `err` when it is a terminal and the run is to read more than
    // kShownFrom bytes; `total` is 0 when the size is not known.
    Progress(OutputSink& err, bool wanted, std::uint64_t total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // One more block of `size` bytes read.
    void step(std::uint32_t size)
    {
        if (!shown_) return;
        bytes_ += size;
        if (++blocks_ % kBlocksPerCheck == 0) redraw();
    }
    // Removes the line, before the run's last words.
    void clear();

    // The line for `bytes` and `blocks` read in `seconds` of `total` bytes.
    static std::string line(std::uint64_t bytes, std::uint64_t blocks, std::uint64_t total, double seconds);

private:
    static constexpr std::uint64_t kBlocksPerCheck = 64;
    void redraw();

    OutputSink& err_;
    bool shown_;
    std::uint64_t total_;
    std::uint64_t bytes_ = 0;
    std::uint64_t blocks_ = 0;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_;
};
