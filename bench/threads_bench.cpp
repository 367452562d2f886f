// Taking and releasing the main-thread lock, alone and with two threads taking it in turn,
// beside std::shared_mutex; and the latency of one call handed to a worker of the call queue
// and waited for, beside a bare std::thread woken through a condition variable (the ceiling:
// no queue, no flags, no bookkeeping).
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include "bench/ratio.h"
#include "foundation/main_lock.h"
#include "foundation/main_thread.h"
#include "foundation/worker_queue.h"

namespace {

void BM_MainLockUncontended(benchmark::State& state) {
    MainLock lock;
    for (auto _ : state) {
        lock.AcquireCurrent(false);
        lock.ReleaseCurrent();
    }
}
BENCHMARK(BM_MainLockUncontended);

void BM_SharedMutexUncontended(benchmark::State& state) {
    std::shared_mutex m;
    for (auto _ : state) {
        m.lock_shared();
        m.unlock_shared();
    }
}
BENCHMARK(BM_SharedMutexUncontended);

MainLock contendedLock;
std::shared_mutex contendedMutex;

void BM_MainLockTwoThreads(benchmark::State& state) {
    for (auto _ : state) {
        contendedLock.AcquireCurrent(true);
        contendedLock.ReleaseCurrent();
    }
}
BENCHMARK(BM_MainLockTwoThreads)->Threads(2)->UseRealTime();

void BM_SharedMutexTwoThreads(benchmark::State& state) {
    for (auto _ : state) {
        contendedMutex.lock();
        contendedMutex.unlock();
    }
}
BENCHMARK(BM_SharedMutexTwoThreads)->Threads(2)->UseRealTime();

int Nothing(void* argument) {
    benchmark::DoNotOptimize(argument);
    return 0;
}

void BM_WorkerQueuePostAndRun(benchmark::State& state) {
    RecordMainThreadId();
    WorkerCallQueue queue;
    TCXCallback call = MakeCallback(&Nothing);
    for (auto _ : state)
        queue.Post(call, nullptr, kCallWorker);
    queue.Shutdown();
}
BENCHMARK(BM_WorkerQueuePostAndRun)->UseRealTime();

// One job at a time to a waiting thread, and back.
class BareHandOff {
public:
    BareHandOff() : thread_([this] { Loop(); }) {}
    ~BareHandOff() {
        {
            std::lock_guard<std::mutex> lock(m_);
            stop_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    void Run(const std::function<int(void*)>& job) {
        std::unique_lock<std::mutex> lock(m_);
        job_ = &job;
        done_ = false;
        cv_.notify_all();
        cv_.wait(lock, [&] { return done_; });
    }

private:
    void Loop() {
        std::unique_lock<std::mutex> lock(m_);
        for (;;) {
            cv_.wait(lock, [&] { return stop_ || job_ != nullptr; });
            if (stop_) return;
            (*job_)(nullptr);
            job_ = nullptr;
            done_ = true;
            cv_.notify_all();
        }
    }
    std::mutex m_;
    std::condition_variable cv_;
    const std::function<int(void*)>* job_ = nullptr;
    bool done_ = false;
    bool stop_ = false;
    std::thread thread_;
};

void BM_ThreadConditionHandOff(benchmark::State& state) {
    BareHandOff handOff;
    std::function<int(void*)> job = &Nothing;
    for (auto _ : state)
        handOff.Run(job);
}
BENCHMARK(BM_ThreadConditionHandOff)->UseRealTime();

HALVEX_BENCH_COMPARE("BM_MainLockUncontended", "BM_SharedMutexUncontended");
HALVEX_BENCH_COMPARE("BM_MainLockTwoThreads/real_time/threads:2",
                     "BM_SharedMutexTwoThreads/real_time/threads:2");
HALVEX_BENCH_COMPARE("BM_WorkerQueuePostAndRun/real_time", "BM_ThreadConditionHandOff/real_time");

}  // namespace
