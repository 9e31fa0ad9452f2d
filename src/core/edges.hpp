#pragma once
/// The four edges of an element and a complex quantity stored per edge.

#include "core/complex.hpp"
#include "core/grid.hpp"

namespace sw {

/// Edges of an element in their fixed order: left, top, bottom, right.
enum class Edge { l = 0, t = 1, b = 2, r = 3 };

/// One complex quantity on the left, top, bottom and right edge of every element,
/// indexed by the element that owns the edge.
struct EdgeQuantity {
  Grid<Cx> l, t, b, r;

  EdgeQuantity() = default;
  EdgeQuantity(int nx, int ny) : l(nx, ny), t(nx, ny), b(nx, ny), r(nx, ny) {}

  Grid<Cx>& operator[](Edge e) {
    return e == Edge::l ? l : e == Edge::t ? t : e == Edge::b ? b : r;
  }
  const Grid<Cx>& operator[](Edge e) const {
    return e == Edge::l ? l : e == Edge::t ? t : e == Edge::b ? b : r;
  }
};

}  // namespace sw
