#include "coupling/lane_fields.hpp"

#include <bit>
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

LaneFields::LaneFields(int nx, int ny, int parities) : nx_(nx), groups_(ny) {
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
  }
}

bool LaneFields::importFrom(const EdgeFields& f) {
  const int ny = groups_.ny;
  for (int s = 1; s <= ny; ++s)
    for (int i = 1; i <= nx_; ++i) {
      if (i > 1 && !(positiveZero(f.lag1.l(i, s)) && positiveZero(f.lag2.l(i, s)))) return false;
      if (i < nx_ && !(positiveZero(f.lag1.r(i, s)) && positiveZero(f.lag2.r(i, s)))) return false;
      if (i < nx_ &&
          !(sameBits(f.u1.r(i, s), f.u1.l(i + 1, s)) && sameBits(f.u2.r(i, s), f.u2.l(i + 1, s))))
        return false;
    }
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
  }
  return true;
}

LaneBetas::LaneBetas(int nx, int ny)
    : nx_(nx),
      groups_(ny),
      v_((static_cast<std::size_t>(groups_.count[0]) + groups_.count[1] + 2) * nx * 3) {}

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
