#pragma once
/// Density and stiffness of every element at one frequency: the isotropic formulas and
/// the transversely isotropic material rotated so that its symmetry axis lies along x.

#include "core/complex.hpp"
#include "core/grid.hpp"
#include "model/materials.hpp"

namespace sw {

/// Density and stiffness (Voigt notation, 1 = x, 3 = y, 5 = xy) of every element for
/// one frequency, ghost frame included.
struct Medium {
  Grid<double> rho;
  Grid<Cx> p11, p13, p15, p33, p35, p55;

  Medium() = default;
  Medium(int nx, int ny)
      : rho(nx, ny), p11(nx, ny), p13(nx, ny), p15(nx, ny), p33(nx, ny), p35(nx, ny), p55(nx, ny) {}
};

/// The in-plane coefficients of one material (p15 and p35 are zero).
struct PlaneStiffness {
  Cx p11, p13, p33, p55;
};

/// Cosine and sine of the 90-degree rotation, evaluated in double precision
/// (the cosine is 6.123233995736766e-17, not 0).
double rotationCos();
double rotationSin();

/// Stiffness of a medium with vertical symmetry axis (C11, C13, C33, C55, C66) rotated by
/// 90 degrees about axis 2: C' = (B C) B^T with the 6x6 Bond matrix B.
PlaneStiffness rotateToHorizontalAxis(Cx p11w, Cx p13w, Cx p33w, Cx p55w, Cx p66w);

/// Isotropic coefficients from the P-wave modulus M and the shear modulus G.
PlaneStiffness isotropicStiffness(Cx m, Cx g);

/// Density and stiffness of every element (ghost frame included) for frequency index jw.
void fillMedium(int jw, const Materials& mat, Medium& med);

}  // namespace sw
