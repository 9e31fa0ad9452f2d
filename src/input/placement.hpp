#pragma once
/// Source and receiver placement: the source element and the receiver elements of the
/// receiver line, from positions in metres.

#include <optional>

#include "model/run_params.hpp"
#include "records/in_file.hpp"
#include "records/out_file.hpp"

namespace sw {

/// A source placed elsewhere than the deck says (a shot of a survey): its position in
/// metres and, when given, its pattern.  The deck's entries are still read.
struct SourceOverride {
  double x = 0.0, y = 0.0;
  std::optional<int> kdel;
};

/// Element index along one axis of a point at coordinate x: int(x / h + 1).
int elementIndex(double x, double h);

/// Entries 22 and 23 (kdel, tmute) and the echo of kdel (the override's, if it has one);
/// returns tmute.
double readSourceMode(rec::InFile& deck, rec::OutFile& log, RunParams& par,
                      const SourceOverride* over = nullptr);

/// Mute length in samples and its echo (no later step uses it).
void echoMute(rec::OutFile& log, double tmute, double dt);

/// Entries 24 to 26 (xsou, ysou, nrec), the source element, its checks and echoes; with
/// an override, its position in place of the deck's.
void placeSource(rec::InFile& deck, rec::OutFile& log, RunParams& par, const Limits& lim = {},
                 const SourceOverride* over = nullptr);

/// Entries 27 to 30 (the receiver line), its echo, the receiver elements and warnings.
void placeReceivers(rec::InFile& deck, rec::OutFile& log, RunParams& par);

}  // namespace sw
