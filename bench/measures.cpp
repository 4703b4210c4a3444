#include "measures.h"

#include <psapi.h>

#include <bzlib.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>

namespace bench {

double Stopwatch::milliseconds() const {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart - start_.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

void MemoryPeak::sample() {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters))
    return;
  const std::uint64_t now = std::max(static_cast<std::uint64_t>(counters.PeakPagefileUsage),
                                     static_cast<std::uint64_t>(counters.PrivateUsage));
  std::uint64_t seen = peak_.load();
  while (now > seen && !peak_.compare_exchange_weak(seen, now)) {
  }
}

MemorySampler::MemorySampler(MemoryPeak& peak) : peak_(peak) {
  peak_.sample();
  thread_ = std::thread([this] {
    while (!stop_.load()) {
      peak_.sample();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
}

MemorySampler::~MemorySampler() {
  stop_.store(true);
  thread_.join();
  peak_.sample();
}

std::uint64_t RawDecode(const char* data, std::size_t size) {
  char output[4096];
  std::uint64_t total = 0;
  std::size_t offset = 0;
  while (offset < size) {
    bz_stream stream{};
    if (BZ2_bzDecompressInit(&stream, 0, 0) != BZ_OK) throw std::runtime_error("BZ2_bzDecompressInit failed");
    stream.next_in = const_cast<char*>(data + offset);
    stream.avail_in = static_cast<unsigned int>(size - offset);
    int status = BZ_OK;
    while (status == BZ_OK) {
      stream.next_out = output;
      stream.avail_out = sizeof output;
      status = BZ2_bzDecompress(&stream);
      total += sizeof output - stream.avail_out;
      if (status == BZ_OK && stream.avail_in == 0 && stream.avail_out != 0) status = BZ_UNEXPECTED_EOF;
    }
    offset = size - stream.avail_in;
    BZ2_bzDecompressEnd(&stream);
    if (status != BZ_STREAM_END) throw std::runtime_error("libbz2 failed with " + std::to_string(status));
  }
  return total;
}

}  // namespace bench
