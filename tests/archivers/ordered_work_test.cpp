// The core's ordered work: pieces worked on by several threads come back in
// the order given, memory stays bounded, and a failed piece fails the run.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <random>
#include <thread>

#include "arc/codes.h"
#include "arc/ordered_work.h"

namespace {

using zubeto::arc::OrderedWork;
using zubeto::arc::OrderedWorkLimits;
using zubeto::arc::Status;

struct Piece {
  int index = 0;
  int delay_us = 0;
  bool worked = false;
  bool throws = false;
};

OrderedWorkLimits limits(unsigned threads, size_t batch_pieces, size_t in_flight) {
  OrderedWorkLimits l;
  l.threads = threads;
  l.batch_bytes = 1 << 30;
  l.batch_pieces = batch_pieces;
  l.in_flight_bytes = in_flight;
  return l;
}

TEST(OrderedWork, PiecesComeBackInOrderWhateverTheThreads) {
  struct Case {
    const char* name;
    OrderedWorkLimits limits;
  };
  const Case cases[] = {
      {"one thread, one piece a batch", limits(1, 1, 1000)},
      {"four threads, one piece a batch", limits(4, 1, 1000)},
      {"three threads, batches of five", limits(3, 5, 1000)},
      {"two threads, one batch in flight", limits(2, 3, 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<int> written;
    std::atomic<size_t> most_in_flight{0};
    std::atomic<size_t> in_flight{0};
    {
      OrderedWork<Piece> work(
          c.limits,
          [&] {
            return [&](Piece& p) {
              size_t now = ++in_flight;
              size_t seen = most_in_flight.load();
              while (now > seen && !most_in_flight.compare_exchange_weak(seen, now)) {
              }
              std::this_thread::sleep_for(std::chrono::microseconds(p.delay_us));
              p.worked = true;
              --in_flight;
            };
          },
          [&](Piece& p) {
            EXPECT_TRUE(p.worked) << p.index;
            written.push_back(p.index);
            return Status{};
          });
      std::mt19937 gen(3);
      for (int i = 0; i < 200; ++i) ASSERT_TRUE(work.add(Piece{i, static_cast<int>(gen() % 300)}, 1).ok());
      ASSERT_TRUE(work.drain().ok());
    }
    ASSERT_EQ(written.size(), 200u);
    for (int i = 0; i < 200; ++i) ASSERT_EQ(written[i], i);
    // With one byte in flight, one batch at a time is worked on.
    if (c.limits.in_flight_bytes == 1) EXPECT_LE(most_in_flight.load(), 3u);
  }
}

// The test seam that makes the threads finish out of order: of each pair
// of batches the second is finished before the first is begun, whatever
// the number of threads; a batch the writer needs before its pair is
// gathered (at a drain) goes alone. Pieces are still written in order.
TEST(OrderedWork, ReversedPairsFinishTheSecondBatchFirst) {
  struct Case {
    const char* name;
    unsigned threads;
    int pieces;
    int drain_after;  // a drain after this many pieces (0: none)
    std::vector<int> want;  // the order in which the pieces are finished
  };
  const Case cases[] = {
      {"one thread", 1, 8, 0, {1, 0, 3, 2, 5, 4, 7, 6}},
      {"one thread, an odd piece drained alone", 1, 9, 5, {1, 0, 3, 2, 4, 6, 5, 8, 7}},
      {"three threads", 3, 8, 0, {1, 0, 3, 2, 5, 4, 7, 6}},
      {"four threads, an odd piece drained alone", 4, 9, 5, {1, 0, 3, 2, 4, 6, 5, 8, 7}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OrderedWorkLimits l = limits(c.threads, 1, 1000);
    l.reverse_pairs = true;
    std::mutex m;
    std::vector<int> finished, written;
    {
      OrderedWork<Piece> work(
          l,
          [&] {
            return [&](Piece& p) {
              std::lock_guard<std::mutex> lock(m);
              finished.push_back(p.index);
            };
          },
          [&](Piece& p) {
            written.push_back(p.index);
            return Status{};
          });
      for (int i = 0; i < c.pieces; ++i) {
        ASSERT_TRUE(work.add(Piece{i}, 1).ok());
        if (i + 1 == c.drain_after) {
          ASSERT_TRUE(work.drain().ok());
        }
      }
      ASSERT_TRUE(work.drain().ok());
    }
    std::vector<int> in_order(static_cast<size_t>(c.pieces));
    for (int i = 0; i < c.pieces; ++i) in_order[static_cast<size_t>(i)] = i;
    EXPECT_EQ(written, in_order);
    ASSERT_EQ(finished.size(), c.want.size());
    if (c.threads == 1) {
      EXPECT_EQ(finished, c.want);
    }
    // With more threads only the pairs are ordered: each second one first.
    std::vector<size_t> at(finished.size());
    for (size_t k = 0; k < finished.size(); ++k) at[static_cast<size_t>(finished[k])] = k;
    for (size_t k = 0; k + 1 < c.want.size(); ++k)
      if (c.want[k] == c.want[k + 1] + 1) {
        EXPECT_LT(at[static_cast<size_t>(c.want[k])], at[static_cast<size_t>(c.want[k + 1])]);
      }
  }
}

TEST(OrderedWork, OutOfMemoryOnAThreadFailsTheRun) {
  OrderedWork<Piece> work(
      limits(2, 1, 1000),
      [] {
        return [](Piece& p) {
          if (p.throws) throw std::bad_alloc();
        };
      },
      [](Piece&) { return Status{}; });
  Status s;
  for (int i = 0; i < 10 && s.ok(); ++i) s = work.add(Piece{i, 0, false, i == 4}, 1);
  if (s.ok()) s = work.drain();
  EXPECT_EQ(s.code, ARC_E_INTERNAL);
}

TEST(OrderedWork, AWriteFailureStopsTheWriting) {
  int written = 0;
  OrderedWork<Piece> work(
      limits(2, 1, 1000), [] { return [](Piece&) {}; },
      [&](Piece& p) {
        if (p.index == 3) return Status::fail(ARC_E_WRITE, "disk full");
        ++written;
        return Status{};
      });
  Status s;
  for (int i = 0; i < 10 && s.ok(); ++i) s = work.add(Piece{i}, 1);
  if (s.ok()) s = work.drain();
  EXPECT_EQ(s.code, ARC_E_WRITE);
  EXPECT_EQ(written, 3);
}

}  // namespace
