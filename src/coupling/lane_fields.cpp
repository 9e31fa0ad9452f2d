#include "coupling/lane_fields.hpp"

#include <bit>
#include <cmath>
#include <cstdint>

namespace sw {

namespace {

bool positiveZero(Cx a) {
  return std::bit_cast<std::uint64_t>(a.re) == 0 && std::bit_cast<std::uint64_t>(a.im) == 0;
}
bool sameBits(Cx a, Cx b) {
  return std::bit_cast<std::uint64_t>(a.re) == std::bit_cast<std::uint64_t>(b.re) &&
         std::bit_cast<std::uint64_t>(a.im) == std::bit_cast<std::uint64_t>(b.im);
}

}  // namespace

LaneFields::LaneFields(int nx, int ny, int parities) : nx_(nx), parities_(parities), groups_(ny) {
  // Per parity: a zero group before the first, the groups, a zero group after the last.
  std::size_t total = 0;
  std::size_t start[2] = {0, 0};
  for (int p = 0; p < 2; ++p) {
    if (!(parities & (1 << p))) continue;
    start[p] = total + blockEntries();
    total += (static_cast<std::size_t>(groups_.count[p]) + 2) * blockEntries();
  }
  v_.assign(total, LaneCx{});
  for (int p = 0; p < 2; ++p)
    if (parities & (1 << p)) base_[p] = v_.data() + start[p];
}

void LaneFields::keepVertical() {
  if (keepsVertical()) return;
  std::size_t start[2] = {0, 0}, total = 0;
  for (int p = 0; p < 2; ++p) {
    if (!(parities_ & (1 << p))) continue;
    start[p] = total;
    total += static_cast<std::size_t>(groups_.count[p]) * 4 * nx_;
  }
  vert_.assign(total, LaneCx{});
  for (int p = 0; p < 2; ++p) {
    if (!(parities_ & (1 << p))) continue;
    vbase_[p] = vert_.data() + start[p];
    for (int g = 0; g < groups_.count[p]; ++g) {
      const LaneCx* tail = block(p, g) + static_cast<std::size_t>(nx_) * field::kPerElement;
      LaneCx* v = vertical(p, g);
      v[0] = tail[field::kG1l];
      v[1] = tail[field::kG2l];
      v[4 * (nx_ - 1) + 2] = tail[field::kG1r];
      v[4 * (nx_ - 1) + 3] = tail[field::kG2r];
    }
  }
}

void LaneFields::dropVerticalIfZero() {
  if (!keepsVertical()) return;
  for (int p = 0; p < 2; ++p) {
    if (!(parities_ & (1 << p))) continue;
    for (int g = 0; g < groups_.count[p]; ++g) {
      const LaneCx* v = vertical(p, g);
      for (int i = 1; i <= nx_; ++i)
        for (int q = 0; q < 4; ++q) {
          const bool outer = (i == 1 && q < 2) || (i == nx_ && q >= 2);
          if (outer) continue;
          const LaneCx& x = v[4 * (i - 1) + q];
          for (int l = 0; l < kLanes; ++l)
            if (!positiveZero(lane(x, l))) return;
        }
    }
  }
  vert_.clear();
  vert_.shrink_to_fit();
  vbase_[0] = vbase_[1] = nullptr;
}

Cx LaneFields::displacement(int q, int i, int s) const {
  const LaneSlot at = StripGroups::slot(s);
  const LaneCx* b = block(at.p, at.group);
  const int c = q / 4, edge = q % 4;  // component 0/1, edge l t b r
  const LaneCx* v;
  if (edge == 3)
    v = i == nx_ ? b + static_cast<std::size_t>(nx_) * field::kPerElement + field::kU1r + c
                 : b + static_cast<std::size_t>(i) * field::kPerElement + field::kU1l + c;
  else
    v = b + static_cast<std::size_t>(i - 1) * field::kPerElement + 2 * edge + c;
  return lane(*v, at.lane);
}

void LaneFields::exportTo(EdgeFields& f) const {
  for (auto* g : f.arrays()) g->fill(Cx{});
  for (int s = 1; s <= groups_.ny; ++s) {
    const LaneSlot at = StripGroups::slot(s);
    const LaneCx* b = block(at.p, at.group);
    const int l = at.lane;
    for (int i = 1; i <= nx_; ++i) {
      const LaneCx* e = b + static_cast<std::size_t>(i - 1) * field::kPerElement;
      f.u1.l(i, s) = lane(e[field::kU1l], l);
      f.u2.l(i, s) = lane(e[field::kU2l], l);
      f.u1.t(i, s) = lane(e[field::kU1t], l);
      f.u2.t(i, s) = lane(e[field::kU2t], l);
      f.u1.b(i, s) = lane(e[field::kU1b], l);
      f.u2.b(i, s) = lane(e[field::kU2b], l);
      f.lag1.t(i, s) = lane(e[field::kG1t], l);
      f.lag2.t(i, s) = lane(e[field::kG2t], l);
      f.lag1.b(i, s) = lane(e[field::kG1b], l);
      f.lag2.b(i, s) = lane(e[field::kG2b], l);
      if (i > 1) {
        f.u1.r(i - 1, s) = f.u1.l(i, s);
        f.u2.r(i - 1, s) = f.u2.l(i, s);
      }
    }
    const LaneCx* tail = b + static_cast<std::size_t>(nx_) * field::kPerElement;
    f.u1.r(nx_, s) = lane(tail[field::kU1r], l);
    f.u2.r(nx_, s) = lane(tail[field::kU2r], l);
    f.lag1.l(1, s) = lane(tail[field::kG1l], l);
    f.lag2.l(1, s) = lane(tail[field::kG2l], l);
    f.lag1.r(nx_, s) = lane(tail[field::kG1r], l);
    f.lag2.r(nx_, s) = lane(tail[field::kG2r], l);
    if (const LaneCx* v = vertical(at.p, at.group)) {
      for (int i = 2; i <= nx_; ++i) {
        f.lag1.l(i, s) = lane(v[4 * (i - 1)], l);
        f.lag2.l(i, s) = lane(v[4 * (i - 1) + 1], l);
      }
      for (int i = 1; i < nx_; ++i) {
        f.lag1.r(i, s) = lane(v[4 * (i - 1) + 2], l);
        f.lag2.r(i, s) = lane(v[4 * (i - 1) + 3], l);
      }
    }
  }
}

bool LaneFields::importFrom(const EdgeFields& f) {
  const int ny = groups_.ny;
  bool innerZero = true;
  for (int s = 1; s <= ny; ++s)
    for (int i = 1; i <= nx_; ++i) {
      if (i > 1 && !(positiveZero(f.lag1.l(i, s)) && positiveZero(f.lag2.l(i, s))))
        innerZero = false;
      if (i < nx_ && !(positiveZero(f.lag1.r(i, s)) && positiveZero(f.lag2.r(i, s))))
        innerZero = false;
      if (i < nx_ &&
          !(sameBits(f.u1.r(i, s), f.u1.l(i + 1, s)) && sameBits(f.u2.r(i, s), f.u2.l(i + 1, s))))
        return false;
    }
  if (!innerZero) keepVertical();
  for (int s = 1; s <= ny; ++s) {
    const LaneSlot at = StripGroups::slot(s);
    LaneCx* b = block(at.p, at.group);
    const int l = at.lane;
    for (int i = 1; i <= nx_; ++i) {
      LaneCx* e = b + static_cast<std::size_t>(i - 1) * field::kPerElement;
      setLane(e[field::kU1l], l, f.u1.l(i, s));
      setLane(e[field::kU2l], l, f.u2.l(i, s));
      setLane(e[field::kU1t], l, f.u1.t(i, s));
      setLane(e[field::kU2t], l, f.u2.t(i, s));
      setLane(e[field::kU1b], l, f.u1.b(i, s));
      setLane(e[field::kU2b], l, f.u2.b(i, s));
      setLane(e[field::kG1t], l, f.lag1.t(i, s));
      setLane(e[field::kG2t], l, f.lag2.t(i, s));
      setLane(e[field::kG1b], l, f.lag1.b(i, s));
      setLane(e[field::kG2b], l, f.lag2.b(i, s));
    }
    LaneCx* tail = b + static_cast<std::size_t>(nx_) * field::kPerElement;
    setLane(tail[field::kU1r], l, f.u1.r(nx_, s));
    setLane(tail[field::kU2r], l, f.u2.r(nx_, s));
    setLane(tail[field::kG1l], l, f.lag1.l(1, s));
    setLane(tail[field::kG2l], l, f.lag2.l(1, s));
    setLane(tail[field::kG1r], l, f.lag1.r(nx_, s));
    setLane(tail[field::kG2r], l, f.lag2.r(nx_, s));
    if (LaneCx* v = vertical(at.p, at.group))
      for (int i = 1; i <= nx_; ++i) {
        setLane(v[4 * (i - 1)], l, f.lag1.l(i, s));
        setLane(v[4 * (i - 1) + 1], l, f.lag2.l(i, s));
        setLane(v[4 * (i - 1) + 2], l, f.lag1.r(i, s));
        setLane(v[4 * (i - 1) + 3], l, f.lag2.r(i, s));
      }
  }
  return true;
}

bool verticalParametersClean(const InterfaceParameters& beta) {
  const int nx = beta.b11.l.nx(), ny = beta.b11.l.ny();
  const Grid<Cx>* sides[6] = {&beta.b11.l, &beta.b12.l, &beta.b22.l,
                              &beta.b11.r, &beta.b12.r, &beta.b22.r};
  for (int q = 0; q < 6; ++q) {
    const bool left = q < 3;
    for (int s = 1; s <= ny; ++s)
      for (int i = 1; i <= nx; ++i) {
        const Cx b = (*sides[q])(i, s);
        const bool outer = left ? i == 1 : i == nx;
        if (outer ? !positiveZero(b)
                  : !(std::bit_cast<std::uint64_t>(b.re) == 0 && std::isfinite(b.im)))
          return false;
      }
  }
  return true;
}

LaneBetas::LaneBetas(int nx, int ny)
    : nx_(nx),
      groups_(ny),
      v_((static_cast<std::size_t>(groups_.count[0]) + groups_.count[1] + 2) * nx * 3) {}

void LaneBetas::verticalOf(const InterfaceParameters& beta, int p, int g, LaneCx* v) const {
  const Grid<Cx>* sides[6] = {&beta.b11.l, &beta.b12.l, &beta.b22.l,
                              &beta.b11.r, &beta.b12.r, &beta.b22.r};
  for (int l = 0; l < kLanes; ++l) {
    const int s = StripGroups::strip(p, g, l);
    for (int i = 1; i <= nx_; ++i)
      for (int q = 0; q < 6; ++q)
        setLane(v[6 * (i - 1) + q], l, s <= groups_.ny ? (*sides[q])(i, s) : Cx{});
  }
}

void LaneBetas::takeVerticalFrom(const InterfaceParameters& beta) {
  vert_.assign((static_cast<std::size_t>(groups_.count[0]) + groups_.count[1] + 2) * 6 * nx_,
               LaneCx{});
  for (int p = 0; p < 2; ++p)
    for (int g = 0; g < groups_.count[p]; ++g)
      verticalOf(beta, p, g, vert_.data() + static_cast<std::size_t>(index(p, g)) * 6 * nx_);
}

bool LaneBetas::takeFrom(const InterfaceParameters& beta) {
  const int ny = groups_.ny;
  for (int e = 2; e <= ny; ++e)
    for (int i = 1; i <= nx_; ++i)
      if (!sameBits(beta.b11.b(i, e), beta.b11.t(i, e - 1)) ||
          !sameBits(beta.b12.b(i, e), beta.b12.t(i, e - 1)) ||
          !sameBits(beta.b22.b(i, e), beta.b22.t(i, e - 1)))
        return false;
  for (int e = 1; e <= ny + 1; ++e) {
    const LaneSlot at = StripGroups::slot(e);
    for (int i = 1; i <= nx_; ++i) {
      LaneCx* v = v_.data() + (static_cast<std::size_t>(index(at.p, at.group)) * nx_ + (i - 1)) * 3;
      const bool top = e == ny + 1;
      setLane(v[0], at.lane, top ? beta.b11.t(i, ny) : beta.b11.b(i, e));
      setLane(v[1], at.lane, top ? beta.b12.t(i, ny) : beta.b12.b(i, e));
      setLane(v[2], at.lane, top ? beta.b22.t(i, ny) : beta.b22.b(i, e));
    }
  }
  return true;
}

}  // namespace sw
