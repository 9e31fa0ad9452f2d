#pragma once
/// The period of the frequency sampling and the waves that outlast it.
///
/// The frequency solutions are summed at (j - 1/2) delf, so traces and snapshots repeat
/// with the period 1 / delf = npf / f4 (with the sign flipped after each period).  Energy
/// still in the model when the record ends keeps arriving for about as long as the
/// slowest wave takes to cross the model; when the record length plus that time exceeds
/// the period, those late arrivals fold back into the start of the record.  The rule is
/// the one the Python model builder warns with, so both name the same npf.

#include <optional>
#include <string>

#include "materials/property_grid.hpp"

namespace sw {

/// Whether npf gives the band as many frequency indices as the tables have records for
/// this f4: int(f4 / delf + 1) - 1 == int(f4 / delf), delf = f4 / npf.
bool bandMatchesTables(int npf, double f4);

/// The smallest npf, at least `start`, whose period npf / f4 reaches `period`, with the
/// band and the tables in step; nullopt when it would exceed 10^8.
std::optional<int> npfForPeriod(double period, double f4, int start = 1);

/// The slowest wave of a model and what it is, for the message.
struct SlowestWave {
  double velocity = 0.0;
  std::string what;  ///< "the slowest S wave", or "the slowest P wave (in the fluid)"
};

/// The slowest wave of a gridded model: the S waves of its solids (vs > 0), the P waves
/// of its fluids, whichever is slower (the velocities as the model gives them).
SlowestWave slowestWave(const PropertyGrid& grid);

/// What a record needs of the period: its length, the axis and the model's extent.
struct RecordSpan {
  double stime = 0.0;  ///< record length
  double f4 = 0.0;
  int npf = 0;
  double width = 0.0, height = 0.0;  ///< nx h and ny h
  SlowestWave slowest;
};

/// A record that outlasts the period.
struct WrapAround {
  double period = 0.0;     ///< npf / f4
  double crossing = 0.0;   ///< the slowest wave's time along the model's diagonal
  double needed = 0.0;     ///< stime + crossing
  std::optional<int> npf;  ///< the npf that holds it
};

/// The wrap-around of a record: nothing when stime plus the slowest wave's time along the
/// model's diagonal stays within the period npf / f4.
std::optional<WrapAround> wrapAround(const RecordSpan& r);

/// The warning about it, naming the npf that would avoid it.
std::string wrapAroundText(const RecordSpan& r, const WrapAround& w);

}  // namespace sw
