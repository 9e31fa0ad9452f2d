#include "support/model_file.hpp"

#include <stdexcept>

namespace sw::test {

namespace {

/// Throws when an HDF5 call of the writer failed: a test that cannot write its file is
/// broken, not refused.
hid_t checked(hid_t id, const char* what) {
  if (id < 0) throw std::runtime_error(std::string("writing the model file: ") + what);
  return id;
}

void checked(herr_t status, const char* what, int) {
  if (status < 0) throw std::runtime_error(std::string("writing the model file: ") + what);
}

void writeNumber(hid_t where, const char* name, double v) {
  const hid_t space = checked(H5Screate(H5S_SCALAR), "scalar space");
  const hid_t attr =
      checked(H5Acreate2(where, name, H5T_IEEE_F64LE, space, H5P_DEFAULT, H5P_DEFAULT), name);
  checked(H5Awrite(attr, H5T_NATIVE_DOUBLE, &v), name, 0);
  H5Aclose(attr);
  H5Sclose(space);
}

void writeText(hid_t ds, const char* name, const std::string& units, bool variable) {
  const hid_t type = checked(H5Tcopy(H5T_C_S1), "string type");
  checked(H5Tset_size(type, variable ? H5T_VARIABLE : units.size() + 1), "string size", 0);
  checked(H5Tset_cset(type, H5T_CSET_UTF8), "string set", 0);
  const hid_t space = checked(H5Screate(H5S_SCALAR), "scalar space");
  const hid_t attr =
      checked(H5Acreate2(ds, name, type, space, H5P_DEFAULT, H5P_DEFAULT), "text attribute");
  const char* text = units.c_str();
  checked(variable ? H5Awrite(attr, type, &text) : H5Awrite(attr, type, text), "units", 0);
  H5Aclose(attr);
  H5Sclose(space);
  H5Tclose(type);
}

}  // namespace

void writeModelFile(const std::string& path, const ModelFileContents& contents) {
  H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
  const hid_t file = checked(H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, H5P_DEFAULT),
                             "create");
  if (contents.referenceFrequency) {
    if (contents.referenceFrequencyAsText)
      writeText(file, "reference_frequency", std::to_string(*contents.referenceFrequency), true);
    else
      writeNumber(file, "reference_frequency", *contents.referenceFrequency);
  }
  for (const ModelDataset& d : contents.datasets) {
    if (d.asGroup) {
      H5Gclose(checked(H5Gcreate2(file, d.name.c_str(), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT),
                       "group"));
      continue;
    }
    const hid_t space =
        d.dims.empty()
            ? checked(H5Screate(H5S_SCALAR), "scalar space")
            : checked(H5Screate_simple(static_cast<int>(d.dims.size()), d.dims.data(), nullptr),
                      "space");
    const hid_t ds = checked(
        H5Dcreate2(file, d.name.c_str(), d.type, space, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT),
        "dataset");
    hsize_t n = 1;
    for (hsize_t k : d.dims) n *= k;
    if (d.values.size() < n) throw std::runtime_error("writing the model file: too few values");
    if (n > 0)
      checked(H5Dwrite(ds, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, d.values.data()),
              "values", 0);
    if (d.numericUnits)
      writeNumber(ds, "units", 1.0);
    else if (d.units)
      writeText(ds, "units", *d.units, d.variableLengthUnits);
    H5Dclose(ds);
    H5Sclose(space);
  }
  checked(H5Fclose(file), "close", 0);
}

ModelFileContents modelFileOf(const PropertyGrid& grid) {
  ModelFileContents contents;
  contents.referenceFrequency = grid.referenceFrequency * 1000.0;
  const std::vector<hsize_t> dims{static_cast<hsize_t>(grid.ny), static_cast<hsize_t>(grid.nx)};
  const auto add = [&](const char* name, const std::vector<double>& v, double factor,
                       const char* units) {
    if (v.empty()) return;
    std::vector<double> scaled(v);
    for (double& x : scaled) x = x * factor;
    contents.datasets.push_back({name, dims, scaled, H5T_IEEE_F64LE, units, true});
  };
  add("vp", grid.vp, 1000.0, "m/s");
  add("vs", grid.vs, 1000.0, "m/s");
  add("rho", grid.rho, 1.0, "g/cm3");
  add("qp", grid.qp, 1.0, "1");
  add("qs", grid.qs, 1.0, "1");
  add("epsilon", grid.epsilon, 1.0, "1");
  add("delta", grid.delta, 1.0, "1");
  add("tilt", grid.tilt, 1.0, "degree");
  return contents;
}

ModelDataset& datasetOf(ModelFileContents& contents, const std::string& name) {
  for (ModelDataset& d : contents.datasets)
    if (d.name == name) return d;
  throw std::runtime_error("no dataset " + name);
}

}  // namespace sw::test
