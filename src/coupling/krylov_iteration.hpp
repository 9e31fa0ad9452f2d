#pragma once
/// GMRES on the fixed point of the strip iteration: the passes solve the strips as the
/// plain iteration does, but the carried state each pass starts from is chosen by the
/// restarted GMRES method applied to x - P(x) = 0, P the pass as a map of the carried
/// Robin data.  The plain exchange amplifies some fields where a strip's operator is not
/// dissipative (the stretched terms of a matched layer); GMRES needs no contraction, only
/// a nonsingular I - P', at one pass per step (restarted, it may still stall where the
/// spectrum of I - P' crowds the origin).  Its fixed point is the plain iteration's.

#include <cstddef>
#include <vector>

#include "core/complex.hpp"
#include "coupling/accelerated_iteration.hpp"
#include "coupling/iteration.hpp"

namespace sw {

/// Steps of the restarted GMRES method between restarts.
struct KrylovSettings {
  /// Basis vectors kept (each a carried state): the steps of one cycle.
  int restart = 40;
};

/// Basis, Hessenberg matrix and work vectors, sized once to the grid and shared by the
/// shots; each frequency of each shot starts afresh from the fields it is given.
class KrylovIteration {
 public:
  KrylovIteration(std::size_t n, const KrylovSettings& settings, int threads);

  /// Passes of frequency jw, at most ctl.maxit in all: the first from the fields the
  /// frequency begins with, then cycles of GMRES steps (a cycle ends after `restart`
  /// steps or when GMRES estimates the residual below a fifth of reduc), each followed by
  /// a pass from its iterate (the image the fields end with if the limit falls there) and
  /// a pass from that image, measured as the plain iteration measures a pass: the
  /// frequency converges when its change of the displacements is below a fifth of reduc.  The pass must not relax towards the
  /// previous iterate (its output is then a function of the carried state alone).  Every
  /// pass is told to `observer`: a measured pass with its change, the others with the
  /// relative residual GMRES estimates for its iterate.
  IterationResult iterate(int jw, IterationControl& ctl, const Pass& pass,
                          const CarriedAccess& state, PassObserver& observer);

  /// Bytes of the basis and the work vectors.
  std::size_t bytes() const;

 private:
  Cx* basis(int k) { return basis_.data() + static_cast<std::size_t>(k) * n_; }
  Cx& hess(int row, int col) { return hess_[static_cast<std::size_t>(col * (m_ + 1) + row)]; }

  std::size_t n_;
  int m_;
  int threads_;
  std::vector<Cx> basis_;         ///< m + 1 vectors of n
  std::vector<Cx> x_, image_, w_;  ///< the cycle's start, its image P(x), the new direction
  std::vector<Cx> hess_;           ///< (m + 1) by m, by columns
  std::vector<double> cs_;  ///< the rotations' cosines
  std::vector<Cx> sn_, g_, y_, dots_, scratch_;
  std::vector<const Cx*> cols_;
};

}  // namespace sw
