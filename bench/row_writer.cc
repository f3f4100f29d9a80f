// The row writer against a plain snprintf("%f") writer of the same rows.

#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <string>

#include "bdf/glyph.h"

namespace {

// The rows of one Unifont-like glyph: a 16 by 16 cell drawn from the top.
constexpr uint32_t rows[16] = {0x0000, 0x0000, 0x0000, 0x0000, 0x0180, 0x0240, 0x0420, 0x0420,
                               0x0810, 0x0FF0, 0x0810, 0x0810, 0x0810, 0x0000, 0x0000, 0x0000};

template <bool fast> void glyph_rows(benchmark::State &state) {
  output out;
  std::string sink;
  if (!output_open(out, -1, &sink)) state.SkipWithError("no memory");
  pixel_texts texts;
  const float xstep = 32.0f;
  const float ystep = 64.0f;
  size_t bytes = 0;
  for (auto _ : state) {
    float top = 896.0f;
    for (uint32_t row : rows) {
      if constexpr (fast)
        draw_row(out, texts, row, 0x8000, 16, top, xstep, ystep);
      else
        draw_row_plain(out, row, 0x8000, 16, top, xstep, ystep);
      top = top - ystep;
    }
    bytes += out.len;
    out.len = 0; // the text itself is not kept
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  output_close(out);
}

BENCHMARK(glyph_rows<true>)->Name("draw_row");
BENCHMARK(glyph_rows<false>)->Name("draw_row_plain");

// Collects the time per iteration of each benchmark to print their ratio.
class ratio_reporter : public benchmark::ConsoleReporter {
public:
  std::map<std::string, double> times;
  void ReportRuns(const std::vector<Run> &runs) override {
    for (const Run &run : runs)
      times[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
};

} // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  ratio_reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (reporter.times.count("draw_row") && reporter.times.count("draw_row_plain"))
    std::printf("draw_row is %.1f times as fast as draw_row_plain\n",
                reporter.times["draw_row_plain"] / reporter.times["draw_row"]);
  benchmark::Shutdown();
  return 0;
}
