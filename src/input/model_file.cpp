#include "input/model_file.hpp"

#include <hdf5.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/constants.hpp"
#include "core/frequency.hpp"
#include "input/reject.hpp"
#include "materials/constant_q.hpp"
#include "materials/stiffness.hpp"

namespace sw {

namespace {

/// An HDF5 identifier, closed by its own close function when it goes out of scope.
class Handle {
 public:
  Handle(hid_t id, herr_t (*close)(hid_t)) : id_(id), close_(close) {}
  ~Handle() {
    if (id_ >= 0) close_(id_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  hid_t id() const { return id_; }
  bool valid() const { return id_ >= 0; }

 private:
  hid_t id_;
  herr_t (*close_)(hid_t);
};

/// HDF5 reports errors through its return values only: its own printing is switched off
/// once, before the first call.
void silenceHdf5() {
  static const bool silenced = [] {
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    return true;
  }();
  static_cast<void>(silenced);
}

/// The innermost description on HDF5's error stack of the last failed call, or nothing.
std::string hdf5Reason() {
  std::string reason;
  H5Ewalk2(
      H5E_DEFAULT, H5E_WALK_DOWNWARD,
      [](unsigned, const H5E_error2_t* e, void* out) -> herr_t {
        if (e->desc != nullptr && e->desc[0] != '\0') *static_cast<std::string*>(out) = e->desc;
        return 0;
      },
      &reason);
  return reason.empty() ? std::string() : " (HDF5: " + reason + ")";
}

/// One dataset of the file: its name, whether the run needs it, the units it may be
/// given in with the factor to the program's unit, and where its values go.
struct DatasetRule {
  const char* name;
  bool required;
  std::vector<std::pair<const char*, double>> units;  ///< unit -> divisor
  std::vector<double> PropertyGrid::*values;
};

const std::array<DatasetRule, 8>& datasetRules() {
  static const std::array<DatasetRule, 8> kSpecs = {{
      {"vp", true, {{"m/s", 1000.0}, {"km/s", 1.0}}, &PropertyGrid::vp},
      {"vs", true, {{"m/s", 1000.0}, {"km/s", 1.0}}, &PropertyGrid::vs},
      {"rho", true, {{"kg/m3", 1000.0}, {"g/cm3", 1.0}}, &PropertyGrid::rho},
      {"qp", false, {{"1", 1.0}}, &PropertyGrid::qp},
      {"qs", false, {{"1", 1.0}}, &PropertyGrid::qs},
      {"epsilon", false, {{"1", 1.0}}, &PropertyGrid::epsilon},
      {"delta", false, {{"1", 1.0}}, &PropertyGrid::delta},
      {"tilt", false, {{"degree", 1.0}}, &PropertyGrid::tilt},
  }};
  return kSpecs;
}

/// The datasets that come in pairs.
constexpr std::array<std::array<const char*, 2>, 2> kPairs = {{{"qp", "qs"}, {"epsilon", "delta"}}};

std::string inQuotes(const std::string& s) { return "\"" + s + "\""; }

/// "one of "a", "b"".
std::string unitList(const DatasetRule& rule) {
  std::string list;
  for (const auto& [unit, factor] : rule.units)
    list += (list.empty() ? "" : ", ") + inQuotes(unit);
  return rule.units.size() > 1 ? "one of " + list : list;
}

/// Reads a string attribute (fixed or variable length, scalar or of one element); false
/// when it is not one.
bool readStringAttribute(hid_t attr, std::string& out) {
  const Handle type(H5Aget_type(attr), H5Tclose);
  const Handle space(H5Aget_space(attr), H5Sclose);
  if (!type.valid() || !space.valid() || H5Tget_class(type.id()) != H5T_STRING) return false;
  if (H5Sget_simple_extent_npoints(space.id()) != 1) return false;
  const htri_t variable = H5Tis_variable_str(type.id());
  if (variable < 0) return false;
  const Handle mem(H5Tcopy(H5T_C_S1), H5Tclose);
  if (!mem.valid()) return false;
  if (variable > 0) {
    if (H5Tset_size(mem.id(), H5T_VARIABLE) < 0 ||
        H5Tset_cset(mem.id(), H5Tget_cset(type.id())) < 0)
      return false;
    char* text = nullptr;
    if (H5Aread(attr, mem.id(), &text) < 0) return false;
    out = text != nullptr ? text : "";
    H5Dvlen_reclaim(mem.id(), space.id(), H5P_DEFAULT, &text);
    return true;
  }
  const std::size_t size = H5Tget_size(type.id());
  if (size == 0 || size > 4096) return false;
  std::vector<char> buf(size + 1, '\0');
  if (H5Tset_size(mem.id(), size + 1) < 0 || H5Tset_strpad(mem.id(), H5T_STR_NULLTERM) < 0 ||
      H5Tset_cset(mem.id(), H5Tget_cset(type.id())) < 0 ||
      H5Aread(attr, mem.id(), buf.data()) < 0)
    return false;
  out = buf.data();
  // Space padding is not part of the text.
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return true;
}

/// The reading of one file, every refusal through the log.
class ModelFileReader {
 public:
  ModelFileReader(const std::string& path, int nx, int ny, rec::OutFile& log)
      : path_(path), log_(log), grid_(nx, ny) {}

  PropertyGrid read() {
    silenceHdf5();
    openFile();
    openDatasets();
    checkShapesAndTypes();
    readUnits();
    readReferenceFrequency();
    readValues();
    checkVsBelowVp();
    checkStiffness();
    return std::move(grid_);
  }

 private:
  struct Opened {
    const DatasetRule* rule;
    hid_t id;
    double divisor = 1.0;
    std::string unit;
  };

  [[noreturn]] void refuse(const std::string& message) { rejectInput(log_, path_ + ": " + message); }

  /// "element (ix, iy) = (3, 5) [row 4, column 2]" of the element at position k.
  std::string element(std::size_t k) const {
    const std::size_t nx = static_cast<std::size_t>(grid_.nx);
    const std::size_t row = k / nx, column = k % nx;
    return "element (ix, iy) = (" + std::to_string(column + 1) + ", " +
           std::to_string(static_cast<std::size_t>(grid_.ny) - row) + ") [row " +
           std::to_string(row) + ", column " + std::to_string(column) + "]";
  }

  /// The value as the file gives it, with its unit.
  static std::string valueText(double v, const Opened& d) {
    return realText(v * d.divisor) + (d.unit == "1" ? "" : " " + d.unit);
  }

  /// Refuses when `bad` holds for an element: the first in storage order, and how many.
  void refuseFirst(const Opened& d, const std::function<bool(std::size_t)>& bad,
                   const std::string& reason, const std::function<std::string(std::size_t)>& more =
                                                  {}) {
    const std::vector<double>& v = grid_.*(d.rule->values);
    std::size_t first = v.size(), count = 0;
    for (std::size_t k = 0; k < v.size(); ++k)
      if (bad(k)) {
        if (count == 0) first = k;
        ++count;
      }
    if (count == 0) return;
    refuse(std::string(d.rule->name) + ": " + element(first) + " = " + valueText(v[first], d) +
           ": " + reason + (more ? more(first) : "") +
           (count > 1 ? " (" + std::to_string(count) + " elements)" : ""));
  }

  void openFile() {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status st = fs::status(path_, ec);
    if (!fs::exists(st)) refuse("cannot open the model file: no such file");
    if (fs::is_directory(st)) refuse("cannot open the model file: it is a directory");
    if (std::FILE* f = std::fopen(path_.c_str(), "rb")) {
      std::fclose(f);
    } else {
      refuse("cannot open the model file: it cannot be read");
    }
    const htri_t hdf5 = H5Fis_hdf5(path_.c_str());
    if (hdf5 == 0) refuse("not an HDF5 file");
    if (hdf5 < 0) refuse("cannot be read as an HDF5 file" + hdf5Reason());
    const Handle fapl(H5Pcreate(H5P_FILE_ACCESS), H5Pclose);
    if (fapl.valid()) {
      H5Pset_fclose_degree(fapl.id(), H5F_CLOSE_STRONG);
#if H5_VERSION_GE(1, 10, 7)
      // Reading takes no lock: the file may lie on a file system without locks.
      H5Pset_file_locking(fapl.id(), false, true);
#endif
    }
    file_ = H5Fopen(path_.c_str(), H5F_ACC_RDONLY, fapl.valid() ? fapl.id() : H5P_DEFAULT);
    fileHandle_ = std::make_unique<Handle>(file_, H5Fclose);
    if (file_ < 0)
      refuse("cannot be read as an HDF5 file, truncated or damaged" + hdf5Reason());
  }

  void openDatasets() {
    for (const DatasetRule& rule : datasetRules()) {
      const htri_t there = H5Lexists(file_, rule.name, H5P_DEFAULT);
      if (there < 0) refuse(std::string(rule.name) + ": cannot be looked up" + hdf5Reason());
      if (there == 0) {
        if (rule.required) refuse(std::string(rule.name) + ": missing (vp, vs and rho are required)");
        continue;
      }
      const hid_t id = H5Dopen2(file_, rule.name, H5P_DEFAULT);
      if (id < 0) refuse(std::string(rule.name) + ": not a dataset (a group, or a link to nothing)");
      datasets_.push_back({&rule, id, 1.0, {}});
      handles_.emplace_back(std::make_unique<Handle>(id, H5Dclose));
    }
    for (const auto& [a, b] : kPairs)
      for (const auto& [one, other] : {std::pair{a, b}, std::pair{b, a}})
        if (find(one) != nullptr && find(other) == nullptr)
          refuse(std::string(one) + ": given without " + other + " (" + a + " and " + b +
                 " come together)");
  }

  const Opened* find(const char* name) const {
    for (const Opened& d : datasets_)
      if (std::string(d.rule->name) == name) return &d;
    return nullptr;
  }

  void checkShapesAndTypes() {
    for (const Opened& d : datasets_) {
      const std::string name = d.rule->name;
      const Handle space(H5Dget_space(d.id), H5Sclose);
      if (!space.valid()) refuse(name + ": its shape cannot be read" + hdf5Reason());
      const int rank = H5Sget_simple_extent_ndims(space.id());
      hsize_t dims[H5S_MAX_RANK] = {};
      if (rank < 0 || H5Sget_simple_extent_dims(space.id(), dims, nullptr) < 0)
        refuse(name + ": its shape cannot be read" + hdf5Reason());
      const std::string expected = "expected (ny, nx) = (" + std::to_string(grid_.ny) + ", " +
                                   std::to_string(grid_.nx) + ") of the deck";
      if (H5Sget_simple_extent_type(space.id()) != H5S_SIMPLE || rank != 2) {
        std::string shape;
        for (int k = 0; k < rank; ++k)
          shape += (k == 0 ? "" : ", ") + std::to_string(dims[k]);
        refuse(name + ": " + std::to_string(std::max(rank, 0)) + "-D of shape (" + shape +
               "), " + expected);
      }
      if (dims[0] != static_cast<hsize_t>(grid_.ny) || dims[1] != static_cast<hsize_t>(grid_.nx))
        refuse(name + ": shape (" + std::to_string(dims[0]) + ", " + std::to_string(dims[1]) +
               "), " + expected);
      const Handle type(H5Dget_type(d.id), H5Tclose);
      if (!type.valid()) refuse(name + ": its type cannot be read" + hdf5Reason());
      const std::size_t size = H5Tget_size(type.id());
      if (H5Tget_class(type.id()) != H5T_FLOAT || (size != 4 && size != 8))
        refuse(name + ": not floating point of 4 or 8 bytes");
    }
  }

  void readUnits() {
    for (Opened& d : datasets_) {
      const std::string name = d.rule->name;
      const std::string wanted = std::string("(").append(unitList(*d.rule)).append(")");
      const htri_t there = H5Aexists(d.id, "units");
      if (there <= 0) refuse(name + ": no units attribute " + wanted);
      const Handle attr(H5Aopen(d.id, "units", H5P_DEFAULT), H5Aclose);
      std::string unit;
      if (!attr.valid() || !readStringAttribute(attr.id(), unit))
        refuse(name + ": the units attribute is not a string " + wanted);
      bool known = false;
      for (const auto& [u, divisor] : d.rule->units)
        if (unit == u) {
          known = true;
          d.divisor = divisor;
          d.unit = u;
        }
      if (!known) refuse(name + ": units " + inQuotes(unit) + ", expected " + unitList(*d.rule));
    }
  }

  void readReferenceFrequency() {
    const char* const kName = "reference_frequency";
    const std::string what =
        std::string(kName) + ": the root attribute (the frequency in Hz of the velocities and Q)";
    if (H5Aexists(file_, kName) <= 0) refuse(what + " is missing");
    const Handle attr(H5Aopen(file_, kName, H5P_DEFAULT), H5Aclose);
    const Handle type(attr.valid() ? H5Aget_type(attr.id()) : -1, H5Tclose);
    const Handle space(attr.valid() ? H5Aget_space(attr.id()) : -1, H5Sclose);
    if (!type.valid() || !space.valid()) refuse(what + " cannot be read" + hdf5Reason());
    const H5T_class_t cls = H5Tget_class(type.id());
    if ((cls != H5T_FLOAT && cls != H5T_INTEGER) || H5Sget_simple_extent_npoints(space.id()) != 1)
      refuse(what + " is not a number");
    double hz = 0.0;
    if (H5Aread(attr.id(), H5T_NATIVE_DOUBLE, &hz) < 0)
      refuse(what + " cannot be read" + hdf5Reason());
    if (!std::isfinite(hz) || !(hz > 0.0))
      refuse(std::string(kName) + " = " + realText(hz) + ": must be a positive frequency in Hz");
    grid_.referenceFrequency = hz / 1000.0;
  }

  void readValues() {
    const std::size_t n = grid_.elements();
    for (const Opened& d : datasets_) {
      std::vector<double>& v = grid_.*(d.rule->values);
      v.assign(n, 0.0);
      if (H5Dread(d.id, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, v.data()) < 0)
        refuse(std::string(d.rule->name) + ": cannot be read, truncated or damaged" +
               hdf5Reason());
      for (double& x : v) x = x / d.divisor;
      const std::string name = d.rule->name;
      refuseFirst(d, [&v](std::size_t k) { return !std::isfinite(v[k]); }, "not finite");
      if (name == "vp" || name == "rho" || name == "qp" || name == "qs")
        refuseFirst(d, [&v](std::size_t k) { return !(v[k] > 0.0); }, "must be positive");
      if (name == "vs")
        refuseFirst(d, [&v](std::size_t k) { return v[k] < 0.0; },
                    "must not be negative (0: a fluid)");
    }
  }

  void checkVsBelowVp() {
    const std::vector<double>&vp = grid_.vp, &vs = grid_.vs;
    const Opened& p = *find("vp");
    refuseFirst(
        *find("vs"), [&](std::size_t k) { return !(vs[k] < vp[k]); },
        "not below vp (the stiffness would not be positive definite)",
        [&](std::size_t k) { return "; vp there is " + valueText(vp[k], p); });
  }

  void checkStiffness() {
    const bool aniso = grid_.anisotropic();
    const auto stiffness = [this, aniso](std::size_t k) {
      return thomsenStiffness(grid_.vp[k], grid_.vs[k], grid_.rho[k],
                              aniso ? grid_.epsilon[k] : 0.0, aniso ? grid_.delta[k] : 0.0);
    };
    // Moduli beyond the range of double precision (or vanishing in it) are refused before
    // anything is formed from them.
    const auto outOfRange = [&](std::size_t k) {
      const ThomsenStiffness c = stiffness(k);
      const bool solid = grid_.vs[k] > 0.0;
      const double det = c.c11 * c.c33;
      return !(std::isfinite(c.c11) && std::isfinite(c.c33) && std::isfinite(c.c55) &&
               std::isfinite(c.radicand) && std::isfinite(det)) ||
             c.c33 == 0.0 || (solid && c.c55 == 0.0) || (c.c11 != 0.0 && det == 0.0);
    };
    refuseFirst(
        *find("vp"), outOfRange,
        "with vs and rho there, moduli outside the range of double precision",
        [this](std::size_t k) {
          return "; vs = " + realText(grid_.vs[k]) + " m/ms, rho = " + realText(grid_.rho[k]) +
                 " g/cm3";
        });
    if (!aniso) return;  // 0 <= vs < vp makes an isotropic stiffness positive definite
    refuseFirst(
        *find("delta"), [&](std::size_t k) { return !(stiffness(k).radicand >= 0.0); },
        "gives no real C13 (2 delta C33 (C33 - C55) + (C33 - C55)^2 < 0)");
    refuseFirst(
        *find("epsilon"), [&](std::size_t k) { return !positiveDefinite(stiffness(k)); },
        "with delta there, a stiffness that is not positive definite (C11 C33 - C13^2 <= 0)",
        [this](std::size_t k) { return "; delta = " + realText(grid_.delta[k]); });
  }

  std::string path_;
  rec::OutFile& log_;
  PropertyGrid grid_;
  hid_t file_ = -1;
  std::unique_ptr<Handle> fileHandle_;  ///< closed after the datasets
  std::vector<Opened> datasets_;
  std::vector<std::unique_ptr<Handle>> handles_;
};

}  // namespace

PropertyGrid readModelFile(const std::string& path, int nx, int ny, rec::OutFile& log) {
  return ModelFileReader(path, nx, ny, log).read();
}

void refuseWithoutNormalRoots(const GridMaterials& materials, const PropertyGrid& grid,
                              const std::string& path, std::initializer_list<double> frequencies,
                              rec::OutFile& log) {
  for (const double f : frequencies) {
    const std::optional<std::size_t> k = materials.firstWithoutNormalRoot(kTwoPi * f);
    if (!k) continue;
    const std::size_t nx = static_cast<std::size_t>(grid.nx);
    const std::size_t row = *k / nx, column = *k % nx;
    std::string q;
    if (grid.attenuating())
      q = " (qp = " + realText(grid.qp[*k]) + ", qs = " + realText(grid.qs[*k]) + ")";
    rejectInput(log, path + ": at " + realText(f * 1000.0) + " Hz element (ix, iy) = (" +
                         std::to_string(column + 1) + ", " +
                         std::to_string(static_cast<std::size_t>(grid.ny) - row) + ") [row " +
                         std::to_string(row) + ", column " + std::to_string(column) + "]" + q +
                         " has moduli whose edge stiffness is not positive definite: its S "
                         "modulus decays too fast against its P modulus for its anisotropy");
  }
}

VelocityRange modelVelocities(const PropertyGrid& grid, int nf, double delf) {
  // Sum over the table frequencies of the constant-Q factor, per loss exponent.
  std::unordered_map<double, Cx> sums;
  const auto factorSum = [&](double q) {
    const double g = lossExponent(q);
    const auto at = sums.find(g);
    if (at != sums.end()) return at->second;
    Cx s{};
    for (int j = nf; j >= 1; --j)
      s += constantQFactor(g, frequencyOfIndex(j, delf) / grid.referenceFrequency);
    sums.emplace(g, s);
    return s;
  };
  const Cx elastic{static_cast<double>(nf), 0.0};

  constexpr double kInf = std::numeric_limits<double>::infinity();
  VelocityRange v{kInf, -kInf, kInf, -kInf};
  const auto takeIn = [](double x, double& lo, double& hi) {
    lo = std::min(lo, x);
    hi = std::max(hi, x);
  };
  for (std::size_t k = 0; k < grid.elements(); ++k) {
    const double rho = grid.rho[k];
    const bool aniso = grid.anisotropic();
    const ThomsenStiffness c = thomsenStiffness(grid.vp[k], grid.vs[k], rho,
                                                aniso ? grid.epsilon[k] : 0.0,
                                                aniso ? grid.delta[k] : 0.0);
    const Cx p = grid.attenuating() ? factorSum(grid.qp[k]) : elastic;
    takeIn(phaseVelocity(c.c33 * p, nf, rho), v.ppmin, v.ppmax);
    if (aniso) takeIn(phaseVelocity(c.c11 * p, nf, rho), v.ppmin, v.ppmax);
    if (c.c55 == 0.0) {
      takeIn(0.0, v.ssmin, v.ssmax);  // a fluid
    } else {
      const Cx s = grid.attenuating() ? factorSum(grid.qs[k]) : elastic;
      takeIn(phaseVelocity(c.c55 * s, nf, rho), v.ssmin, v.ssmax);
    }
  }
  return v;
}

}  // namespace sw
