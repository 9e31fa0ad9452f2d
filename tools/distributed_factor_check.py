#!/usr/bin/python3
"""Runs shared among MPI ranks that factor each frequency together (--distributed-factor)
against the direct solve of one process: mpirun -np 2 and -np 3 (oversubscribed, as root
with OpenMPI's variables, one thread per rank) on an example, and -np 2 on a survey of two
shots.  Every trace and snapshot within 1e-10 relative (L2) of one process's (how many
files are byte for byte the same is printed), every relative residual of the log at most
1e-10, the log as one process's but for the lines of each rank's memory and the CPU time.
Then the refusals and faults: --distributed-factor without --solver direct ends with status
64 and one message before any file is written; with the MUMPS fault library (a preload that
makes a chosen call report a failure) a zero pivot ends every rank with status 4, one
message and no snapshot or trace file, an allocation failure with status 5, and a workspace
that proves too small is enlarged by every rank alike and the run ends as without the fault.

    tools/distributed_factor_check.py BIN [MUMPS_FAULT_LIBRARY] [--quick]

--quick: the example at -np 2 and the refusal only (the CI step).
"""

import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

import numpy as np

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "python"))
from stripwave.log import read_log  # noqa: E402

TOLERANCE = 1e-10
MEMORY_LINE = "factorisation on "
ENV = dict(os.environ, OMPI_ALLOW_RUN_AS_ROOT="1", OMPI_ALLOW_RUN_AS_ROOT_CONFIRM="1",
           OMP_NUM_THREADS="1")

failures = []


def check(ok, what):
    print(f"distributed_factor_check: {what}: {'ok' if ok else 'FAILED'}")
    if not ok:
        failures.append(what)


def run(cmd, cwd=None, extra_env=None):
    env = dict(ENV, **(extra_env or {}))
    return subprocess.run(cmd, cwd=cwd, env=env, capture_output=True, text=True, timeout=1200)


def mpirun(n, args, preload_env=None):
    cmd = ["mpirun", "--oversubscribe", "-np", str(n)]
    for name, value in (preload_env or {}).items():
        cmd += ["-x", f"{name}={value}"]
    return run(cmd + args)


def copy_example(src, dst, extra=()):
    dst.mkdir()
    for f in src.iterdir():
        shutil.copy(f, dst / f.name)
    for f in extra:
        shutil.copy(f, dst / f.name)
    return dst


def result_files(d):
    """The trace and snapshot files below d, relative."""
    return sorted(str(p.relative_to(d)) for p in d.rglob("fort.*") if p.name[5] in "567")


def values(path):
    return np.array([float(v.replace("D", "E").replace("d", "e"))
                     for v in path.read_text().split()])


def compare(one, many, label):
    files = result_files(one)
    check(files == result_files(many) and files, f"{label}: the same trace and snapshot files")
    worst, identical = 0.0, 0
    for rel in files:
        a, b = (one / rel).read_bytes(), (many / rel).read_bytes()
        identical += a == b
        x, y = values(one / rel), values(many / rel)
        if x.shape != y.shape:
            check(False, f"{label}: {rel} holds as many values")
            continue
        norm = np.linalg.norm(x)
        worst = max(worst, np.linalg.norm(x - y) / norm if norm > 0 else np.linalg.norm(y))
    check(worst <= TOLERANCE,
          f"{label}: traces and snapshots within {TOLERANCE:g} relative L2 of one process "
          f"(largest {worst:.3g}; {identical} of {len(files)} files byte for byte identical)")
    for log in sorted(p.relative_to(one) for p in one.rglob("output")):
        residuals = [f.residual for f in read_log(many / log).frequencies]
        check(residuals and all(r is not None and r <= TOLERANCE for r in residuals),
              f"{label}: {log}: every relative residual <= {TOLERANCE:g} "
              f"(largest {max(residuals):.3g})")
        mine = (many / log).read_text().splitlines()
        lines = [s for s in mine if MEMORY_LINE not in s and "tiempo=" not in s]
        theirs = [s for s in (one / log).read_text().splitlines() if "tiempo=" not in s]
        check(lines == theirs, f"{label}: {log}: the log of one process but the memory lines")
        memory = [s for s in mine if MEMORY_LINE in s]
        ranks = label.split()[1]
        check(len(memory) == (2 if log == Path("output") or log.parts[0] == "shot_0001" else 1)
              and all(f"on {ranks} ranks" in s for s in memory),
              f"{label}: {log}: the memory lines of {ranks} ranks")


def main():
    args = [a for a in sys.argv[1:] if a != "--quick"]
    quick = "--quick" in sys.argv[1:]
    binary = str(Path(args[0]).resolve())
    fault = str(Path(args[1]).resolve()) if len(args) > 1 else None
    example = ROOT / "examples" / "homogeneous"
    with tempfile.TemporaryDirectory(prefix="distributed_factor.") as tmp:
        work = Path(tmp)
        shots = work / "shots.txt"
        shots.write_text("# two shots\n150 120\n60 90 shear\n")

        one = copy_example(example, work / "one")
        r = run([binary, "-q", "--solver", "direct", str(one)])
        check(r.returncode == 0, "one process")
        for n in ([2] if quick else [2, 3]):
            d = copy_example(example, work / f"np{n}")
            r = mpirun(n, [binary, "-q", "--solver", "direct", "--distributed-factor", str(d)])
            check(r.returncode == 0, f"-np {n}: status 0 ({r.returncode})")
            compare(one, d, f"-np {n}")

        if not quick:
            one_s = copy_example(example, work / "one_survey", [shots])
            r = run([binary, "-q", "--solver", "direct", "--shots", "shots.txt", str(one_s)])
            check(r.returncode == 0, "one process, survey")
            d = copy_example(example, work / "np2_survey", [shots])
            r = mpirun(2, [binary, "-q", "--solver", "direct", "--distributed-factor",
                           "--shots", "shots.txt", str(d)])
            check(r.returncode == 0, f"-np 2, survey: status 0 ({r.returncode})")
            compare(one_s, d, "-np 2 survey")

        # Without --solver direct: status 64 on every rank, one message, nothing written.
        bad = copy_example(example, work / "bad")
        before = sorted(p.name for p in bad.iterdir())
        r1 = run([binary, "-q", "--distributed-factor", str(bad)])
        r2 = mpirun(2, [binary, "-q", "--distributed-factor", str(bad)])
        message = r1.stderr.splitlines()[0] if r1.stderr else "?"
        check(r1.returncode == 64 and r2.returncode == 64 and
              r2.stderr.splitlines().count(message) == 1 and
              sorted(p.name for p in bad.iterdir()) == before,
              f"without --solver direct: status {r1.returncode} (one process), "
              f"{r2.returncode} (-np 2), the message once, no file written")

        if fault is None or quick:
            return
        preload = {"LD_PRELOAD": fault}
        # MUMPS's failures, every rank's call reporting it: the status of one process.
        for fault_call, status, words in (("2 3 -10 0", 4, "numerically singular"),
                                          ("2 2 -13 100", 5, "not enough memory")):
            d = copy_example(example, work / f"fault{status}")
            r = mpirun(2, [binary, "-q", "--solver", "direct", "--distributed-factor", str(d)],
                       dict(preload, STRIPWAVE_MUMPS_FAULT=fault_call))
            said = [s for s in r.stderr.splitlines()
                    if s.startswith("stripwave:") and not s.startswith("stripwave: warning:")]
            log = (d / "output").read_text()
            check(r.returncode == status and len(said) == 1 and words in said[0] and
                  not result_files(d) and "tiempo=" not in log and words in log,
                  f"a factorisation that fails with INFOG(1) = {fault_call.split()[2]} on 2 ranks: "
                  f"status {r.returncode}, {len(said)} message(s), no trace or snapshot file, "
                  "the log ended with the reason")
        # A workspace too small at the first factorisation: enlarged on every rank alike.
        d = copy_example(example, work / "workspace")
        r = mpirun(2, [binary, "-q", "--solver", "direct", "--distributed-factor", str(d)],
                   dict(preload, STRIPWAVE_MUMPS_FAULT="2 1 -9 0"))
        check(r.returncode == 0, f"a workspace too small once: status {r.returncode}")
        compare(one, d, "-np 2 enlarged")


if __name__ == "__main__":
    main()
    if failures:
        print(f"distributed_factor_check: {len(failures)} FAILED")
        sys.exit(1)
    print("distributed_factor_check: all passed")
