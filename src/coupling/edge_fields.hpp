#pragma once
/// The edge fields of one iterate: displacements and interface multipliers.

#include <array>

#include "core/edges.hpp"

namespace sw {

/// The sixteen edge arrays of one iterate: displacement components 1 (x) and 2 (y)
/// and the interface multipliers of both components.
struct EdgeFields {
  EdgeQuantity u1, u2, lag1, lag2;

  EdgeFields() = default;
  EdgeFields(int nx, int ny) : u1(nx, ny), u2(nx, ny), lag1(nx, ny), lag2(nx, ny) {}

  int nx() const { return u1.l.nx(); }
  int ny() const { return u1.l.ny(); }

  /// All sixteen arrays: u1, u2, lag1, lag2, each l, t, b, r.
  std::array<Grid<Cx>*, 16> arrays() {
    return {&u1.l,   &u1.t,   &u1.b,   &u1.r,   &u2.l,   &u2.t,   &u2.b,   &u2.r,
            &lag1.l, &lag1.t, &lag1.b, &lag1.r, &lag2.l, &lag2.t, &lag2.b, &lag2.r};
  }
  std::array<const Grid<Cx>*, 16> arrays() const {
    return {&u1.l,   &u1.t,   &u1.b,   &u1.r,   &u2.l,   &u2.t,   &u2.b,   &u2.r,
            &lag1.l, &lag1.t, &lag1.b, &lag1.r, &lag2.l, &lag2.t, &lag2.b, &lag2.r};
  }
  /// The eight displacement arrays: u1 l, t, b, r, then u2 l, t, b, r.
  std::array<const Grid<Cx>*, 8> displacements() const {
    return {&u1.l, &u1.t, &u1.b, &u1.r, &u2.l, &u2.t, &u2.b, &u2.r};
  }
};

}  // namespace sw
