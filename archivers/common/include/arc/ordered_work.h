// Work done on every core and written in order. A writer hands over pieces
// (files or chunks of files to compress); they are gathered into batches,
// worked on by the threads, and handed back to the writer's own thread in
// the order given. The input bytes in flight are bounded, so memory stays
// bounded whatever the tree.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "arc/codes.h"
#include "arc/status.h"

namespace zubeto::arc {

struct OrderedWorkLimits {
  unsigned threads = 0;                        // 0 = one per core (at most 8)
  size_t batch_bytes = 256 * 1024;             // small pieces go over in batches of about this size
  size_t batch_pieces = 64;                    // or of this many pieces
  size_t in_flight_bytes = 8 * 1024 * 1024;    // handed over but not yet written back
  // Test seam: each pair of batches goes to the threads second first, and
  // the first is begun only once the second has finished, so that the work
  // is done and finished out of the order given, the same way every run and
  // with any number of threads. A batch the writer waits for before its
  // pair is gathered goes over alone. Off in the libraries.
  bool reverse_pairs = false;
};

template <class Piece>
class OrderedWork {
 public:
  // The work on one piece, on a thread; may throw std::bad_alloc.
  using Work = std::function<void(Piece&)>;
  // Called once on each thread: the work with that thread's own state.
  using MakeWork = std::function<Work()>;
  // Takes back a finished piece, on the writer's thread, in order.
  using Write = std::function<Status(Piece&)>;

  OrderedWork(const OrderedWorkLimits& limits, MakeWork make_work, Write write)
      : limits_(limits), write_(std::move(write)) {
    unsigned n = limits_.threads ? limits_.threads : std::thread::hardware_concurrency();
    n = std::clamp(n, 1u, 8u);
    for (unsigned i = 0; i < n; ++i) threads_.emplace_back([this, make_work] { run(make_work); });
  }

  ~OrderedWork() {
    {
      std::lock_guard<std::mutex> lock(m_);
      stop_ = true;
    }
    work_cv_.notify_all();
    done_cv_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

  OrderedWork(const OrderedWork&) = delete;
  OrderedWork& operator=(const OrderedWork&) = delete;

  // Hands over a piece of `bytes` input bytes; writes back what is finished.
  Status add(Piece p, size_t bytes) {
    if (!pending_) pending_ = std::make_unique<Job>();
    pending_->bytes += bytes;
    pending_->pieces.push_back(std::move(p));
    if (pending_->bytes >= limits_.batch_bytes || pending_->pieces.size() >= limits_.batch_pieces) return submit();
    return Status{};
  }

  // Hands over what is gathered and writes everything back, waiting for it.
  Status drain() {
    Status s = submit();
    while (s.ok() && !order_.empty()) s = write_head(true);
    return s;
  }

 private:
  struct Job {
    std::vector<Piece> pieces;
    size_t bytes = 0;
    bool done = false;
    bool failed = false;
    Job* after = nullptr;  // reverse_pairs: begun once this one is done
  };

  // Hands the gathered batch to the threads, after writing back finished
  // work and, while too much is in flight, waiting for the oldest batch.
  Status submit() {
    if (!pending_) return Status{};
    std::unique_ptr<Job> job = std::move(pending_);
    Status s;
    while (s.ok() && !order_.empty() && in_flight_ + job->bytes > limits_.in_flight_bytes) s = write_head(true);
    while (s.ok() && !order_.empty() && head_done()) s = write_head(false);
    if (!s.ok()) return s;
    in_flight_ += job->bytes;
    Job* j = job.get();
    order_.push_back(std::move(job));
    if (limits_.reverse_pairs && !held_) {
      held_ = j;
      return Status{};
    }
    std::lock_guard<std::mutex> lock(m_);
    todo_.push_back(j);
    if (held_) {
      held_->after = j;
      todo_.push_back(held_);
      held_ = nullptr;
    }
    work_cv_.notify_all();
    return Status{};
  }

  // reverse_pairs: the held batch is needed now; it goes over alone.
  void release_held() {
    std::lock_guard<std::mutex> lock(m_);
    todo_.push_back(held_);
    held_ = nullptr;
    work_cv_.notify_all();
  }

  bool head_done() {
    std::lock_guard<std::mutex> lock(m_);
    return order_.front()->done;
  }

  Status write_head(bool wait) {
    Job* job = order_.front().get();
    if (wait && job == held_) release_held();
    {
      std::unique_lock<std::mutex> lock(m_);
      if (!job->done && !wait) return Status{};
      done_cv_.wait(lock, [job] { return job->done; });
    }
    if (job->failed) return Status::fail(ARC_E_INTERNAL, "out of memory while compressing");
    for (Piece& p : job->pieces) {
      Status s = write_(p);
      if (!s.ok()) return s;
    }
    in_flight_ -= job->bytes;
    order_.pop_front();
    return Status{};
  }

  void run(const MakeWork& make_work) {
    Work work;
    for (;;) {
      Job* job;
      {
        std::unique_lock<std::mutex> lock(m_);
        work_cv_.wait(lock, [this] { return stop_ || !todo_.empty(); });
        if (stop_) return;
        job = todo_.front();
        todo_.pop_front();
        if (job->after) {
          Job* after = job->after;
          done_cv_.wait(lock, [this, after] { return stop_ || after->done; });
          if (stop_) return;
        }
      }
      bool ok = true;
      try {
        if (!work) work = make_work();
        for (Piece& p : job->pieces) work(p);
      } catch (const std::bad_alloc&) {
        ok = false;
      }
      {
        std::lock_guard<std::mutex> lock(m_);
        job->failed = !ok;
        job->done = true;
      }
      // The writer waits on this, and with reverse_pairs a thread too.
      done_cv_.notify_all();
    }
  }

  OrderedWorkLimits limits_;
  Write write_;

  // The writer's thread only.
  std::unique_ptr<Job> pending_;
  std::deque<std::unique_ptr<Job>> order_;  // handed over, not yet written back, oldest first
  size_t in_flight_ = 0;
  Job* held_ = nullptr;  // reverse_pairs: the first of a pair, not yet handed over

  // Shared with the threads, under m_.
  std::mutex m_;
  std::condition_variable work_cv_, done_cv_;
  std::deque<Job*> todo_;
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace zubeto::arc
