// splitmix64: a small, fast generator whose whole state is one number, so
// what the builder and the tests generate is the same on every platform and
// a bench block is a function of its block number alone.
#pragma once

#include <cstdint>
#include <vector>

namespace datafile {

class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
    // A number in [0, n).
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    // A number in [low, high].
    int between(int low, int high) { return low + below(high - low + 1); }
    bool chance(int percent) { return below(100) < percent; }
    std::vector<std::uint8_t> bytes(std::size_t count)
    {
        std::vector<std::uint8_t> out(count);
        for (std::uint8_t& b : out) b = static_cast<std::uint8_t>(next());
        return out;
    }

private:
    std::uint64_t state_;
};

}  // namespace datafile
