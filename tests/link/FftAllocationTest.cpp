// Repeated 256-point transforms must not allocate: the twiddle table is kept.
// Global operator new is counted in this test binary only.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "link/Waveform.h"

namespace {
std::atomic<long> g_allocations{0};
}

// malloc/free behind the replaced operators are a matched pair; the compiler
// cannot see that.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

// Counts and forwards to the aligned allocator pair, so every new/delete of
// the binary stays matched.
void* operator new(std::size_t n) {
  ++g_allocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

TEST(ForwardFft, RepeatedTransformsOfOneLengthAllocateNothing) {
  std::vector<float> x(512, 1.0f);
  kt::ForwardFft(x.data(), 8);  // builds the table
  const long before = g_allocations.load();
  for (int i = 0; i < 1000; ++i) kt::ForwardFft(x.data(), 8);
  EXPECT_EQ(g_allocations.load(), before);
  kt::ForwardFft(x.data(), 4);  // another length rebuilds it
  EXPECT_GT(g_allocations.load(), before);
}
