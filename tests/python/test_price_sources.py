"""The price-source payloads and expected series are what their generator
writes: a hand edit to one, or a generator change not run, shows here."""
import subprocess
import sys
from pathlib import Path

FOLDER = Path(__file__).resolve().parent / "price_sources"


def test_committed_payloads_are_the_generators_output(tmp_path: Path) -> None:
    subprocess.run([sys.executable, str(FOLDER / "make_payloads.py"), str(tmp_path)], check=True, timeout=120)
    written = sorted(path.name for path in tmp_path.iterdir())
    assert written == sorted(path.name for path in FOLDER.iterdir() if path.suffix in (".json", ".xml", ".csv"))
    for name in written:
        assert (tmp_path / name).read_text(encoding="utf-8") == (FOLDER / name).read_text(encoding="utf-8"), name
