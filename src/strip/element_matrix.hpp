#pragma once
/// The element matrix of a square nonconforming element: stiffness, mass, and the
/// interface or absorbing terms of its edges.

#include <optional>

#include "core/complex.hpp"
#include "core/edges.hpp"
#include "model/medium.hpp"
#include "strip/numbering.hpp"

namespace sw {

/// Stiffness (Voigt notation) and density of one element; in a perfectly matched layer
/// also the factors its coordinate stretches (sx, sy) give the terms: sy / sx to those
/// of the x-x derivatives, sx / sy to those of the y-y derivatives, sx sy to the mass
/// (the mixed derivatives keep theirs).
struct ElementCoefficients {
  Cx p11, p13, p15, p33, p35, p55;
  double rho = 0.0;
  bool stretched = false;  ///< false: no factors (every element outside a layer)
  Cx fxx{1.0, 0.0}, fyy{1.0, 0.0}, fmass{1.0, 0.0};
};

/// Sets the stretch factors of c from the stretches sx and sy of its column and row; an
/// element with both stretches 1 stays unstretched.
void setStretch(ElementCoefficients& c, Cx sx, Cx sy);

/// The coefficients of element (i, j) of a medium, with its stretch factors when the
/// medium has a layer.
ElementCoefficients elementCoefficients(const Medium& med, int i, int j);

/// Edge term of one edge pair: indicator d (1 on the outer boundary, 0 inside), the
/// interface matrix (b11 b12; b12 b22) and the boundary root (z11 z12; z12 z22).
struct EdgeTerm {
  double d = 0.0;
  Cx b11, b12, b22;
  double z11 = 0.0, z12 = 0.0, z22 = 0.0;
};

/// Complex symmetric element matrix, indexed 1 .. 8 in the local order of the unknowns.
struct ElementMatrix {
  Cx e[kElementUnknowns][kElementUnknowns];
  Cx& operator()(int m, int r) { return e[m - 1][r - 1]; }
  const Cx& operator()(int m, int r) const { return e[m - 1][r - 1]; }
};

/// Stiffness and mass part of the element matrix (no edge terms) for an element of
/// side h at angular frequency omega, or at the complex frequency omega - i damping when
/// damping is not 0: the mass term is then -(omega - i damping)^2 rho.
void elementStiffnessMass(const ElementCoefficients& c, double omega, double h, ElementMatrix& e,
                          double damping = 0.0);

/// Adds the interface or absorbing term of one edge pair to e (sqrtRho = sqrt(rho)).  The
/// absorbing term i omega d h z sqrt(rho) is taken at omega - i damping; the interface
/// term (beta, an iteration parameter the whole-grid solution does not depend on) as it
/// is.
void addEdgeTerm(const EdgeTerm& term, Edge edge, double omega, double h, double sqrtRho,
                 ElementMatrix& e, double damping = 0.0);

/// The edge terms of an element of a strip: top and bottom always, left on the first
/// element and right on the last.
struct ElementEdges {
  EdgeTerm t, b;
  std::optional<EdgeTerm> l, r;
};

/// Adds the edge terms of an element of a strip (density rho) to its stiffness and mass
/// part: top, bottom, then left and right where present.
void addEdgeTerms(const ElementEdges& edges, double omega, double h, double rho, ElementMatrix& e,
                  double damping = 0.0);

}  // namespace sw
