#include "input/material_checks.hpp"

#include <cmath>
#include <string>

#include "input/reject.hpp"
#include "input/run_files.hpp"

namespace sw {

namespace {

std::string complexText(Cx c) {
  std::string text = "(";
  text += realText(c.re);
  text += ", ";
  text += realText(c.im);
  text += ")";
  return text;
}

/// "<file>: material <m>, frequency index <j>: "
std::string where(const char* file, int material, int jw) {
  return std::string(file) + ": material " + std::to_string(material) + ", frequency index " +
         std::to_string(jw) + ": ";
}

/// What is wrong with a value that must be a positive normal number, or nothing.
const char* notPositive(double x) {
  if (!std::isfinite(x)) return "is not finite";
  if (x <= 0.0) return x == 0.0 ? "is zero" : "is negative";
  if (!std::isnormal(x)) return "is subnormal";
  return nullptr;
}

/// A modulus of the tables: finite, with a positive normal real part and, where it
/// carries attenuation, an imaginary part not below zero.
void checkModulus(rec::OutFile& log, const std::string& at, const char* name, Cx c,
                  bool attenuating) {
  if (!std::isfinite(c.re) || !std::isfinite(c.im))
    rejectInput(log, at + name + " " + complexText(c) + " is not finite");
  if (!attenuating) return;
  if (const char* why = notPositive(c.re))
    rejectInput(log, at + "the real part of " + name + " " + complexText(c) + " " + why +
                         "; moduli must be positive");
  if (c.im < 0.0)
    rejectInput(log, at + name + " " + complexText(c) +
                         " has a negative imaginary part: with the time dependence exp(+i w t) "
                         "of this program an attenuating modulus has a positive one, so the "
                         "table seems to follow exp(-i w t) (take the complex conjugate)");
}

}  // namespace

void checkDensity(rec::OutFile& log, const char* file, int material, double rho) {
  if (const char* why = notPositive(rho))
    rejectInput(log, std::string(file) + ": the density of material " + std::to_string(material) +
                         ", " + realText(rho) + ", " + why + "; densities must be positive");
}

void checkIsotropic(rec::OutFile& log, int material, int jw, Cx m, Cx g) {
  checkModulus(log, where(files::kPModulus, material, jw), "the P-wave modulus M", m, true);
  checkModulus(log, where(files::kSModulus, material, jw), "the shear modulus G", g, true);
  if (!(m.re - g.re > 0.0))
    rejectInput(log, where(files::kSModulus, material, jw) + "the shear modulus G = " +
                         realText(g.re) + " is not below the P-wave modulus M = " + realText(m.re) +
                         " (an S velocity at or above the P velocity): the stiffness is not "
                         "positive definite, which needs M - G > 0");
}

void checkAnisotropic(rec::OutFile& log, int material, int jw, Cx c11, Cx c13, Cx c33, Cx c55,
                      Cx c66) {
  checkModulus(log, where(files::kAnisotropic[0], material, jw), "C11", c11, true);
  checkModulus(log, where(files::kAnisotropic[4], material, jw), "C66", c66, false);
  checkModulus(log, where(files::kAnisotropic[1], material, jw), "C13", c13, false);
  checkModulus(log, where(files::kAnisotropic[2], material, jw), "C33", c33, true);
  checkModulus(log, where(files::kAnisotropic[3], material, jw), "C55", c55, true);
  const double det = c11.re * c33.re - c13.re * c13.re;
  if (!(det > 0.0))
    rejectInput(log, where(files::kAnisotropic[1], material, jw) +
                         "C11 C33 - C13^2 = " + realText(det) + " with C11 = " + realText(c11.re) +
                         ", C13 = " + realText(c13.re) + ", C33 = " + realText(c33.re) +
                         " is not positive: the plane-strain stiffness is not positive definite");
}

}  // namespace sw
