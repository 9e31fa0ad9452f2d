#pragma once
/// The memory a run needs, estimated from its sizes before anything is allocated, and the
/// memory the machine can give it.

#include <string>

namespace sw {

/// The sizes of a run that its storage grows with.
struct RunShape {
  long nx = 0, ny = 0;      ///< elements
  long nsnapt = 0;          ///< time snapshots
  long nfreq = 0;           ///< frequency indices of the band (jw2)
  long tableFreqs = 0;      ///< frequency indices the material tables hold
  long nrec = 0;            ///< receivers
  long nt = 0;              ///< time samples
  long threads = 1;         ///< strips solved at a time
  bool accelerate = false;  ///< the accelerated iteration keeps its history
  bool gridModel = false;   ///< a model file: its properties as read and its moduli
  long shots = 1;           ///< shots of a survey: fields, snapshots and spectra of each
  long layer = 0;           ///< elements of a perfectly matched layer around the grid
  bool layerTop = true;     ///< the layer also above the grid (no free surface)
  /// The strip iteration of a layer (without the direct solver): on the scalar kernels,
  /// the factors of every strip, every edge's parameters and the fields of each shot and
  /// of the previous iterate as sixteen framed arrays in place of the lanes', and the
  /// basis and work vectors of GMRES on the carried state
  bool layerIteration = false;
};

/// Estimated peak bytes of a run above the resident size of the process at start-up
/// (code, libraries, the input files), split by what they hold.
struct MemoryEstimate {
  double grid = 0.0;       ///< per-element storage: medium, edge fields (per shot), interface
                           ///< parameters, strip factors, change terms, material map,
                           ///< the history of the accelerated iteration, the properties
                           ///< and moduli of a model file
  double snapshots = 0.0;  ///< snapshot accumulators
  double traces = 0.0;     ///< receiver spectra and the time series written from them
  double other = 0.0;      ///< material tables, source spectrum, per-thread work storage
  double total() const { return grid + snapshots + traces + other; }
};

MemoryEstimate estimateMemory(const RunShape& s);

/// Resident size of the process before a run allocates its storage (measured: code,
/// libraries, thread stacks and small input files; the direct solver's libraries, MUMPS
/// with BLAS and the Fortran run time, add about 4 MiB to a build that holds it).
double startupBytes();

/// Memory the process can still obtain, and what bounds it.
struct AvailableMemory {
  double bytes = 0.0;
  std::string source;  ///< "MemAvailable", "cgroup limit" or "address-space limit"
};

/// Where the kernel tells about memory.
struct MemorySources {
  std::string meminfo = "/proc/meminfo";
  std::string selfCgroup = "/proc/self/cgroup";
  std::string cgroupRoot = "/sys/fs/cgroup";
  bool addressSpace = true;  ///< consider RLIMIT_AS
};

/// The smallest of: MemAvailable, the room left under the memory limit of the process's
/// cgroup (v2 or v1, at every level up to the root), and the room left under RLIMIT_AS.
/// Sources that cannot be read are left out; with none, bytes is infinite.
AvailableMemory availableMemory(const MemorySources& from = {});

/// Bytes in binary units with three significant digits, e.g. "943 MiB", "12.4 GiB".
std::string bytesText(double bytes);

}  // namespace sw
