// The progress line of a long run on a terminal: the pass, bytes and blocks
// read, the share of the pass, the rows written (by the runs that write
// them), the speed and the time left, rewritten in place a few times a
// second on standard error and cleared at the end.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "print/output_sink.h"

// How many times a run reads its data files. A later pass may hang on what
// the first finds (an unload reads again only for the tables it inferred).
struct PassCount {
    int count = 1;
    bool at_most = false;  // the last passes may not be needed
};

class Progress {
public:
    // Runs shorter than this show no progress.
    static constexpr std::uint64_t kShownFrom = 64u << 20;

    // Shown on `err` when it is a terminal and the run is to read more than
    // kShownFrom bytes in all; `per_pass` is the bytes each pass reads, 0
    // when the size is not known.
    Progress(OutputSink& err, bool wanted, std::uint64_t per_pass, PassCount passes = {});
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // A pass over the files begins (the first too): its bytes count from 0.
    void start_pass();
    // One more block of `size` bytes read.
    void step(std::uint32_t size)
    {
        if (!shown_) return;
        bytes_ += size;
        if (++blocks_ % kBlocksPerCheck == 0) redraw();
    }
    // `blocks` more blocks, of `bytes` in all, read by the workers of a pass.
    void steps(std::uint64_t blocks, std::uint64_t bytes)
    {
        if (!shown_) return;
        const std::uint64_t checks_before = blocks_ / kBlocksPerCheck;
        bytes_ += bytes;
        blocks_ += blocks;
        if (blocks_ / kBlocksPerCheck != checks_before) redraw();
    }
    // Removes the line, before the run's last words.
    void clear();
    // What the line says of the rows written so far: asked on the thread
    // that reads the blocks (or takes what the workers read), as it redraws.
    void count_rows(std::function<std::uint64_t()> rows) { rows_ = std::move(rows); }

    // The line for `bytes` and `blocks` read in `seconds` of pass `pass`,
    // which reads `total` bytes.
    static std::string line(std::uint64_t bytes, std::uint64_t blocks, std::uint64_t total, double seconds,
                            int pass = 1, PassCount passes = {}, std::optional<std::uint64_t> rows = std::nullopt);

private:
    static constexpr std::uint64_t kBlocksPerCheck = 64;
    void redraw();

    OutputSink& err_;
    bool shown_;
    std::uint64_t total_;
    PassCount passes_;
    int pass_ = 1;
    bool started_ = false;
    std::uint64_t bytes_ = 0;
    std::uint64_t blocks_ = 0;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_;
    std::function<std::uint64_t()> rows_;
};
