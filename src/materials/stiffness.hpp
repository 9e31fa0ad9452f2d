#pragma once
/// Plane stiffness coefficients of one material: the isotropic formulas and the transversely
/// isotropic material rotated so that its symmetry axis lies along x, or turned by any angle.

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

/// The in-plane coefficients of a medium whose symmetry axis is turned from the vertical.
struct TiltedStiffness {
  Cx p11, p13, p15, p33, p35, p55;
};

/// Stiffness of a medium with vertical symmetry axis (C11, C13, C33, C55, C66) rotated
/// about axis 2 by the angle of cosine ct and sine st: C' = (B C) B^T with the 6x6 Bond
/// matrix B.  The axis then points along (-st, ct) in (x, y), y up.  C66 does not reach
/// the in-plane coefficients.
TiltedStiffness rotateAboutAxis2(Cx p11w, Cx p13w, Cx p33w, Cx p55w, Cx p66w, double ct,
                                 double st);

/// The rotation that tilts the symmetry axis by `degrees` from the vertical towards +x
/// (y up: the axis points along (sin, cos) of the angle in (x, y)): ct = cos, st = -sin of
/// the angle, converted as (degrees / 180) pi.  At 90 degrees ct is rotationCos() and st
/// is -rotationSin(): C'11, C'13, C'33 and C'55 are those of rotateToHorizontalAxis bit
/// for bit (C'15 and C'35, of the order of the cosine, change sign).
struct AxisTurn {
  double ct = 1.0, st = 0.0;
};
AxisTurn axisTurn(double degrees);

/// C11, C13, C33, C55 of a medium with vertical symmetry axis from the velocities along
/// the axis, the density and Thomsen's epsilon and delta, with the radicand of C13:
///   C33 = rho vp^2, C55 = rho vs^2, C11 = C33 (1 + 2 epsilon),
///   C13 = sqrt(2 delta C33 (C33 - C55) + (C33 - C55)^2) - C55
/// (a negative radicand leaves C13 not a number).
struct ThomsenStiffness {
  double c11 = 0.0, c13 = 0.0, c33 = 0.0, c55 = 0.0, radicand = 0.0;
};
ThomsenStiffness thomsenStiffness(double vp, double vs, double rho, double epsilon,
                                  double delta);

/// Whether the in-plane stiffness (C11 C13 0; C13 C33 0; 0 0 C55) of a solid is positive
/// definite: C11 > 0, C11 C33 - C13^2 > 0 (C55 > 0 and C33 > 0 given).  A fluid (C55 = 0)
/// may have C11 C33 - C13^2 = 0: it resists compression only.
bool positiveDefinite(const ThomsenStiffness& c);

/// Isotropic coefficients from the P-wave modulus M and the shear modulus G.
PlaneStiffness isotropicStiffness(Cx m, Cx g);

}  // namespace sw
