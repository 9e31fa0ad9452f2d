#pragma once
/// The accelerated iteration of one frequency: the same passes as the plain iteration,
/// with the carried part of the state moved after each pass to the point Anderson mixing
/// proposes from the last passes.  Its fixed point is the plain iteration's.

#include <cstddef>
#include <functional>
#include <vector>

#include "core/anderson_mixer.hpp"
#include "core/complex.hpp"
#include "core/state_bytes.hpp"
#include "coupling/iteration.hpp"

namespace sw {

/// Which frequencies the accelerated iteration mixes.
enum class Acceleration {
  off,        ///< none: the established iteration
  whereSlow,  ///< those after a frequency that took more than kMixAfterPasses passes or did
              ///< not converge; the others run the established iteration unchanged
  always,     ///< every frequency
  krylov,     ///< every frequency by GMRES on the carried state in place of mixing
              ///< (KrylovIteration): the strip iteration of a matched layer
};

/// Passes of the established iteration from which mixing pays.  A mixed frequency ends
/// under a five times stricter test, which costs some 20 to 30 passes; measured on the
/// example and on a layered 100 by 100 grid at reduc 1e-3 and 1e-6, frequencies that
/// the established iteration finishes in fewer passes than about this took more passes
/// mixed, slower ones fewer.  Neighbouring frequencies need similar numbers of passes,
/// so the frequency before decides.
constexpr int kMixAfterPasses = 150;

/// Reads and writes the carried part of the current fields as a flat vector.
struct CarriedAccess {
  std::size_t size = 0;
  std::function<void(Cx* x)> extract;
  std::function<void(const Cx* x)> insert;
};

/// History and work vectors of the accelerated iteration, sized once to the grid and
/// shared by the shots (the history starts afresh with every frequency of every shot);
/// which frequencies are mixed is decided per shot.
class AcceleratedIteration {
 public:
  AcceleratedIteration(std::size_t n, const AndersonSettings& settings, int threads,
                       Acceleration which, int shots = 1);

  /// The passes of frequency jw for shot `shot` (0-based): mixed (iterateMixed) or, where
  /// `which` leaves this frequency to the established iteration, iteratePasses itself.
  IterationResult iterate(int shot, int jw, IterationControl& ctl, const Pass& pass,
                          const CarriedAccess& state, PassObserver& observer);

  /// Passes iter = 1 .. maxit as iteratePasses makes them, told to the same observer.
  /// After each pass the mixer takes the carried state before and after it and proposes
  /// the next one, which is put in place of the pass's result.  The iteration ends on a
  /// pass that started from the unaltered result of the pass before (or from the fields
  /// the frequency began with) and changed the displacements by less than a fifth of
  /// reduc: the test of the plain iteration on a plain iterate, made stricter.  A pass
  /// below that bound from a mixed state is therefore followed by one plain pass.
  IterationResult iterateMixed(int jw, IterationControl& ctl, const Pass& pass,
                               const CarriedAccess& state, PassObserver& observer);

  /// Whether the next frequency iterate() is given for `shot` will be mixed.
  bool mixesNext(int shot) const {
    return which_ == Acceleration::always ||
           (which_ == Acceleration::whereSlow && slowBefore_[static_cast<std::size_t>(shot)]);
  }

  /// Bytes of the mixer's history and of the two work vectors.
  std::size_t bytes() const;

  /// What carries over to the next frequencies (which shots are mixed next; the history
  /// starts afresh with every frequency), as raw bytes, and back.
  void saveCarried(StateWriter& out) const;
  void restoreCarried(StateReader& in);

 private:
  Anderson<Cx> mixer_;
  std::vector<Cx> x_, image_;
  Acceleration which_;
  /// Per shot: the frequency before took more than kMixAfterPasses passes or did not
  /// converge.
  std::vector<bool> slowBefore_;
};

}  // namespace sw
