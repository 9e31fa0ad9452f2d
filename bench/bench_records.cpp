// Cost of the record layer's hot paths: one-value g15.4 snapshot writes, e20.8 pairs,
// a log line with literals, and a whole snapshot file through OutFile.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "records/layout.hpp"
#include "records/out_file.hpp"
#include "records/render.hpp"
#include "records/value.hpp"

namespace {

/// Velocities of a plausible snapshot: mostly small, a few zeros, wide exponent range.
std::vector<double> sampleValues(std::size_t n) {
  std::mt19937_64 gen(12345);
  std::uniform_real_distribution<double> mant(-1.0, 1.0);
  std::uniform_int_distribution<int> expo(-12, 6);
  std::vector<double> v(n);
  for (std::size_t k = 0; k < n; ++k) {
    v[k] = (k % 97 == 0) ? 0.0 : mant(gen) * std::pow(10.0, expo(gen));
  }
  return v;
}

/// Keeps the output buffer from growing without bound, as a file buffer would.
void recycle(std::string& out) {
  if (out.size() > (1u << 16)) out.clear();
}

void BM_G154OneValue(benchmark::State& state) {
  static const sw::rec::Layout layout("(g15.4)");
  const auto values = sampleValues(4096);
  std::string out;
  out.reserve(1u << 17);
  std::size_t k = 0;
  for (auto _ : state) {
    sw::rec::renderReals(out, layout, std::span<const double>(&values[k], 1));
    k = (k + 1) & 4095;
    recycle(out);
  }
  benchmark::DoNotOptimize(out.data());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_G154OneValue);

void BM_E208Pair(benchmark::State& state) {
  static const sw::rec::Layout layout("(2e20.8)");
  const auto values = sampleValues(4096);
  std::string out;
  out.reserve(1u << 17);
  std::size_t k = 0;
  for (auto _ : state) {
    sw::rec::renderReals(out, layout, std::span<const double>(&values[k], 2));
    k = (k + 2) & 4095;
    recycle(out);
  }
  benchmark::DoNotOptimize(out.data());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_E208Pair);

void BM_LogLayout(benchmark::State& state) {
  static const sw::rec::Layout layout(
      "(/1x,'receiver i =',i5,3x,'irx & iry = ',2i5,/,15x,              'rx(i) & ry(i) = ', "
      "2g15.8, '  m')");
  std::string out;
  out.reserve(1u << 17);
  int i = 0;
  for (auto _ : state) {
    const sw::rec::Value values[] = {i, 11 + i, 21, 10.0 + 2.5 * i, 0.0};
    sw::rec::render(out, layout, values);
    i = (i + 1) & 255;
    recycle(out);
  }
  benchmark::DoNotOptimize(out.data());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogLayout);

/// Reference point: the digits of one e20.8 field from snprintf.
void BM_SnprintfDigitsE208(benchmark::State& state) {
  const auto values = sampleValues(4096);
  char buf[64];
  std::size_t k = 0;
  for (auto _ : state) {
    std::snprintf(buf, sizeof buf, "%.7e", values[k]);
    benchmark::DoNotOptimize(buf);
    k = (k + 1) & 4095;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SnprintfDigitsE208);

/// A 600 x 600 snapshot written one g15.4 value per record through OutFile.
void BM_SnapshotFile(benchmark::State& state) {
  static const sw::rec::Layout layout("(g15.4)");
  const auto values = sampleValues(600 * 600);
  const auto path = std::filesystem::temp_directory_path() / "stripwave-bench-fort.501";
  for (auto _ : state) {
    sw::rec::OutFile out;
    out.open(path.string());
    for (std::size_t k = 0; k < values.size(); ++k) {
      out.writeReals(layout, std::span<const double>(&values[k], 1));
    }
  }
  std::filesystem::remove(path);
  state.SetItemsProcessed(state.iterations() * static_cast<long>(values.size()));
}
BENCHMARK(BM_SnapshotFile)->Unit(benchmark::kMillisecond);

}  // namespace
