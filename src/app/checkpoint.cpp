#include "app/checkpoint.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "core/exit_status.hpp"
#include "core/state_bytes.hpp"
#include "input/run_files.hpp"
#include "records/io_error.hpp"
#include "records/out_file.hpp"

namespace sw {

namespace {

constexpr std::string_view kMagic{"stripwave ckpt\n\0", 16};
constexpr std::uint32_t kFormat = 1;
constexpr std::uint32_t kByteOrder = 0x01020304;

/// Adds the content of file `name` to `d` (its name and size first); a file that cannot
/// be read adds as an empty one.
void addFile(Digest& d, const std::string& name) {
  d.add(name);
  d.add(std::string_view("\0", 1));
  std::uint64_t total = 0;
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd >= 0) {
    struct stat st {};
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
      std::vector<char> buf(std::size_t{1} << 20);
      for (;;) {
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        d.add(buf.data(), static_cast<std::size_t>(n));
        total += static_cast<std::uint64_t>(n);
      }
    }
    ::close(fd);
  }
  d.add(&total, sizeof total);
}

/// The sizes a checkpoint's arrays follow from.
std::array<std::int32_t, 7> sizesOf(const RunParams& par) {
  return {par.nx, par.ny, std::max(par.nsnapt, 0), std::max(par.jw2, 0), std::max(par.nrec, 0),
          par.jw1, par.jw2};
}

template <class T>
std::string_view rawBytes(const std::vector<T>& v) {
  return {reinterpret_cast<const char*>(v.data()), v.size() * sizeof(T)};
}

CheckpointRefused damaged(const std::string& why) {
  return {kExitBadInput, std::string("the checkpoint ") + files::kCheckpoint +
                             " is damaged (" + why +
                             "); run without --resume to start afresh"};
}

}  // namespace

RunFingerprint fingerprintRun(const Options& opt) {
  RunFingerprint fp;
  Digest build;
  addFile(build, "/proc/self/exe");
  build.add(std::string_view(STRIPWAVE_VERSION));
  fp.build = build.value();

  Digest input;
  for (const char* name : {files::kDeck, files::kPModulus, files::kSModulus, files::kDensity})
    addFile(input, name);
  for (const char* name : files::kAnisotropic) addFile(input, name);
  if (!opt.modelFile.empty()) addFile(input, opt.modelFile);
  if (!opt.shotsFile.empty()) addFile(input, opt.shotsFile);
  const std::int32_t options[3] = {static_cast<std::int32_t>(opt.acceleration),
                                   opt.liftLimits ? 1 : 0, static_cast<std::int32_t>(opt.solver)};
  input.add(options, sizeof options);
  // Added only when used, so that the runs without them keep their fingerprints.
  if (opt.complexFrequency) {
    input.add(std::string_view("complex frequency"));
    const double damping = opt.damping.value_or(0.0);  // 0: pi delf, of the deck
    input.add(&damping, sizeof damping);
  }
  if (opt.freeSurface) input.add(std::string_view("free surface"));
  if (opt.pml > 0) {
    input.add(std::string_view("matched layer"));
    input.add(&opt.pml, sizeof opt.pml);
  }
  if (opt.shotRange) {
    input.add(std::string_view("shot range"));
    const std::int32_t range[2] = {opt.shotRange->first, opt.shotRange->last};
    input.add(range, sizeof range);
  }
  fp.input = input.value();
  return fp;
}

CheckpointWriter::CheckpointWriter(const RunFingerprint& fp, const RunParams& par)
    : fp_(fp), par_(par) {}

void CheckpointWriter::frequencyDone(const FrequencyLoop& loop) {
  if (failed_) return;
  const Clock::time_point now = Clock::now();
  if (writes_ > 0 && std::chrono::duration<double>(now - lastEnd_).count() < kCostRatio * last_)
    return;
  try {
    write(loop);
  } catch (const rec::IoError& e) {
    // The run does not depend on its checkpoint: it goes on, and says it keeps none.
    failed_ = true;
    std::vector<unsigned char>().swap(solverState_);
    std::fprintf(stderr,
                 "stripwave: warning: %s; the run goes on without keeping further "
                 "checkpoints\n",
                 e.what());
    return;
  }
  lastEnd_ = Clock::now();
  last_ = std::chrono::duration<double>(lastEnd_ - now).count();
  seconds_ += last_;
  ++writes_;
}

void CheckpointWriter::write(const FrequencyLoop& loop) {
  const FinishedFrequencies& done = loop.finished();
  const int shots = loop.shots();
  std::vector<unsigned char> head;
  StateWriter w(head);
  w.bytes(kMagic.data(), kMagic.size());
  w.value(kFormat);
  w.value(kByteOrder);
  w.value(fp_.build);
  w.value(fp_.input);
  for (const std::int32_t s : sizesOf(par_)) w.value(s);
  w.value(static_cast<std::int32_t>(done.last));
  w.value(static_cast<std::int32_t>(shots));
  for (int k = 0; k < shots; ++k) {
    w.value(static_cast<std::int32_t>(done.firstNonFinite[k].value_or(0)));
    w.text(done.logs[k]);
  }
  w.value(static_cast<std::uint64_t>(done.outcomes.size()));
  for (const FrequencyOutcome& f : done.outcomes) {
    w.value(static_cast<std::int32_t>(f.jw));
    w.value(static_cast<std::int32_t>(f.passes));
    w.value(f.frequency);
    w.value(f.change);
    w.value(static_cast<std::uint8_t>(f.converged));
    w.value(static_cast<std::uint8_t>(f.residual.has_value()));
    w.value(f.residual.value_or(0.0));
  }
  // The solver's state is its own part (written as an array), held once.
  FrequencySolver& solver = const_cast<FrequencyLoop&>(loop).solver();
  solverState_.clear();
  // The fields and histories, and a few values per shot: one allocation.
  solverState_.reserve(solver.bytes() + 64 * static_cast<std::size_t>(solver.shots()) + 64);
  StateWriter ws(solverState_);
  solver.saveCarried(ws);
  const std::uint64_t solverCount = solverState_.size();

  std::vector<std::string_view> parts;
  parts.emplace_back(reinterpret_cast<const char*>(head.data()), head.size());
  parts.emplace_back(reinterpret_cast<const char*>(&solverCount), sizeof solverCount);
  parts.emplace_back(reinterpret_cast<const char*>(solverState_.data()), solverState_.size());
  // Per shot the four sums, each as an array: its count, then its values.
  std::vector<std::uint64_t> counts(4 * static_cast<std::size_t>(shots));
  for (int k = 0; k < shots; ++k) {
    const Accumulators& acc = loop.accumulators(k);
    const std::array<std::uint64_t, 4> n = {acc.tpic1.size(), acc.tpic2.size(), acc.fu1.size(),
                                            acc.fu2.size()};
    const std::array<std::string_view, 4> values = {rawBytes(acc.tpic1), rawBytes(acc.tpic2),
                                                    rawBytes(acc.fu1), rawBytes(acc.fu2)};
    for (std::size_t a = 0; a < 4; ++a) {
      std::uint64_t& count = counts[4 * static_cast<std::size_t>(k) + a];
      count = n[a];
      parts.emplace_back(reinterpret_cast<const char*>(&count), sizeof count);
      parts.push_back(values[a]);
    }
  }
  Digest d;
  std::size_t total = 0;
  for (const std::string_view p : parts) {
    d.add(p);
    total += p.size();
  }
  const std::uint64_t digest = d.value();
  parts.emplace_back(reinterpret_cast<const char*>(&digest), sizeof digest);
  rec::replaceWhole(files::kCheckpoint, parts);
  bytes_ = total + sizeof digest;
}

SavedRun::SavedRun(const RunFingerprint& fp) {
  const int fd = ::open(files::kCheckpoint, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT)
      throw CheckpointRefused{
          kExitFileError,
          std::string("there is no checkpoint (") + files::kCheckpoint +
              ") in this directory to resume from: no run here was interrupted after "
              "finishing a frequency, or the run finished; run without --resume"};
    throw CheckpointRefused{kExitFileError, std::string("cannot open the checkpoint ") +
                                                files::kCheckpoint + ": " + std::strerror(errno)};
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw CheckpointRefused{kExitFileError, std::string("the checkpoint ") + files::kCheckpoint +
                                                " is not a regular file"};
  }
  size_ = static_cast<std::size_t>(st.st_size);
  if (size_ > 0) {
    map_ = mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
    if (map_ == MAP_FAILED) {
      const int err = errno;
      map_ = nullptr;
      ::close(fd);
      throw CheckpointRefused{kExitFileError, std::string("cannot read the checkpoint ") +
                                                  files::kCheckpoint + ": " + std::strerror(err)};
    }
  }
  ::close(fd);

  const std::span<const unsigned char> all = bytes();
  if (all.size() < kMagic.size() + sizeof(std::uint64_t) ||
      std::memcmp(all.data(), kMagic.data(), kMagic.size()) != 0)
    throw damaged(all.size() < kMagic.size() ? "it is truncated" : "it is not a stripwave checkpoint");
  Digest d;
  d.add(all.data(), all.size() - sizeof(std::uint64_t));
  std::uint64_t stored = 0;
  std::memcpy(&stored, all.data() + all.size() - sizeof stored, sizeof stored);
  if (d.value() != stored) throw damaged("truncated or altered: its digest does not match");

  StateReader r(all.first(all.size() - sizeof(std::uint64_t)));
  std::array<char, kMagic.size()> magic{};
  r.bytes(magic.data(), magic.size());
  if (r.value<std::uint32_t>() != kFormat || r.value<std::uint32_t>() != kByteOrder)
    throw damaged("written in another format or byte order");
  if (r.value<std::uint64_t>() != fp.build)
    throw CheckpointRefused{
        kExitBadInput, std::string("the checkpoint ") + files::kCheckpoint +
                           " was written by another build of stripwave; resume with the "
                           "program that wrote it, or run without --resume to start afresh"};
  if (r.value<std::uint64_t>() != fp.input)
    throw CheckpointRefused{
        kExitBadInput,
        std::string("the checkpoint ") + files::kCheckpoint +
            " belongs to another input: the deck, a table, the model file or an option that "
            "changes results (--accelerate, --accelerate-all, --model, --lift-limits, "
            "--solver, --complex-frequency, --damping) is not as it was; restore them, or "
            "run without --resume to start afresh"};
  for (int k = 0; k < 7; ++k) r.value<std::int32_t>();
  last_ = r.value<std::int32_t>();
}

SavedRun::~SavedRun() {
  if (map_ != nullptr) munmap(map_, size_);
}

void SavedRun::restore(const RunParams& par, FrequencyLoop& loop) const {
  try {
    const std::span<const unsigned char> all = bytes();
    StateReader r(all.first(all.size() - sizeof(std::uint64_t)));
    std::array<char, kMagic.size()> magic{};
    r.bytes(magic.data(), magic.size());
    r.value<std::uint32_t>();
    r.value<std::uint32_t>();
    r.value<std::uint64_t>();
    r.value<std::uint64_t>();
    for (const std::int32_t s : sizesOf(par))
      if (r.value<std::int32_t>() != s) throw StateMismatch("sizes other than the deck's");
    FinishedFrequencies done;
    done.last = r.value<std::int32_t>();
    if (done.last < par.jw1 || done.last > par.jw2)
      throw StateMismatch("a frequency outside the band");
    const std::int32_t shots = r.value<std::int32_t>();
    if (shots != loop.shots()) throw StateMismatch("another number of shots");
    for (int k = 0; k < shots; ++k) {
      const std::int32_t nonFinite = r.value<std::int32_t>();
      done.firstNonFinite.push_back(nonFinite != 0 ? std::optional<int>(nonFinite) : std::nullopt);
      done.logs.push_back(r.text());
    }
    const std::uint64_t n = r.value<std::uint64_t>();
    if (n != static_cast<std::uint64_t>(par.jw2 - done.last + 1))
      throw StateMismatch("outcomes of another number of frequencies");
    for (std::uint64_t k = 0; k < n; ++k) {
      FrequencyOutcome f;
      f.jw = r.value<std::int32_t>();
      f.passes = r.value<std::int32_t>();
      f.frequency = r.value<double>();
      f.change = r.value<double>();
      f.converged = r.value<std::uint8_t>() != 0;
      const bool direct = r.value<std::uint8_t>() != 0;
      const double residual = r.value<double>();
      if (direct) f.residual = residual;
      done.outcomes.push_back(f);
    }
    const std::vector<unsigned char> solver = r.vector<unsigned char>();
    for (int k = 0; k < shots; ++k) {
      Accumulators& acc = loop.restoredAccumulators(k);
      r.array(std::span<double>(acc.tpic1));
      r.array(std::span<double>(acc.tpic2));
      r.array(std::span<Cx>(acc.fu1));
      r.array(std::span<Cx>(acc.fu2));
    }
    if (r.left() != 0) throw StateMismatch("bytes after its end");
    StateReader rs(solver);
    loop.solver().restoreCarried(rs);
    if (rs.left() != 0) throw StateMismatch("a solver state of another size");
    loop.resume(std::move(done));
  } catch (const StateMismatch& e) {
    throw damaged(e.what());
  }
}

void removeCheckpoint() { ::unlink(files::kCheckpoint); }

}  // namespace sw
