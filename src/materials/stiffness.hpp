#pragma once
/// Plane stiffness coefficients of one material: the isotropic formulas and the transversely
/// isotropic material rotated so that its symmetry axis lies along x.

#include "core/complex.hpp"

namespace sw {

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

}  // namespace sw
