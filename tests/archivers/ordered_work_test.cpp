// The core's ordered work: pieces worked on by several threads come back in
// the order given, memory stays bounded, and a failed piece fails the run.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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
