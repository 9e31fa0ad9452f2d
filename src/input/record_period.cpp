#include "input/record_period.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "core/truncate.hpp"
#include "model/run_params.hpp"

namespace sw {

namespace {

/// A number for the message, as printf's %.<digits>g writes it.
std::string shortText(double x, int digits) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.*g", digits, x);
  return buf;
}

/// The largest npf suggested: beyond it no deck would run.
constexpr double kLargestNpf = 1e8;

}  // namespace

bool bandMatchesTables(int npf, double f4) {
  const double delf = f4 / npf;
  return truncateToInt(f4 / delf + 1.0) - 1 == truncateToInt(f4 / delf);
}

std::optional<int> npfForPeriod(double period, double f4, int start) {
  const double first = std::ceil(period * f4 - 1e-9);
  if (!(first <= kLargestNpf) || !(f4 > 0.0)) return std::nullopt;
  int npf = std::max(start, static_cast<int>(first));
  while (npf / f4 < period || !bandMatchesTables(npf, f4)) {
    if (npf >= kLargestNpf) return std::nullopt;
    ++npf;
  }
  return npf;
}

SlowestWave slowestWave(const PropertyGrid& grid) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  double solid = kInf, fluid = kInf;
  for (std::size_t k = 0; k < grid.elements(); ++k) {
    if (grid.vs[k] > 0.0)
      solid = std::min(solid, grid.vs[k]);
    else
      fluid = std::min(fluid, grid.vp[k]);
  }
  if (solid <= fluid) return {solid, "the slowest S wave"};
  return {fluid, "the slowest P wave (in the fluid)"};
}

std::optional<WrapAround> wrapAround(const RecordSpan& r) {
  WrapAround w;
  w.period = r.npf / r.f4;
  w.crossing = std::hypot(r.width, r.height) / r.slowest.velocity;
  w.needed = r.stime + w.crossing;
  // Not a number (a record the input checks refuse elsewhere) warns of nothing.
  if (!(w.needed > w.period)) return std::nullopt;
  w.npf = npfForPeriod(w.needed, r.f4, r.npf + 1);
  return w;
}

std::string wrapAroundText(const RecordSpan& r, const WrapAround& w) {
  std::string text =
      "stime = " + shortText(r.stime, 6) + " plus " + r.slowest.what +
      "'s time across the model (" + shortText(std::hypot(r.width, r.height), 5) + " at " +
      shortText(r.slowest.velocity, 4) + ": " + shortText(w.crossing, 5) + ") is " +
      shortText(w.needed, 5) + ", past the period 1/delf = npf / f4 = " + shortText(w.period, 6) +
      " of the frequency sampling (npf = " + std::to_string(r.npf) +
      "): arrivals after the period wrap around into the start of the traces and snapshots "
      "with the sign flipped; ";
  if (w.npf) {
    text += "npf = " + std::to_string(*w.npf) + " (period " + shortText(*w.npf / r.f4, 6) +
            ") holds them";
    if (*w.npf > kMaxFreqs)
      text +=
          " (with --lift-limits: more than " + std::to_string(kMaxFreqs) + " frequency indices)";
  } else {
    text += "no npf up to 10^8 holds them";
  }
  return text + ", or --complex-frequency damps them";
}

}  // namespace sw
