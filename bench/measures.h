#pragma once
// What the benchmarks measure with: a stopwatch, the peak private memory of the process (sampled
// by the caller or by a thread of its own) and the reference, one plain libbz2 decode pass.

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>

namespace bench {

constexpr double mebibyte = 1024.0 * 1024.0;

class Stopwatch {
 public:
  Stopwatch() { QueryPerformanceCounter(&start_); }
  double milliseconds() const;

 private:
  LARGE_INTEGER start_;
};

// The peak commit charge of the process. Windows keeps the peak itself; Wine reports the current
// charge in both fields (its anonymous resident memory), so the largest value seen at the sampling
// points is kept as well.
class MemoryPeak {
 public:
  void sample();
  std::uint64_t peak() const noexcept { return peak_.load(); }
  double peakMegabytes() const noexcept { return static_cast<double>(peak()) / mebibyte; }

 private:
  std::atomic<std::uint64_t> peak_ = 0;
};

// Samples a MemoryPeak every few milliseconds from a thread of its own while it lives, for code
// that offers no sampling points of its own.
class MemorySampler {
 public:
  explicit MemorySampler(MemoryPeak& peak);
  MemorySampler(const MemorySampler&) = delete;
  MemorySampler& operator=(const MemorySampler&) = delete;
  ~MemorySampler();

 private:
  MemoryPeak& peak_;
  std::atomic<bool> stop_ = false;
  std::thread thread_;
};

// One decode pass over bytes that may hold several concatenated bzip2 streams, in standard mode
// into a 4096-byte buffer whose contents are discarded; returns the number of decompressed bytes.
// Throws std::runtime_error when libbz2 fails.
std::uint64_t RawDecode(const char* data, std::size_t size);

}  // namespace bench
