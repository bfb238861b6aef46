#include "cli/progress.h"

#include <cstdio>
#include <unistd.h>

namespace {

constexpr auto kInterval = std::chrono::milliseconds(250);

std::string amount(std::uint64_t bytes)
{
    char text[32];
    const double mib = static_cast<double>(bytes) / (1u << 20);
    if (mib < 1024)
        std::snprintf(text, sizeof text, "%.0f MiB", mib);
    else
        std::snprintf(text, sizeof text, "%.1f GiB", mib / 1024);
    return text;
}

std::string duration(double seconds)
{
    char text[32];
    const auto whole = static_cast<std::uint64_t>(seconds + 0.5);
    if (whole < 60)
        std::snprintf(text, sizeof text, "%llu s", static_cast<unsigned long long>(whole));
    else if (whole < 3600)
        std::snprintf(text, sizeof text, "%llu min %llu s", static_cast<unsigned long long>(whole / 60),
                      static_cast<unsigned long long>(whole % 60));
    else
        std::snprintf(text, sizeof text, "%llu h %llu min", static_cast<unsigned long long>(whole / 3600),
                      static_cast<unsigned long long>(whole / 60 % 60));
    return text;
}

}  // namespace

Progress::Progress(OutputSink& err, bool wanted, std::uint64_t per_pass, PassCount passes)
    : err_(err),
      shown_(wanted && err.fd() >= 0 && ::isatty(err.fd()) == 1 &&
             (per_pass == 0 || per_pass * static_cast<std::uint64_t>(passes.count) > kShownFrom)),
      total_(per_pass),
      passes_(passes),
      start_(std::chrono::steady_clock::now()),
      last_(start_)
{
}

Progress::~Progress() { clear(); }

void Progress::start_pass()
{
    if (started_) ++pass_;
    started_ = true;
    bytes_ = 0;
    blocks_ = 0;
    start_ = std::chrono::steady_clock::now();
}

std::string Progress::line(std::uint64_t bytes, std::uint64_t blocks, std::uint64_t total, double seconds, int pass,
                           PassCount passes, std::optional<std::uint64_t> rows)
{
    std::string text = "trevanix: ";
    // Whether the passes after this one are sure to come.
    const bool more_sure = !passes.at_most || pass >= passes.count;
    if (passes.count > 1)
        text += "pass " + std::to_string(pass) + (more_sure ? " of " : " of up to ") + std::to_string(passes.count) +
                ": ";
    text += amount(bytes);
    if (total > 0) {
        char share[16];
        std::snprintf(share, sizeof share, " (%.0f%%)", 100.0 * static_cast<double>(bytes) / static_cast<double>(total));
        text += std::string(" of ") + amount(total) + share;
    }
    text += std::string(", ") + std::to_string(blocks) + " blocks";
    if (rows) text += std::string(", ") + std::to_string(*rows) + " rows";
    if (seconds > 0) {
        const double rate = static_cast<double>(bytes) / seconds;
        char speed[32];
        std::snprintf(speed, sizeof speed, ", %.0f MiB/s", rate / (1u << 20));
        text += speed;
        if (total > bytes && rate > 0) {
            double left = static_cast<double>(total - bytes);
            if (more_sure) left += static_cast<double>(passes.count - pass) * static_cast<double>(total);
            text += std::string(", ") + duration(left / rate) + (more_sure ? " left" : " left in this pass");
        }
    }
    return text;
}

void Progress::redraw()
{
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < kInterval) return;
    // Of a file of unknown size, only a run that has read much is shown.
    if (total_ == 0 && bytes_ <= kShownFrom) return;
    last_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    err_.byte('\r');
    err_.text(line(bytes_, blocks_, total_, seconds, pass_, passes_,
                   rows_ ? std::optional<std::uint64_t>(rows_()) : std::nullopt));
    err_.text("\x1b[K");
    err_.flush();
    drawn_ = true;
}

void Progress::clear()
{
    if (!drawn_) return;
    err_.text("\r\x1b[K");
    err_.flush();
    drawn_ = false;
}
