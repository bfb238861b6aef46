// Work in numbered parts done by several threads, each part's result taken
// on the calling thread in the parts' order, as one thread would have made
// them. Only a bounded number of parts is in hand at once (being done, or
// done and waiting for those before it), whatever their number, and no
// part is begun while those done and waiting hold more than a budget of
// bytes: many workers then wait rather than hold more.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstddef>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

// How many parts may be in hand, and how many bytes those done may hold
// (what `held_bytes` says of each) before no further part is begun.
struct InHand {
    std::size_t parts = 0;
    std::size_t bytes = SIZE_MAX;
};

// `make_part(worker, part)` on the workers' threads, worker numbered from 0
// to `workers` - 1, parts from 0 to `parts` - 1; `take(result)` on this
// thread in order, until it returns false. This thread is the last worker
// too: it makes a part whenever the one to take next is not done, so that
// `workers` threads share the processors, not one more that would wake
// and preempt them at every part. At most `in_hand.parts` parts are begun
// and not yet taken (never fewer than one per worker). What a worker or
// `take` throws is thrown here, once every worker has stopped.
template <class Result>
void do_in_order(std::size_t parts, unsigned workers, InHand in_hand,
                 const std::function<Result(unsigned worker, std::size_t part)>& make_part,
                 const std::function<bool(Result& result)>& take,
                 const std::function<std::size_t(const Result& result)>& held_bytes = nullptr)
{
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t next = 0;   // the next part to begin
    std::size_t taken = 0;  // the parts taken
    bool stopping = false;
    std::exception_ptr thrown;
    std::map<std::size_t, Result> done;
    // The bytes the parts in `done` hold. While any is done, the part to be
    // taken next is being made (parts begin in order), so waiting for the
    // budget never waits for nothing.
    std::size_t done_bytes = 0;
    if (workers == 0) workers = 1;
    if (in_hand.parts < workers) in_hand.parts = workers;

    auto may_begin = [&] { return next < parts && next - taken < in_hand.parts && done_bytes < in_hand.bytes; };
    auto make = [&](unsigned worker, std::size_t part) {
        try {
            Result result = make_part(worker, part);
            const std::size_t bytes = held_bytes ? held_bytes(result) : 0;
            std::lock_guard lock(mutex);
            done.emplace(part, std::move(result));
            done_bytes += bytes;
        } catch (...) {
            std::lock_guard lock(mutex);
            if (!thrown) thrown = std::current_exception();
            stopping = true;
        }
        changed.notify_all();
    };
    auto work = [&](unsigned worker) {
        for (;;) {
            std::size_t part = 0;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return stopping || next >= parts || may_begin(); });
                if (stopping || next >= parts) return;
                part = next++;
            }
            make(worker, part);
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(workers - 1);
    for (unsigned w = 0; w + 1 < workers; ++w) threads.emplace_back(work, w);

    while (taken < parts) {
        Result result;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return stopping || done.count(taken) != 0 || may_begin(); });
            if (stopping) break;
            auto found = done.find(taken);
            if (found == done.end()) {
                const std::size_t part = next++;
                lock.unlock();
                make(workers - 1, part);
                continue;
            }
            result = std::move(found->second);
            done.erase(found);
            if (held_bytes) done_bytes -= held_bytes(result);
        }
        bool go_on = false;
        try {
            go_on = take(result);
        } catch (...) {
            std::lock_guard lock(mutex);
            if (!thrown) thrown = std::current_exception();
            stopping = true;
        }
        {
            std::lock_guard lock(mutex);
            ++taken;
            if (!go_on) stopping = true;
        }
        changed.notify_all();
        if (!go_on) break;
    }
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    for (std::thread& thread : threads) thread.join();
    if (thrown) std::rethrow_exception(thrown);
}
