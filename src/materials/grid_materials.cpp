#include "materials/grid_materials.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

#include "core/check.hpp"
#include "core/constants.hpp"
#include "materials/constant_q.hpp"
#include "materials/stiffness.hpp"

namespace sw {

namespace {

enum Coefficient { k11, k13, k15, k33, k35, k55 };

/// The six coefficients of a turned stiffness, real parts.
std::array<double, 6> realParts(const TiltedStiffness& t) {
  return {t.p11.re, t.p13.re, t.p15.re, t.p33.re, t.p35.re, t.p55.re};
}

std::array<double, 6> realParts(const PlaneStiffness& p) {
  return {p.p11.re, p.p13.re, 0.0, p.p33.re, 0.0, p.p55.re};
}

/// A vertical-axis stiffness (C11, C13, C33, C55; C66 taken as C55, it does not reach the
/// plane) turned by `turn`, or as it is.
std::array<double, 6> turned(double c11, double c13, double c33, double c55, const AxisTurn* turn) {
  if (turn == nullptr) return {c11, c13, 0.0, c33, 0.0, c55};
  const auto r = [](double x) { return Cx{x, 0.0}; };
  return realParts(
      rotateAboutAxis2(r(c11), r(c13), r(c33), r(c55), r(c55), turn->ct, turn->st));
}

/// The constant-Q growth ratio^(2 g) of consecutive elements, formed again only when the
/// exponent changes (neighbouring elements mostly share their Q).
class GrowthMemo {
 public:
  explicit GrowthMemo(double logRatio) : logRatio_(logRatio) {}
  double operator()(double twoG) {
    if (!valid_ || twoG != twoG_) {
      growth_ = constantQGrowth(twoG, logRatio_);
      twoG_ = twoG;
      valid_ = true;
    }
    return growth_;
  }

 private:
  double logRatio_;
  bool valid_ = false;
  double twoG_ = 0.0;
  double growth_ = 1.0;
};

/// Arrays of one value per element, each made from the storage of a dataset given up
/// while there is one.
class ArrayStore {
 public:
  explicit ArrayStore(std::size_t n) : n_(n) {}
  /// Keeps the storage of `v` (left empty) for an array to come.
  void giveUp(std::vector<double>& v) {
    std::vector<double> kept = std::move(v);
    v = {};
    if (kept.size() == n_) spare_.push_back(std::move(kept));
  }
  /// An array of n values, in the storage of a dataset given up where one is left.
  std::vector<double> take() {
    if (spare_.empty()) return std::vector<double>(n_);
    std::vector<double> v = std::move(spare_.back());
    spare_.pop_back();
    return v;
  }

 private:
  std::size_t n_;
  std::vector<std::vector<double>> spare_;
};

}  // namespace

GridMaterials::GridMaterials(const PropertyGrid& grid) : GridMaterials(PropertyGrid(grid)) {}

GridMaterials::GridMaterials(PropertyGrid&& grid)
    : nx_(grid.nx),
      ny_(grid.ny),
      referenceOmega_(kTwoPi * grid.referenceFrequency),
      attenuating_(grid.attenuating()),
      tilted_(grid.tilted()) {
  const std::size_t n = grid.elements();
  SW_CHECK(grid.vp.size() == n && grid.vs.size() == n && grid.rho.size() == n,
           "property grid of nx by ny elements");
  for (const std::vector<double>* v : {&grid.qp, &grid.qs, &grid.epsilon, &grid.delta, &grid.tilt})
    SW_CHECK(v->empty() || v->size() == n, "property grid of nx by ny elements");
  const bool anisotropic = grid.anisotropic();
  // The values are read through these while the arrays below take over their storage:
  // every value of an element is read before anything of that element is written.
  const double* const vpIn = grid.vp.data();
  const double* const vsIn = grid.vs.data();
  const double* const rhoIn = grid.rho.data();
  const double* const epsIn = grid.epsilon.data();
  const double* const deltaIn = grid.delta.data();
  const double* const tiltIn = grid.tilt.data();
  const double* const qpIn = grid.qp.data();
  const double* const qsIn = grid.qs.data();
  ArrayStore store(n);
  for (std::vector<double>* v : {&grid.vp, &grid.vs, &grid.rho, &grid.epsilon, &grid.delta,
                                 &grid.tilt})
    store.giveUp(*v);

  rho_ = store.take();
  const auto size = [&](Part& part) {
    for (int c = 0; c < 6; ++c)
      if (tilted_ || (c != k15 && c != k35)) part[c] = store.take();
  };
  size(p_);
  if (attenuating_) {
    size(s_);
    twoGp_ = store.take();
    twoGs_ = store.take();
    inverseQp_ = store.take();
    inverseQs_ = store.take();
  }
  // The parts of an attenuating grid hold the real part of the law at the reference
  // frequency, its scale, as a factor.
  double scaleP = 1.0, scaleS = 1.0;
  const auto put = [&](Part& part, std::size_t k, const std::array<double, 6>& v) {
    const double scale = &part == &s_ ? scaleS : scaleP;
    for (int c = 0; c < 6; ++c)
      if (!part[c].empty()) part[c][k] = attenuating_ ? v[c] * scale : v[c];
  };

  for (std::size_t k = 0; k < n; ++k) {
    const double vp = vpIn[k], vs = vsIn[k], rho = rhoIn[k];
    const double eps = anisotropic ? epsIn[k] : 0.0;
    const double delta = anisotropic ? deltaIn[k] : 0.0;
    const double tilt = tilted_ ? tiltIn[k] : 0.0;
    rho_[k] = rho;
    if (attenuating_) {
      const ConstantQTerms lawP = constantQTerms(qpIn[k]), lawS = constantQTerms(qsIn[k]);
      twoGp_[k] = lawP.twoG;
      twoGs_[k] = lawS.twoG;
      inverseQp_[k] = lawP.inverseQ;
      inverseQs_[k] = lawS.inverseQ;
      scaleP = lawP.scale;
      scaleS = lawS.scale;
    }
    if (eps == 0.0 && delta == 0.0) {
      // Isotropic: the formulas of the tables, through lambda; a turn changes nothing.
      const double m = rho * vp * vp, g = rho * vs * vs;
      if (!attenuating_) {
        put(p_, k, realParts(isotropicStiffness(Cx{m, 0.0}, Cx{g, 0.0})));
      } else {
        put(p_, k, realParts(isotropicStiffness(Cx{m, 0.0}, Cx{})));
        put(s_, k, realParts(isotropicStiffness(Cx{}, Cx{g, 0.0})));
      }
      continue;
    }
    const ThomsenStiffness c = thomsenStiffness(vp, vs, rho, eps, delta);
    AxisTurn turn;
    const AxisTurn* by = nullptr;
    if (tilted_) {
      turn = axisTurn(tilt);
      by = &turn;
    }
    if (!attenuating_) {
      put(p_, k, turned(c.c11, c.c13, c.c33, c.c55, by));
    } else {
      put(p_, k, turned(c.c11, c.c13 + 2.0 * c.c55, c.c33, 0.0, by));
      put(s_, k, turned(0.0, -2.0 * c.c55, 0.0, c.c55, by));
    }
  }
}

void GridMaterials::fillMedium(int /*jw*/, double omega, Medium& med, int threads) const {
  SW_CHECK(med.nx() == nx_ && med.ny() == ny_, "medium of the property grid's size");
  const double logRatio = std::log(omega / referenceOmega_);
  med.closedFormRoots = true;
  const int rows = ny_ + 2;
  const int parts = std::max(1, std::min(threads, rows));
  // Row j of the medium (ghost rows included) from row clamp(j, 1, ny) of the grid; the
  // memos of the constant-Q growth are per thread and give what a fresh one would.
  const auto fillRow = [&](int j, GrowthMemo& growP, GrowthMemo& growS) {
    const std::size_t row = static_cast<std::size_t>(ny_ - std::clamp(j, 1, ny_)) * nx_;
    double* const rho = &med.rho(0, j);
    Cx* const out[6] = {&med.p11(0, j), &med.p13(0, j), &med.p15(0, j),
                        &med.p33(0, j), &med.p35(0, j), &med.p55(0, j)};
    const double* p[6];
    const double* s[6];
    for (int c = 0; c < 6; ++c) {
      p[c] = p_[c].empty() ? nullptr : p_[c].data() + row;
      s[c] = s_[c].empty() ? nullptr : s_[c].data() + row;
    }
    const double* const rhoRow = rho_.data() + row;
    const double* const gpRow = attenuating_ ? twoGp_.data() + row : nullptr;
    const double* const gsRow = attenuating_ ? twoGs_.data() + row : nullptr;
    const double* const qpRow = attenuating_ ? inverseQp_.data() + row : nullptr;
    const double* const qsRow = attenuating_ ? inverseQs_.data() + row : nullptr;
    for (int i = 0; i <= nx_ + 1; ++i) {
      const std::size_t k = static_cast<std::size_t>(std::clamp(i, 1, nx_) - 1);
      rho[i] = rhoRow[k];
      if (!attenuating_) {
        for (int c = 0; c < 6; ++c) out[c][i] = p[c] == nullptr ? Cx{} : Cx{p[c][k], 0.0};
        continue;
      }
      const double ep = growP(gpRow[k]), es = growS(gsRow[k]);
      const Cx fp{ep, ep * qpRow[k]}, fs{es, es * qsRow[k]};
      for (int c = 0; c < 6; ++c)
        out[c][i] = p[c] == nullptr ? Cx{} : p[c][k] * fp + s[c][k] * fs;
    }
  };
#pragma omp parallel num_threads(parts)
  {
    GrowthMemo growP(logRatio), growS(logRatio);
#pragma omp for schedule(static)
    for (int j = 0; j < rows; ++j) fillRow(j, growP, growS);
  }
}

namespace {

/// Whether the symmetric 2 by 2 matrix [a b; b c] has a real square root: positive
/// semidefinite, up to the rounding of a turned fluid's determinant.
bool hasRealRoot(double a, double b, double c) {
  const double det = a * c - b * b;
  return a >= 0.0 && c >= 0.0 && a + c > 0.0 && det >= -1e-12 * (a * c + b * b);
}

}  // namespace

std::optional<std::size_t> GridMaterials::firstWithoutNormalRoot(double omega) const {
  const double logRatio = std::log(omega / referenceOmega_);
  GrowthMemo growP(logRatio), growS(logRatio);
  const std::size_t n = rho_.size();
  for (std::size_t k = 0; k < n; ++k) {
    double fp = 1.0, fs = 1.0;
    if (attenuating_) {
      fp = growP(twoGp_[k]);
      fs = growS(twoGs_[k]);
    }
    const auto at = [&](int c) {
      if (p_[c].empty()) return 0.0;
      return attenuating_ ? p_[c][k] * fp + s_[c][k] * fs : p_[c][k];
    };
    const double p11 = at(k11), p15 = at(k15), p33 = at(k33), p35 = at(k35), p55 = at(k55);
    if (!hasRealRoot(p11, p15, p55) || !hasRealRoot(p55, p35, p33)) return k;
  }
  return std::nullopt;
}

std::size_t GridMaterials::bytesPerElement(bool attenuating, bool tilted) {
  const std::size_t coefficients = tilted ? 6 : 4;
  return sizeof(double) * (1 + (attenuating ? 2 * coefficients + 4 : coefficients));
}

std::size_t GridMaterials::peakBytesPerElement(bool attenuating, bool tilted) {
  return bytesPerElement(attenuating, tilted) + (attenuating ? 2 * sizeof(double) : 0);
}

std::size_t GridMaterials::bytes() const {
  return static_cast<std::size_t>(nx_) * static_cast<std::size_t>(ny_) *
         bytesPerElement(attenuating_, tilted_);
}

}  // namespace sw
