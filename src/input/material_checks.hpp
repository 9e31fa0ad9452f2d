#pragma once
/// Checks of the material tables that reject values which cannot give a meaningful
/// result, each before the first frequency and naming the file, the material and the
/// frequency index.

#include "core/complex.hpp"
#include "records/out_file.hpp"

namespace sw {

/// A density must be finite, positive and normal (not subnormal).
void checkDensity(rec::OutFile& log, const char* file, int material, double rho);

/// The P-wave modulus M and shear modulus G of one record of an isotropic material:
/// finite, real parts positive and normal, a plane-strain stiffness that is positive
/// definite (M - G > 0 in the real parts, so the S velocity stays below the P velocity)
/// and no imaginary part below zero (attenuation under exp(+i w t)).
void checkIsotropic(rec::OutFile& log, int material, int jw, Cx m, Cx g);

/// C11, C13, C33, C55 of one record of an anisotropic table: finite; C11, C33, C55 with
/// positive normal real parts and imaginary parts not below zero; C11 C33 - C13^2 > 0
/// (the plane-strain stiffness, rotated or not, is positive definite); C66 finite (it
/// enters neither the plane stiffness nor the velocities, but a value that is not finite
/// would spread through the fields).
void checkAnisotropic(rec::OutFile& log, int material, int jw, Cx c11, Cx c13, Cx c33, Cx c55,
                      Cx c66);

}  // namespace sw
