// Packet building against the cost of merely copying the same bytes into a
// fresh buffer, measured in the same run. The heap is told to keep what is
// freed, so that both sides get their buffers from warm memory: otherwise
// the side that frees more at once hands it back to the system and pays
// this machine's slow page faults, measuring the machine and not the code.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "packet_strings.h"

namespace {

// Live and peak heap bytes, to check what a build keeps alive at once.
std::atomic<std::size_t> g_live{0};
std::atomic<std::size_t> g_peak{0};

constexpr std::size_t kNoteBytes = std::size_t{16} << 20;
constexpr std::size_t kRecipients = 200000;

std::string MakeNote() {
  std::string note(kNoteBytes, 'x');
  for (std::size_t i = 63; i < note.size(); i += 64) note[i] = '\n';
  for (std::size_t i = 1000; i < note.size(); i += 4099) note[i] = '\r';
  return note;
}

struct Recipients {
  std::vector<std::string> names;
  std::vector<std::string> addresses;
  std::vector<MapiRecipDesc> records;
  // Every name and address back to back: the baseline copies this.
  std::string block;
};

const Recipients &TheRecipients() {
  static const Recipients recipients = [] {
    Recipients r;
    r.names.reserve(kRecipients);
    r.addresses.reserve(kRecipients);
    for (std::size_t i = 0; i < kRecipients; ++i) {
      r.names.push_back("Recipient Number " + std::to_string(i));
      r.addresses.push_back("recipient." + std::to_string(i) + "@example.org");
      r.block += r.names.back();
      r.block += r.addresses.back();
    }
    r.records.resize(kRecipients);
    for (std::size_t i = 0; i < kRecipients; ++i) {
      r.records[i].ulRecipClass = MAPI_TO;
      r.records[i].lpszName = const_cast<char *>(r.names[i].c_str());
      r.records[i].lpszAddress = const_cast<char *>(r.addresses[i].c_str());
    }
    return r;
  }();
  return recipients;
}

void CopyNote(benchmark::State &state) {
  const std::string note = MakeNote();
  while (state.KeepRunning()) {
    std::string copy(note);
    benchmark::DoNotOptimize(copy.data());
  }
}

void BuildNotePacket(benchmark::State &state) {
  std::string note = MakeNote();
  MapiMessage message{};
  message.lpszNoteText = note.data();
  while (state.KeepRunning()) {
    auto packet = quillory::BuildMailPacketBytes(message);
    benchmark::DoNotOptimize(packet->data());
  }
}

void CopyRecipients(benchmark::State &state) {
  const Recipients &r = TheRecipients();
  while (state.KeepRunning()) {
    std::string copy(r.block);
    benchmark::DoNotOptimize(copy.data());
  }
}

void BuildRecipientPacket(benchmark::State &state) {
  const Recipients &r = TheRecipients();
  MapiMessage message{};
  message.nRecipCount = static_cast<ULONG>(kRecipients);
  message.lpRecips = const_cast<MapiRecipDesc *>(r.records.data());
  while (state.KeepRunning()) {
    auto packet = quillory::BuildMailPacketBytes(message);
    benchmark::DoNotOptimize(packet->data());
  }
}

BENCHMARK(CopyNote)->Unit(benchmark::kMillisecond);
BENCHMARK(BuildNotePacket)->Unit(benchmark::kMillisecond);
BENCHMARK(CopyRecipients)->Unit(benchmark::kMillisecond);
BENCHMARK(BuildRecipientPacket)->Unit(benchmark::kMillisecond);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &run : runs) {
      times[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

bool PrintRatio(const RatioReporter &reporter, const char *what,
                const char *build, const char *baseline, double limit) {
  const auto b = reporter.times.find(build);
  const auto c = reporter.times.find(baseline);
  if (b == reporter.times.end() || c == reporter.times.end()) return true;
  const double ratio = b->second / c->second;
  const bool ok = ratio <= limit;
  std::printf("ratio %-40s %6.2fx  (target at most %.0fx)  %s\n", what, ratio,
              limit, ok ? "ok" : "OVER TARGET");
  return ok;
}

// Heap held at once while one 16 MiB note is packed, beyond the caller's
// own text and the packet itself.
void ReportPeakHeap() {
  std::string note = MakeNote();
  MapiMessage message{};
  message.lpszNoteText = note.data();
  const std::size_t before = g_live.load();
  g_peak.store(before);
  std::size_t packet_size = 0;
  {
    auto packet = quillory::BuildMailPacketBytes(message);
    packet_size = packet->size();
  }
  const double extra = static_cast<double>(g_peak.load() - before) -
                       static_cast<double>(packet_size);
  std::printf(
      "peak heap while packing a 16 MiB note: the packet plus %.1f KiB "
      "(target at most 8 KiB)  %s\n",
      extra / 1024, extra <= 8192 ? "ok" : "OVER TARGET");
}

}  // namespace

// Replacements of the global allocation functions, which GCC cannot tell
// from the ordinary ones it checks against.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void *operator new(std::size_t size) {
  void *p = std::malloc(size + sizeof(std::max_align_t));
  if (p == nullptr) throw std::bad_alloc();
  *static_cast<std::size_t *>(p) = size;
  const std::size_t live = g_live.fetch_add(size) + size;
  std::size_t peak = g_peak.load();
  while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
  }
  return static_cast<char *>(p) + sizeof(std::max_align_t);
}

void operator delete(void *p) noexcept {
  if (p == nullptr) return;
  char *block = static_cast<char *>(p) - sizeof(std::max_align_t);
  g_live.fetch_sub(*reinterpret_cast<std::size_t *>(block));
  std::free(block);
}

void operator delete(void *p, std::size_t /*size*/) noexcept {
  operator delete(p);
}
#pragma GCC diagnostic pop

int main(int argc, char **argv) {
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  PrintRatio(reporter, "16 MiB note: build / copy", "BuildNotePacket",
             "CopyNote", 4);
  PrintRatio(reporter, "200,000 recipients: build / copy",
             "BuildRecipientPacket", "CopyRecipients", 10);
  ReportPeakHeap();
  benchmark::Shutdown();
  return 0;
}
