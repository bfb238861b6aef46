// The time zone regions a TIMESTAMP WITH TIME ZONE value names by number.
// The list is dumper/tz_regions.tsv, compiled in at build time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

struct TzRegion {
    std::uint16_t id;
    std::string_view name;
};

// No name is longer, and every id is below kTzRegionIds, the 13 bits a
// value has for it (checked when the list is compiled).
constexpr std::size_t kMaxTzRegionName = 40;
constexpr unsigned kTzRegionIds = 8192;

// In increasing order of id.
extern const TzRegion kTzRegions[];
extern const std::size_t kTzRegionCount;

// The name of region `id`, or an empty view when the list has none.
std::string_view tz_region_name(unsigned id);
