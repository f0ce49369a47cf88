// RenderDateTime against the C library's strftime on equivalent formats, in
// the same run and under the same LC_TIME locale (taken from the environment,
// as the program takes it). Each side starts from the date and time in the
// form it works on: the date-time value for RenderDateTime, a broken-down
// struct tm for strftime. Both write into a buffer of the caller's, which the
// text can be used from.
//
//   format_bench [Google Benchmark flags]
//   format_bench --count ours|theirs INDEX
//
// The second form renders format pair INDEX a thousand times with one side
// inside CountedRenders or CountedStrftimes, for callgrind to count the
// instructions of exactly those calls (--toggle-collect).

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

#include "datetime/calendar.h"
#include "datetime/format.h"
#include "datetime/settings.h"
#include "platform/platform.h"

namespace {

using clockcast::datetime::DateTimeValue;

// The formats in pairs: the same text up to padding, with the names from the
// locale.
struct FormatPair {
  const char* name;
  const char* ours;
  const char* theirs;
};
constexpr FormatPair kFormats[] = {
    {"numeric timestamp", "yyyy-mm-dd hh:nn:ss", "%Y-%m-%d %H:%M:%S"},
    {"long date with names", "dddd, mmmm d, yyyy", "%A, %B %e, %Y"},
    {"time with AM/PM", "h:nn am/pm", "%l:%M %p"},
};

// Tuesday, 5 March 2024, 14:07:09.250: an afternoon, so that the 12-hour
// forms have an hour to convert.
DateTimeValue Value() {
  using namespace clockcast::datetime;
  return ComposeDate(2024, 3, 5) + ComposeTime(14, 7, 9, 250);
}

std::tm BrokenDown() {
  std::tm tm{};
  tm.tm_year = 2024 - 1900;
  tm.tm_mon = 3 - 1;
  tm.tm_mday = 5;
  tm.tm_hour = 14;
  tm.tm_min = 7;
  tm.tm_sec = 9;
  const std::time_t t = timegm(&tm);  // fills in the weekday and the day of the year
  gmtime_r(&t, &tm);
  return tm;
}

void RenderDateTime(benchmark::State& state, const char* format) {
  const DateTimeValue value = Value();
  char text[clockcast::datetime::kRenderCapacity];
  for (auto _ : state) {
    const std::size_t n = clockcast::datetime::RenderDateTime(format, value, text);
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
}

void Strftime(benchmark::State& state, const char* format) {
  const std::tm tm = BrokenDown();
  char text[clockcast::datetime::kRenderCapacity];
  for (auto _ : state) {
    const std::size_t n = std::strftime(text, sizeof text, format, &tm);
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
}

constexpr int kCountedCalls = 1000;

[[gnu::noinline]] std::size_t CountedRenders(const char* format, DateTimeValue value) {
  std::size_t total = 0;
  char text[clockcast::datetime::kRenderCapacity];
  for (int i = 0; i < kCountedCalls; ++i) {
    total += clockcast::datetime::RenderDateTime(format, value, text);
  }
  return total;
}

[[gnu::noinline]] std::size_t CountedStrftimes(const char* format, const std::tm& tm) {
  std::size_t total = 0;
  char text[clockcast::datetime::kRenderCapacity];
  for (int i = 0; i < kCountedCalls; ++i) total += std::strftime(text, sizeof text, format, &tm);
  return total;
}

int Count(std::string_view side, std::size_t index) {
  if (index >= std::size(kFormats) || (side != "ours" && side != "theirs")) return 2;
  const FormatPair& pair = kFormats[index];
  const std::size_t total = side == "ours" ? CountedRenders(pair.ours, Value())
                                           : CountedStrftimes(pair.theirs, BrokenDown());
  return total > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // The program's own start-up: LC_TIME from the environment, then the
  // settings from it.
  clockcast::platform::StartUp(argc, argv);
  clockcast::datetime::LoadFormatSettings();
  if (argc == 4 && std::string_view(argv[1]) == "--count") {
    return Count(argv[2], static_cast<std::size_t>(std::strtoul(argv[3], nullptr, 10)));
  }
  for (const FormatPair& pair : kFormats) {
    benchmark::RegisterBenchmark((std::string(pair.name) + "/RenderDateTime").c_str(),
                                 RenderDateTime, pair.ours);
    benchmark::RegisterBenchmark((std::string(pair.name) + "/strftime").c_str(), Strftime,
                                 pair.theirs);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  clockcast::datetime::ReleaseFormatSettings();
  return 0;
}
