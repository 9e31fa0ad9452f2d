#pragma once
/// The checkpoint of a run: after finished frequencies, everything the rest of the run
/// depends on, kept in the run directory so that an interrupted run can be continued
/// (--resume) to the same files, byte for byte, as a run never stopped.
///
/// One binary file (files::kCheckpoint) replaced whole: a header (format, the build and
/// the input it belongs to, the run's sizes), the last frequency finished, the outcomes
/// and log records of the finished frequencies, the solver's carried state, the
/// accumulators as raw bits, and a digest of all of it.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/frequency_loop.hpp"
#include "app/options.hpp"
#include "model/run_params.hpp"

namespace sw {

/// Which build and which input a checkpoint belongs to.
struct RunFingerprint {
  std::uint64_t build = 0;  ///< digest of the executable
  std::uint64_t input = 0;  ///< digest of the deck, the tables, a model file and the
                            ///< options that change results
};

/// The fingerprint of this process and of the input in the current directory.  A table
/// that is missing counts as empty (a run creates missing anisotropic tables empty).
RunFingerprint fingerprintRun(const Options& opt);

/// A checkpoint that cannot be resumed from: the reason, and the exit status.
struct CheckpointRefused {
  int status = 0;
  std::string reason;
};

/// Writes the checkpoint after finished frequencies.  Each write costs about the time to
/// put the accumulators on disk; a write is skipped while the frequencies solved since
/// the last one took less than kCostRatio times as long as that write did, which keeps
/// the checkpoints below about 1 / kCostRatio of the run time.  The first frequency is
/// always kept.  A checkpoint that cannot be written (a full disk) is not a failure of
/// the run: a warning says so and the run goes on without writing more (a checkpoint
/// already kept stays: it is a state of the same run, resumed to the same files).
class CheckpointWriter {
 public:
  static constexpr double kCostRatio = 20.0;

  CheckpointWriter(const RunFingerprint& fp, const RunParams& par);
  /// After frequency jw of `loop`: writes when due.
  void frequencyDone(const FrequencyLoop& loop);

  int writes() const { return writes_; }
  double seconds() const { return seconds_; }  ///< spent writing, in all
  std::size_t bytes() const { return bytes_; }  ///< size of the last checkpoint

 private:
  using Clock = std::chrono::steady_clock;
  void write(const FrequencyLoop& loop);

  RunFingerprint fp_;
  const RunParams& par_;
  int writes_ = 0;
  double seconds_ = 0.0, last_ = 0.0;
  std::size_t bytes_ = 0;
  Clock::time_point lastEnd_;
  bool failed_ = false;
  std::vector<unsigned char> solverState_;  ///< kept between writes: allocated once
};

/// The checkpoint in the current directory, mapped into memory and checked whole: its
/// format, its digest, then that it belongs to this build and this input.  Refused
/// (CheckpointRefused) when missing (kExitFileError) or damaged, of another build or of
/// another input (kExitBadInput).  Nothing else is touched.
class SavedRun {
 public:
  explicit SavedRun(const RunFingerprint& fp);
  ~SavedRun();
  SavedRun(const SavedRun&) = delete;
  SavedRun& operator=(const SavedRun&) = delete;

  /// The last frequency index the interrupted run finished.
  int last() const { return last_; }
  /// Puts the loop where the interrupted run was after its last finished frequency:
  /// the finished frequencies, the accumulators and the solver's carried state.
  /// CheckpointRefused when the sizes are not those of `par`.
  void restore(const RunParams& par, FrequencyLoop& loop) const;

 private:
  std::span<const unsigned char> bytes() const {
    return {static_cast<const unsigned char*>(map_), size_};
  }
  void* map_ = nullptr;
  std::size_t size_ = 0;
  int last_ = 0;
};

/// Removes the checkpoint of a run whose files are written; nothing when there is none.
void removeCheckpoint();

}  // namespace sw
