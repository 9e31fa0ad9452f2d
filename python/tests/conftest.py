"""Shared fixtures: stored runs copied into scratch directories and the simulator binary."""

from pathlib import Path

import pytest

from support import DATA, binary_path, copy_run


@pytest.fixture
def layered_run(tmp_path):
    """The stored three-layer run (30 x 20 elements, 8 receivers, 2 snapshots)."""
    return copy_run(DATA / "regression" / "layered_small", tmp_path / "layered_small")


@pytest.fixture
def stored_run(tmp_path):
    """Factory: copy_run for a case under tests/data (e.g. 'golden/n21_snap25')."""
    return lambda name: copy_run(DATA / name, tmp_path / Path(name).name)


@pytest.fixture(scope="session")
def binary():
    path = binary_path()
    if path is None:
        pytest.skip("the simulator is not built (set STRIPWAVE_BINARY or run make build)")
    return path
