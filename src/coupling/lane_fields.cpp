#include "coupling/lane_fields.hpp"

#include <algorithm>
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

LaneBetas::LaneBetas(int nx, int ny)
    : nx_(nx),
      groups_(ny),
      v_((static_cast<std::size_t>(groups_.count[0]) + groups_.count[1] + 2) * nx * 3) {}

static_assert(kRowBlock % (2 * kLanes) == 0, "a lane group's strips within one block of rows");

void LaneBetas::begin(bool keepVertical) {
  verticalUnclean_.assign(static_cast<std::size_t>(groups_.ny) + 1, 0);
  if (keepVertical)
    vert_.assign((static_cast<std::size_t>(groups_.count[0]) + groups_.count[1] + 2) * 6 * nx_,
                 LaneCx{});
  else
    vert_.clear();
}

void LaneBetas::vertical(int i, int j, const EdgeParameters& b) {
  for (const Cx v : {b.b11, b.b12, b.b22})
    if (std::bit_cast<std::uint64_t>(v.re) != 0 || !std::isfinite(v.im))
      verticalUnclean_[static_cast<std::size_t>(j)] = 1;
  if (vert_.empty()) return;
  const LaneSlot sl = StripGroups::slot(j);
  LaneCx* e = vert_.data() + static_cast<std::size_t>(index(sl.p, sl.group)) * 6 * nx_;
  const Cx v[3] = {b.b11, b.b12, b.b22};
  for (int q = 0; q < 3; ++q) {
    setLane(e[6 * (i - 1) + q], sl.lane, v[q]);      // l side of element i
    setLane(e[6 * (i - 2) + 3 + q], sl.lane, v[q]);  // r side of element i-1
  }
}

bool LaneBetas::verticalClean() const {
  return std::find(verticalUnclean_.begin(), verticalUnclean_.end(), 1) == verticalUnclean_.end();
}

void LaneBetas::horizontal(int i, int j, const EdgeParameters& b) {
  for (const Cx v : {b.b11, b.b12, b.b22})
    SW_CHECK(std::bit_cast<std::uint64_t>(v.re) == 0,
             "interface parameters of a horizontal edge with a real part of +0");
  Lane* e = at(j, i);
  const int l = StripGroups::slot(j).lane;
  e[0][l] = b.b11.im;
  e[1][l] = b.b12.im;
  e[2][l] = b.b22.im;
}

void LaneBetas::stripParameters(int s, StripEdgeParameters& p) const {
  const std::size_t nx = static_cast<std::size_t>(nx_);
  p.t.resize(nx);
  p.b.resize(nx);
  const LaneSlot bs = StripGroups::slot(s), ts = StripGroups::slot(s + 1);
  for (int i = 1; i <= nx_; ++i) {
    const Lane* b = edge(bs.p, bs.group, i);
    const Lane* t = edge(ts.p, ts.group, i);
    p.b[static_cast<std::size_t>(i - 1)] = {Cx{0.0, b[0][bs.lane]}, Cx{0.0, b[1][bs.lane]},
                                            Cx{0.0, b[2][bs.lane]}};
    p.t[static_cast<std::size_t>(i - 1)] = {Cx{0.0, t[0][ts.lane]}, Cx{0.0, t[1][ts.lane]},
                                            Cx{0.0, t[2][ts.lane]}};
  }
  p.l = p.r = EdgeParameters{};
}

}  // namespace sw
