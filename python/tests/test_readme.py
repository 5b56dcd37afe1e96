"""The README's Python example is the one in python/examples, and both
examples work against the simulator."""

import os

import numpy as np
import pytest

import kelmmd
from conftest import check_print_quotes, run_python

EXAMPLES = os.path.join(os.path.dirname(__file__), "..", "examples")


def example(name):
    return os.path.join(EXAMPLES, name)


def test_readme_shows_the_current_example():
    readme = os.environ.get("KELM_README")
    if not readme:
        pytest.skip("KELM_README is not set")
    with open(example("print_quotes.py")) as source, open(readme) as text:
        assert source.read() in text.read()


def test_print_quotes_example(simulator):
    sim = simulator("--user", "demo:secret", "--rate", "20")
    check_print_quotes(run_python(example("print_quotes.py"), sim.address, "demo", "secret", "au2406", "zz9999"))


def test_save_batch_example(simulator, tmp_path):
    sim = simulator("--user", "demo:secret", "--rate", "20")
    path = tmp_path / "quotes.npy"
    run = run_python(example("save_batch.py"), sim.address, "demo", "secret", str(path), "au2406", "ag2406")
    assert run.returncode == 0, run.stderr
    saved = np.load(path)
    assert saved.dtype == kelmmd.QUOTE_DTYPE and len(saved) > 0
    assert set(saved["InstrumentID"].tolist()) <= {b"au2406", b"ag2406"}
    assert run.stdout.startswith(f"saved {len(saved)} quotes")
