#include "read/file_hash.h"

#include <system_error>

FileHash::FileHash()
{
    try {
        worker_ = std::thread([this] { hash_pieces(); });
    } catch (const std::system_error&) {
        // No thread: add() hashes each piece itself.
    }
}

FileHash::~FileHash() { stop(); }

void FileHash::add(std::shared_ptr<const Bytes> owner, const std::uint8_t* data, std::size_t size)
{
    if (!worker_.joinable()) {
        hash_.update(data, size);
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return waiting_.size() < kMostWaiting; });
    waiting_.push_back({std::move(owner), data, size});
    changed_.notify_all();
}

void FileHash::hash_pieces()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !waiting_.empty() || ending_; });
        if (waiting_.empty()) return;
        const Piece piece = std::move(waiting_.front());
        waiting_.pop_front();
        changed_.notify_all();
        lock.unlock();
        hash_.update(piece.data, piece.size);
        lock.lock();
    }
}

void FileHash::stop()
{
    if (!worker_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

Sha256Digest FileHash::finish()
{
    stop();
    return hash_.finish();
}
