#pragma once
/// Conversion of the text of one input field or free-form value to a number.

#include <string_view>

namespace sw::rec {

/// Result of a field conversion.
enum class FieldStatus : unsigned char {
  Ok,        ///< converted, the destination holds the value
  Bad,       ///< not a number of the requested kind; destination unchanged
  Overflow,  ///< an integer outside the int32 range; destination unchanged
  NoDigits,  ///< a real with a point but no digits (".e5"): destination set to 0, an error
};

/// An iw field: blanks anywhere are ignored, an all-blank field is 0, an optional sign
/// must be followed by something.
FieldStatus convertIntField(std::string_view field, int& value);

/// An ew.d field: blanks anywhere are ignored, an all-blank field (or a lone sign) is 0;
/// fixed-point or exponential with the letter E, D or Q or just a signed exponent; a
/// field without a decimal point has its last `digits` digits taken as the fraction;
/// Inf, Infinity and NaN in any case.  Out-of-range values become ±Inf or ±0.
FieldStatus convertRealField(std::string_view field, int digits, double& value);

/// A free-form integer: an optional sign and decimal digits.
FieldStatus convertListInt(std::string_view token, int& value);

/// A free-form real: fixed-point or exponential (E, D, Q or a signed exponent alone),
/// Inf, Infinity, NaN, NaN(...).
FieldStatus convertListReal(std::string_view token, double& value);

}  // namespace sw::rec
