// SHA-256 (FIPS 180-4), for the hashes an unload records of the files it
// read, so that an analyst can show with sha256sum that the evidence is
// the one the tables came from. Bytes are given in pieces of any size, as
// the files are read; x86-64 processors with the SHA extensions hash with
// them, others with the portable rounds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
public:
    Sha256();
    void update(const std::uint8_t* data, std::size_t size);
    // The digest of everything given; the hash then starts afresh.
    Sha256Digest finish();
    // The bytes given so far.
    std::uint64_t size() const { return total_; }

private:
    void reset();

    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> pending_;
    std::size_t pending_size_ = 0;
    std::uint64_t total_ = 0;
};

// 64 lower-case hexadecimal digits, as sha256sum prints them.
std::string sha256_hex(const Sha256Digest& digest);

// The compression of whole 64-byte blocks into the state, both ways (for
// the tests, which compare them): the portable rounds, and the processor's
// SHA instructions, which only run where sha256_instructions() says so.
void sha256_blocks_portable(std::uint32_t* state, const std::uint8_t* data, std::size_t blocks);
bool sha256_instructions();
void sha256_blocks_instructions(std::uint32_t* state, const std::uint8_t* data, std::size_t blocks);
