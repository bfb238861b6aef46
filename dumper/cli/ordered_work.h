// Work in numbered parts done by several threads, each part's result taken
// on the calling thread in the parts' order, as one thread would have made
// them. Only a bounded number of parts is in hand at once (being done, or
// done and waiting for those before it), whatever their number.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

// `make_part(worker, part)` on the workers' threads, worker numbered from 0
// to `workers` - 1, parts from 0 to `parts` - 1; `take(result)` on this
// thread in order, until it returns false. At most `in_hand` parts are
// begun and not yet taken. What a worker or `take` throws is thrown here,
// once every worker has stopped.
template <class Result>
void do_in_order(std::size_t parts, unsigned workers, std::size_t in_hand,
                 const std::function<Result(unsigned worker, std::size_t part)>& make_part,
                 const std::function<bool(Result& result)>& take)
{
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t next = 0;   // the next part to begin
    std::size_t taken = 0;  // the parts taken
    bool stopping = false;
    std::exception_ptr thrown;
    std::map<std::size_t, Result> done;
    if (in_hand < workers) in_hand = workers;

    auto work = [&](unsigned worker) {
        for (;;) {
            std::size_t part = 0;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return stopping || next >= parts || next - taken < in_hand; });
                if (stopping || next >= parts) return;
                part = next++;
            }
            try {
                Result result = make_part(worker, part);
                std::lock_guard lock(mutex);
                done.emplace(part, std::move(result));
            } catch (...) {
                std::lock_guard lock(mutex);
                if (!thrown) thrown = std::current_exception();
                stopping = true;
            }
            changed.notify_all();
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(workers);
    for (unsigned w = 0; w < workers; ++w) threads.emplace_back(work, w);

    while (taken < parts) {
        Result result;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return stopping || done.count(taken) != 0; });
            if (stopping) break;
            auto found = done.find(taken);
            result = std::move(found->second);
            done.erase(found);
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
