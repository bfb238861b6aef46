// SHA-256 against the published test vectors, in pieces of any size and
// by both ways of compressing blocks; and a data file's hash taken as it
// is read, finished by reading only what the run did not.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "format/sha256.h"
#include "read/data_file.h"
#include "test_support.h"

namespace {

std::string digest_of(std::string_view text)
{
    Sha256 hash;
    hash.update(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    return sha256_hex(hash.finish());
}

TEST(Sha256, PublishedTestVectors)
{
    EXPECT_EQ(digest_of(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(digest_of("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(digest_of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(digest_of("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopq"
                        "rstnopqrstu"),
              "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
    EXPECT_EQ(digest_of(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, PiecesOfAnySizeAndEveryLengthAroundABlockGiveOneDigest)
{
    std::vector<std::uint8_t> bytes(3000);
    std::uint32_t state = 7;
    for (std::uint8_t& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(state >> 24);
    }
    for (std::size_t length : {0u, 1u, 55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 1000u, 3000u}) {
        Sha256 whole;
        whole.update(bytes.data(), length);
        const Sha256Digest expected = whole.finish();
        for (std::size_t piece : {1u, 3u, 63u, 64u, 100u}) {
            Sha256 pieces;
            for (std::size_t at = 0; at < length; at += piece) pieces.update(bytes.data() + at, std::min(piece, length - at));
            EXPECT_EQ(pieces.size(), length);
            EXPECT_EQ(pieces.finish(), expected) << length << " in pieces of " << piece;
        }
    }
    // A hash finished starts afresh.
    Sha256 again;
    again.update(bytes.data(), 10);
    again.finish();
    EXPECT_EQ(sha256_hex(again.finish()), digest_of(""));
}

TEST(Sha256, TheProcessorsInstructionsCompressAsThePortableRoundsDo)
{
    if (!sha256_instructions()) GTEST_SKIP() << "this processor has no SHA instructions";
    std::vector<std::uint8_t> blocks(64 * 37);
    for (std::size_t i = 0; i < blocks.size(); ++i) blocks[i] = static_cast<std::uint8_t>(i * 131 + i / 64);
    for (std::size_t count : {1u, 2u, 37u}) {
        std::uint32_t portable[8] = {1, 2, 3, 4, 5, 6, 7, 0xFFFFFFFFu};
        std::uint32_t instructions[8] = {1, 2, 3, 4, 5, 6, 7, 0xFFFFFFFFu};
        sha256_blocks_portable(portable, blocks.data(), count);
        sha256_blocks_instructions(instructions, blocks.data(), count);
        EXPECT_EQ(std::vector<std::uint32_t>(portable, portable + 8),
                  std::vector<std::uint32_t>(instructions, instructions + 8))
            << count;
    }
}

// A file of twenty blocks of 512 bytes and half a block.
constexpr std::uint64_t kFileBytes = 20 * 512 + 256;
std::string file_of_blocks(ScratchDir& dir)
{
    std::string bytes;
    for (std::uint64_t i = 0; i < kFileBytes; ++i) bytes += static_cast<char>(i * 7 + i / 512);
    return dir.write("file.dbf", bytes);
}

// The file opened to be hashed as it is read, in blocks of 512 bytes.
std::unique_ptr<DataFile> hashed_file(const std::string& path)
{
    int error = 0;
    std::unique_ptr<DataFile> file = DataFile::open(path, error);
    if (!file) return file;
    file->hash_contents();
    file->set_geometry({512, ByteOrder::Little});
    return file;
}

TEST(FileHash, AFileReadInOrderIsHashedWithoutReadingItAgain)
{
    ScratchDir dir;
    const std::string path = file_of_blocks(dir);
    std::unique_ptr<DataFile> file = hashed_file(path);
    ASSERT_NE(file, nullptr);
    Block block;
    for (std::int32_t n = 0; file->read(n, block) == ReadStatus::Ok; ++n) {
    }
    std::uint64_t read_again = 99;
    const auto hashed = file->finish_hash(read_again);
    ASSERT_TRUE(hashed);
    EXPECT_EQ(read_again, 0u);
    EXPECT_EQ(hashed->size, kFileBytes);
    EXPECT_EQ(sha256_hex(hashed->digest), digest_of(read_file(path)));
}

TEST(FileHash, WhatTheRunDidNotReadInOrderIsReadForTheHash)
{
    ScratchDir dir;
    const std::string path = file_of_blocks(dir);
    std::unique_ptr<DataFile> file = hashed_file(path);
    ASSERT_NE(file, nullptr);
    // A block in the middle, read with those around it but not the start.
    Block block;
    ASSERT_EQ(file->read(12, block, Access::Random), ReadStatus::Ok);
    std::uint64_t read_again = 0;
    const auto hashed = file->finish_hash(read_again);
    ASSERT_TRUE(hashed);
    EXPECT_EQ(read_again, kFileBytes);
    EXPECT_EQ(sha256_hex(hashed->digest), digest_of(read_file(path)));
    // Without hash_contents there is no hash.
    int error = 0;
    std::unique_ptr<DataFile> unhashed = DataFile::open(path, error);
    ASSERT_NE(unhashed, nullptr);
    EXPECT_FALSE(unhashed->finish_hash(read_again));
}

}  // namespace
