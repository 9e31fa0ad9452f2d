#pragma once
/// The model file of a gridded earth model (HDF5): its datasets read into a property grid,
/// with the checks that refuse what the run cannot use (docs/model_file.md).

#include <initializer_list>
#include <string>

#include "input/tables.hpp"
#include "materials/grid_materials.hpp"
#include "materials/property_grid.hpp"
#include "records/out_file.hpp"

namespace sw {

/// Reads the model file `path` for the deck's grid of nx by ny elements, converting to
/// the program's units (m/ms, g/cm3, kHz).  A file that cannot be used is refused in the
/// order of the note: the file, the datasets present, their shapes and types, the units,
/// the values dataset by dataset, vs below vp, the stiffness.  A refusal names the file,
/// the dataset (or attribute) and, for a value, the first bad element as (ix, iy) and
/// [row, column] with its value; it is written to the log and thrown as InputError.
/// HDF5 prints nothing.
PropertyGrid readModelFile(const std::string& path, int nx, int ny, rec::OutFile& log);

/// Refuses (as readModelFile does) a model whose moduli at one of the `frequencies` (kHz)
/// give an element an edge stiffness with no real square root (see
/// GridMaterials::firstWithoutNormalRoot), naming the frequency and the first such
/// element with its quality factors.  Of `grid`, the one the materials were formed from,
/// only the sizes and the quality factors are read (they stay when the materials take
/// the other datasets over).  The ratio of the real parts of the P and S factors
/// of the constant-Q law is monotonic in the frequency, so the ends of a band stand for
/// the whole of it.
void refuseWithoutNormalRoots(const GridMaterials& materials, const PropertyGrid& grid,
                              const std::string& path, std::initializer_list<double> frequencies,
                              rec::OutFile& log);

/// The extremes of the phase velocities of the elements by the rule of the tables: the
/// velocity of a modulus is that of its mean over the nf frequencies (j - 1/2) delf of
/// a table.  P velocities are those of C33 and, in an anisotropic model, of C11 along
/// the symmetry axis's own frame; S velocities those of C55 (0 in a fluid).
VelocityRange modelVelocities(const PropertyGrid& grid, int nf, double delf);

}  // namespace sw
