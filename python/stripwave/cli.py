"""Command line: python3 -m stripwave {model,plot,export,info,merge-survey} ...

Exit status: 0 done; 1 the model, run or export was refused (the reason on standard error,
one line each, also for damaged files and for what does not fit in memory); 2 a usage error;
3 a fault of the package itself (one line naming it, to be reported with the input).
"""

from __future__ import annotations

import argparse
import sys
from pathlib import Path

from .export import (ExportError, obspy_available, write_npz, write_segy, write_su,
                     write_survey_segy, write_survey_su)
from .model import (ModelError, beyond_established_limits, build_model, check_model, derived,
                    load_model, warnings)
from .run import RunError, read_run, readable_log, snapshot_file
from .survey import is_survey, merge_survey, read_survey
from .units import TIME_UNITS, frequency_unit, model_units
_KEYS = {1: "damped sine", 2: "Gaussian derivative", 3: "two damped sines", 4: "Ricker-like"}
_KDEL = {1: "explosion", 2: "shear", 3: "explosion with an asymmetric part",
         4: "vertical point force", 5: "horizontal point force"}


class Failure(Exception):
    """A refused request: the message goes to standard error, the exit status is 1."""


def _model(args) -> int:
    model = load_model(args.model)
    messages = check_model(model, args.lift_limits)
    if messages:
        raise ModelError(messages, args.model)
    der = derived(model)
    d = der["model"]["deck"]
    length, time = model_units(model)
    print(f"{args.model}: {d['nx']} x {d['ny']} elements of {der['h']:g} {length}, "
          f"{len(model['materials'])} materials (nmat {der['nmat']}), dt = {der['dt']:.8g} "
          f"{time}, nt = {der['nt']}, {der['jw2']} frequencies up to {d['f4']:g} "
          f"{frequency_unit(time)} (Nyquist {der['fnyq']:.6g}), "
          f"{der['points_per_wavelength']} elements per P wavelength at freq")
    for w in warnings(model, der):
        print(f"warning: {w}")
    beyond = beyond_established_limits(model, der)
    if beyond:
        print(f"beyond the established limits ({', '.join(beyond)}): run it with "
              "stripwave --lift-limits")
    if args.check:
        print("the model is valid; nothing written (--check)")
        return 0
    written = build_model(model, args.outdir, args.model, args.lift_limits)
    print(f"wrote {', '.join(p.name for p in written)} into {args.outdir}")
    return 0


def _moveout(values, run) -> list:
    out = []
    for v in values or []:
        if v != "auto":
            try:
                out.append(float(v))
            except ValueError:
                raise Failure(f"--moveout {v}: give a velocity or 'auto'") from None
            continue
        if run.model is None:
            raise Failure(f"--moveout auto: {run.path} has no model.json to take the source's "
                          "P velocity from")
        number = int(run.material_map()[run.params.ksou - 1, run.params.jsou - 1])
        mat = run.model["materials"][number - 1]
        out.append(mat.get("vp", mat.get("vp0")))
    return out


def _plot(args) -> int:
    from .plot import plot_model, render_run, save
    from .plot import plot_model_file, run_name
    path = Path(args.path)
    depth_down = not args.y_up
    if path.is_file() and path.suffix.lower() in (".h5", ".hdf5"):
        out = Path(args.output) if args.output else path.with_name(path.stem + ".png")
        print(save(plot_model_file(path, depth_down), out))
        return 0
    if path.is_file():
        model = load_model(path)
        messages = check_model(model)
        if messages:
            raise ModelError(messages, path)
        out = Path(args.output) if args.output else path.with_name(path.stem + ".png")
        print(save(plot_model(model, run_name(path.parent), depth_down), out))
        return 0
    run = read_run(path)
    try:
        made = render_run(run, args.output, power=args.gain, agc=args.agc, clip=args.clip,
                          moveout=_moveout(args.moveout, run), depth_down=depth_down,
                          model_file=args.model)
    except ValueError as err:
        raise Failure(str(err)) from None
    for p in made:
        print(p)
    return 0


def _print_time_unit(args, run) -> None:
    """Says which time unit the traces are written in, and where it comes from."""
    unit_note = "" if args.time_unit else \
        (" (from model.json)" if run.model and "units" in run.model else
         " (assumed; set it with --time-unit or \"units\" in model.json)")
    print(f"time unit of the run: {args.time_unit or run.time_unit}{unit_note}")


def _trace_file(args, comps, component: str, suffix: str) -> Path:
    """The file of one component: --output itself for a single component, else the
    component's name beside its stem (default RUNDIR/traces)."""
    if args.output and len(comps) == 1:
        return Path(args.output)
    stem = Path(args.output) if args.output else Path(args.rundir) / "traces"
    return stem.with_name(f"{stem.name}_v{component}{suffix}")


def _export_survey(args) -> int:
    """All shot gathers of a survey in one file per component."""
    survey = read_survey(args.rundir)
    if args.format not in ("segy", "su"):
        raise Failure(f"--format {args.format} writes one run: export a shot directory "
                      f"({survey.shots[0].directory}); a survey goes to one SEG-Y or SU file")
    suffix = ".sgy" if args.format == "segy" else ".su"
    writer = write_survey_segy if args.format == "segy" else write_survey_su
    comps = ("x", "y") if args.component == "both" else (args.component,)
    if survey.runs:
        _print_time_unit(args, survey.runs[0])
    for c in comps:
        out = _trace_file(args, comps, c, suffix)
        interval, nt = writer(survey, out, c, args.time_unit, args.resample)
        written = len(survey.runs)
        print(f"wrote {out}: {written} shot gathers "
              f"({sum(r.params.nrec for r in survey.runs)} traces of {nt} samples), "
              f"{'horizontal' if c == 'x' else 'vertical'} particle velocity")
    if survey.missing:
        print(f"not written (missing): shots {', '.join(str(s.number) for s in survey.missing)}")
    print(interval.describe(nt))
    return 0


def _export(args) -> int:
    if is_survey(args.rundir):
        return _export_survey(args)
    run = read_run(args.rundir)
    if args.format == "npz":
        out = Path(args.output) if args.output else Path(args.rundir) / "run.npz"
        print(f"wrote {write_npz(run, out)}")
        return 0
    if args.format == "obspy":
        if not obspy_available():
            raise Failure("ObsPy is not installed: --format obspy needs it")
        from .export import to_obspy
        out = Path(args.output) if args.output else Path(args.rundir) / "traces.mseed"
        to_obspy(run, args.component).write(str(out), format="MSEED")
        print(f"wrote {out}")
        return 0
    suffix = ".sgy" if args.format == "segy" else ".su"
    writer = write_segy if args.format == "segy" else write_su
    comps = ("x", "y") if args.component == "both" else (args.component,)
    _print_time_unit(args, run)
    for c in comps:
        out = _trace_file(args, comps, c, suffix)
        interval, nt = writer(run, out, c, args.time_unit, args.resample)
        print(f"wrote {out}: {run.params.nrec} traces of {nt} samples, "
              f"{'horizontal' if c == 'x' else 'vertical'} particle velocity")
    print(interval.describe(nt))
    return 0


def summary(run) -> str:
    """A few lines on a finished run: grid, time axis, band, convergence, files."""
    p = run.params
    tu, lu = run.time_unit, run.length_unit
    fu = frequency_unit(tu)
    conv = run.converged
    lines = [
        f"run {run.path}: finished, CPU time {p.cpu_time:.4g} s",
        f"grid        {p.nx} x {p.ny} elements of {p.h:g} {lu}: {p.xsize:g} x {p.ysize:g} {lu} "
        "(y up from the bottom)",
        f"time        dt = {p.dt:.8g} {tu}, {p.nt} samples to {(p.nt - 1) * p.dt:.6g} {tu} "
        f"(stime {p.stime:g}); the sums repeat after 1/delf = {p.period:.6g} {tu}",
        f"source      kdel {p.kdel} ({_KDEL.get(p.kdel, 'no source')}) at x = {p.xsou:g}, "
        f"y = {p.ysou:g} {lu} (element {p.jsou}, {p.ksou}); wavelet key {p.key} "
        f"({_KEYS.get(p.key, '?')}), freq {p.freq:g} {fu}",
        f"band        f1..f4 = {', '.join(f'{f:g}' for f in p.band)} {fu}; delf = {p.delf:.6g}; "
        f"{p.jw2} frequencies; Nyquist {1 / (2 * p.dt):.6g} {fu}",
    ]
    if p.vp_range and p.vs_range:
        lines.append(f"velocities  P {p.vp_range[0]:g} .. {p.vp_range[1]:g}, S {p.vs_range[0]:g} "
                     f".. {p.vs_range[1]:g} {lu}/{tu}")
    residuals = [f.residual for f in run.frequencies if f.residual is not None]
    if residuals and len(residuals) == len(run.frequencies):
        lines.append(f"solver      direct (whole grid), largest relative residual "
                     f"{max(residuals):.2e}")
    else:
        lines.append(f"iteration   maxiter {p.maxiter} (maxlow {p.maxlow} for indices up to "
                     f"{p.jwlow}), reduc {p.reduc:g}")
    lines.append(f"converged   {len(conv)} of {len(run.frequencies)} frequencies")
    bad = run.not_converged
    if bad:
        shown = ", ".join(f"{f.index} ({f.frequency:.4g} {fu}: "
                          f"{'?' if f.relative_change is None else f'{f.relative_change:.3g}'})"
                          for f in bad[:8])
        more = f" and {len(bad) - 8} more" if len(bad) > 8 else ""
        lines.append(f"            not converged (index (frequency: last relative change)): "
                     f"{shown}{more}")
    tr = run.traces
    lines.append(f"receivers   {p.nrec} from ({tr.rx[0]:g}, {tr.ry[0]:g}) to ({tr.rx[-1]:g}, "
                 f"{tr.ry[-1]:g}) {lu}")
    if run.snapshots:
        lines.append(f"snapshots   {len(run.snapshots)} at "
                     f"{', '.join(f'{s.time:.6g}' for s in run.snapshots)} {tu}")
    files = ["output", "fort.60", "fort.70"]
    if run.snapshots:
        n = len(run.snapshots)
        files += [f"{snapshot_file(c, 1, n)}..{snapshot_file(c, n, n)}" if n > 1 else
                  snapshot_file(c, 1, n) for c in (1, 2)]
    lines.append(f"files       {', '.join(files)} (all present)")
    return "\n".join(lines)


def _info(args) -> int:
    try:
        run = read_run(args.rundir)
    except RunError as err:
        path = Path(args.rundir)
        if (path / "output").is_file():
            try:
                log = readable_log(path)
            except RunError:
                raise Failure(str(err)) from None
            known = [f"nx {log.nx}" if log.nx else None, f"ny {log.ny}" if log.ny else None,
                     f"h {log.h:g}" if log.h else None, f"dt {log.dt:.8g}" if log.dt else None,
                     f"nt {log.nt}" if log.nt is not None else None,
                     f"{len(log.frequencies)} frequencies reached" if log.frequencies else None]
            known = [k for k in known if k]
            if known:
                print(f"run {path}: the log holds {', '.join(known)}")
        raise Failure(str(err)) from None
    print(summary(run))
    return 0


def _merge_survey(args) -> int:
    survey = merge_survey(args.outdir, args.parts, allow_missing=args.allow_missing,
                          link=args.link)
    written = len(survey.runs)
    print(f"merged {len(args.parts)} parts into {args.outdir}: {len(survey)} shots, "
          f"{written} written" + (f", missing: {', '.join(str(s.number) for s in survey.missing)}"
                                  if survey.missing else ""))
    return 0


def parser() -> argparse.ArgumentParser:
    ap = argparse.ArgumentParser(
        prog="python3 -m stripwave",
        description="Build stripwave models, and read, plot and export its runs.",
        epilog="Exit status: 0 done, 1 refused (reason on standard error), 2 usage error, "
               "3 a fault of the package (please report it with the input).")
    sub = ap.add_subparsers(dest="command", required=True, metavar="COMMAND")

    p = sub.add_parser("model", help="check a model description and write its deck and tables",
                       description="Check MODEL.json (schema, physics, the program's limits) "
                                   "and write the deck inp_A and the material tables into "
                                   "OUTDIR. Nothing is written when a check fails.")
    p.add_argument("model", help="model description (JSON), see examples/*/model.json")
    p.add_argument("outdir", nargs="?", default=".", help="directory to write into (default .)")
    p.add_argument("--check", action="store_true", help="only check; write nothing")
    p.add_argument("--lift-limits", action="store_true",
                   help="allow grids, samples, frequencies, snapshots and receivers beyond the "
                        "program's established limits (for stripwave --lift-limits)")
    p.set_defaults(func=_model)

    p = sub.add_parser("plot", help="render a run's snapshots and gathers, or a model",
                       description="Render PNG pictures: for a run directory, every snapshot "
                                   "(both components, model outlines, source and receivers; "
                                   "over the model when the run has a model file), the "
                                   "gathers as images and wiggles, and model.png when "
                                   "model.json or a model file is in the run; for a model "
                                   "(JSON or HDF5 model file), its P and S velocity, density "
                                   "and Q. Sections are drawn with depth increasing "
                                   "downwards.")
    p.add_argument("path", help="run directory, model JSON file or model file (.h5)")
    p.add_argument("--model", metavar="FILE",
                   help="model file of the run, relative to it (default model.h5 when there)")
    p.add_argument("--y-up", action="store_true",
                   help="draw sections with y up from the bottom, as the program counts it")
    p.add_argument("-o", "--output", help="output directory (run) or PNG file (model); "
                                          "default: beside the input")
    p.add_argument("--gain", type=float, metavar="POWER", help="multiply gathers by t^POWER")
    p.add_argument("--agc", type=float, metavar="WINDOW",
                   help="automatic gain control over WINDOW time units")
    p.add_argument("--clip", type=float, default=1.0,
                   help="colour scale as a fraction of the peak (default 1)")
    p.add_argument("--moveout", action="append", metavar="V",
                   help="draw t = distance / V on the gathers; 'auto' takes the P velocity "
                        "of the source's material from model.json (repeatable)")
    p.set_defaults(func=_plot)

    p = sub.add_parser("export", help="write traces as SEG-Y, SU or .npz",
                       description="Write the traces of a finished run. SEG-Y and SU: one "
                                   "file per component (TRACES_vx.sgy, TRACES_vy.sgy), with "
                                   "source and receiver coordinates, offset and sample "
                                   "interval in the trace headers; the exact dt goes into the "
                                   "SEG-Y textual header and the terminal says how far the "
                                   "header's whole microseconds are from it. On the directory "
                                   "of a survey (stripwave --shots), every shot gather goes to "
                                   "one file per component, FieldRecord (FFID) the shot number.")
    p.add_argument("rundir", help="run directory")
    p.add_argument("--format", choices=("segy", "su", "npz", "obspy"), default="segy",
                   help="segy (default), su, npz (traces and snapshots), obspy (MiniSEED "
                        "through ObsPy, when installed)")
    p.add_argument("-o", "--output", help="output file, or prefix for one file per component "
                                          "(default RUNDIR/traces)")
    p.add_argument("--component", choices=("x", "y", "both"), default="both")
    p.add_argument("--time-unit", choices=tuple(TIME_UNITS),
                   help="time unit of the run (default: model.json 'units', else ms)")
    p.add_argument("--resample", type=int, metavar="US",
                   help="resample onto an interval of US whole microseconds")
    p.set_defaults(func=_export)

    p = sub.add_parser("merge-survey", help="join the parts of a survey run as a job array",
                       description="Join the run directories of the parts of one survey "
                                   "(stripwave --shots FILE --shot-range FIRST:LAST) into "
                                   "OUTDIR: every shot directory and survey.txt as a survey "
                                   "run in one piece writes them, for read_survey, plot and "
                                   "export. Refused, writing nothing, when the parts come "
                                   "from different input (deck, tables, model or shots file, "
                                   "options that change results), overlap, leave shots out, "
                                   "hold missing shots, or when OUTDIR holds a survey already.")
    p.add_argument("outdir", help="directory of the merged survey (made when absent)")
    p.add_argument("parts", nargs="+", metavar="PARTDIR", help="run directory of a part")
    p.add_argument("--allow-missing", action="store_true",
                   help="merge parts whose shots are missing too (listed as missing)")
    p.add_argument("--link", action="store_true",
                   help="hard-link the shots' files instead of copying them (one file system)")
    p.set_defaults(func=_merge_survey)

    p = sub.add_parser("info", help="summary of a run: grid, band, convergence, files",
                       description="Summarise a run directory; for a run that did not finish, "
                                   "say what the log holds and what is missing (status 1).")
    p.add_argument("rundir", help="run directory")
    p.set_defaults(func=_info)
    return ap


def main(argv=None) -> int:
    args = parser().parse_args(argv)
    try:
        return args.func(args)
    except (ModelError, RunError, ExportError, Failure) as err:
        for line in str(err).splitlines():
            print(f"stripwave {args.command}: {line}", file=sys.stderr)
        return 1
    except OSError as err:
        print(f"stripwave {args.command}: {err}", file=sys.stderr)
        return 1
    except MemoryError:
        print(f"stripwave {args.command}: not enough memory for the arrays of this "
              f"{'model' if args.command == 'model' else 'run'}", file=sys.stderr)
        return 1
    except RecursionError:
        print(f"stripwave {args.command}: the input nests too deeply to be read",
              file=sys.stderr)
        return 1
    except Exception as err:  # noqa: BLE001 -- one line, not a traceback, for any fault left
        print(f"stripwave {args.command}: internal error: {type(err).__name__}: {err} (a fault "
              "of the package, not of the input: please report it with the input)",
              file=sys.stderr)
        return 3
