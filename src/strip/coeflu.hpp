#pragma once
/// Assembly of one strip's band matrix and its factorisation.

#include "driver/storage.hpp"
#include "strip/band.hpp"

namespace sw {

/// Stiffness (Voigt notation) and density of one element.
struct ElementCoefficients {
  Cx p11, p13, p15, p33, p35, p55;
  double rho = 0.0;
};

/// Edge term of one edge pair: indicator d (1 on the outer boundary, 0 inside), the
/// interface matrix (b11 b12; b12 b22) and the boundary root (z11 z12; z12 z22).
struct EdgeTerm {
  double d = 0.0;
  Cx b11, b12, b22;
  double z11 = 0.0, z12 = 0.0, z22 = 0.0;
};

/// Edge pairs of an element in local order: unknowns 2e+1 (x) and 2e+2 (y) of edge e.
enum class Edge { l = 0, t = 1, b = 2, r = 3 };

/// Complex symmetric 8x8 element matrix, indexed 1 .. 8 in the local order
/// x-l, y-l, x-t, y-t, x-b, y-b, x-r, y-r.
struct ElementMatrix {
  Cx e[8][8];
  Cx& operator()(int m, int r) { return e[m - 1][r - 1]; }
  const Cx& operator()(int m, int r) const { return e[m - 1][r - 1]; }
};

/// Stiffness and mass part of the element matrix (no edge terms) for an element of
/// side h at angular frequency omega.
void elementStiffnessMass(const ElementCoefficients& c, double omega, double h, ElementMatrix& e);

/// Adds the interface or absorbing term of one edge pair to e (sqrtRho = sqrt(rho)).
void addEdgeTerm(const EdgeTerm& term, Edge edge, double omega, double h, double sqrtRho,
                 ElementMatrix& e);

/// Whole element matrix: stiffness, mass, the t and b terms, and the l and r terms
/// when given (first and last element of a strip).
void elementMatrix(const ElementCoefficients& c, double omega, double h, const EdgeTerm* l,
                   const EdgeTerm& t, const EdgeTerm& b, const EdgeTerm* r, ElementMatrix& e);

/// Assembles the matrix of strip s (element, mass, interface and absorbing terms) into `a`.
void assembleBand(int s, int nx, double omega, const Medium& med, const Betas& beta, double h,
                  const Indicators& del, const BoundaryRoots& roots, const Dofmap& dofmap,
                  BandMatrix& a);

/// Assembles the matrix of strip s (element, mass, interface and absorbing terms) into
/// work.a and factors it into column s of `f`.
void coeflu(int s, int nx, double omega, const Medium& med, const Betas& beta, double h,
            const Indicators& del, const BoundaryRoots& roots, const Dofmap& dofmap,
            StripWork& work, StripFactors& f);

}  // namespace sw
