#pragma once
/// Model files (HDF5) written from values, for the tests and the fuzz target: every
/// dataset with its shape, storage type and units given, so that bad files are as easy
/// to write as good ones.

#include <hdf5.h>

#include <optional>
#include <string>
#include <vector>

#include "materials/property_grid.hpp"

namespace sw::test {

/// One dataset of a model file.
struct ModelDataset {
  std::string name;
  std::vector<hsize_t> dims;   ///< its shape (row-major); the values fill it in order
  std::vector<double> values;  ///< converted to the storage type
  /// Storage type: H5T_IEEE_F64LE, H5T_IEEE_F32BE, H5T_STD_I32LE, ...
  hid_t type = H5T_IEEE_F64LE;
  std::optional<std::string> units;  ///< the units attribute, absent when empty
  bool variableLengthUnits = true;   ///< as h5py writes a str; false: fixed length
  bool numericUnits = false;         ///< the units attribute a number, not a string
  bool asGroup = false;              ///< a group of the name instead of the dataset
};

/// What a model file holds.
struct ModelFileContents {
  std::vector<ModelDataset> datasets;
  std::optional<double> referenceFrequency = 40.0;  ///< the root attribute (Hz)
  bool referenceFrequencyAsText = false;  ///< written as a string of the number
};

/// Writes the file (replacing one that is there).
void writeModelFile(const std::string& path, const ModelFileContents& contents);

/// The datasets of a property grid in the layout of the model file: vp and vs in m/s,
/// rho in g/cm3, the reference frequency in Hz; the optional ones where the grid has them.
ModelFileContents modelFileOf(const PropertyGrid& grid);

/// The dataset `name` of a contents (it must be there).
ModelDataset& datasetOf(ModelFileContents& contents, const std::string& name);

}  // namespace sw::test
