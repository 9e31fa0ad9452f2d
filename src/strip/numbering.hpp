#pragma once
/// Numbering of the unknowns of a strip, the one place that fixes it.
///
/// Element i of a strip owns eight local unknowns m = 1 .. 8, two per edge in the edge
/// order l, t, b, r and the x component first: x-l, y-l, x-t, y-t, x-b, y-b, x-r, y-r.
/// In the strip they are the unknowns 6 (i - 1) + m, so that the right pair of element i
/// is the left pair of element i + 1 and a strip of n elements has 6 n + 2 unknowns.

#include "core/edges.hpp"

namespace sw {

/// Local unknowns of one element.
inline constexpr int kElementUnknowns = 8;

/// Number of unknowns of a strip of n elements.
inline constexpr int stripUnknowns(int n) { return 6 * n + 2; }

/// Strip unknown of local unknown m (1 .. 8) of element i (1 .. n).
inline constexpr int stripUnknown(int i, int m) { return 6 * (i - 1) + m; }

/// Local unknown of component c (1: x, 2: y) on edge e.
inline constexpr int localUnknown(Edge e, int c) { return 2 * static_cast<int>(e) + c; }

/// The edges in local order.
inline constexpr Edge kEdges[4] = {Edge::l, Edge::t, Edge::b, Edge::r};

}  // namespace sw
