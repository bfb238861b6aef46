// The SHA-256 of a file taken while the file is read: the bytes each read
// brings are handed over in the order of the file, and hashed on a thread
// of their own, so that the hash costs the run next to no time where a
// second processor is free. The bytes stay alive for as long as they wait
// (the reader's buffers are shared); a few buffers at most wait, and
// handing over more waits for the hash to catch up.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "format/sha256.h"

class FileHash {
public:
    using Bytes = std::vector<std::uint8_t>;

    FileHash();
    ~FileHash();
    FileHash(const FileHash&) = delete;
    FileHash& operator=(const FileHash&) = delete;

    // Hashes `size` bytes at `data`, which `owner` keeps alive, after those
    // handed over before.
    void add(std::shared_ptr<const Bytes> owner, const std::uint8_t* data, std::size_t size);
    // The digest of everything handed over, once it is all hashed.
    Sha256Digest finish();

private:
    struct Piece {
        std::shared_ptr<const Bytes> owner;
        const std::uint8_t* data;
        std::size_t size;
    };
    static constexpr std::size_t kMostWaiting = 8;

    void hash_pieces();
    // Lets the thread hash what waits, and end.
    void stop();

    Sha256 hash_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Piece> waiting_;
    bool ending_ = false;
    std::thread worker_;  // none when no thread could be started: the pieces are hashed as they come
};
