#!/usr/bin/python3
"""Kept for existing scripts: the pictures are `python3 -m stripwave plot RUNDIR` (with
PYTHONPATH=python, or the package installed)."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "python"))

from stripwave.cli import main  # noqa: E402

sys.exit(main(["plot", *sys.argv[1:]]))
