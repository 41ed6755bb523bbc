"""The command as a user gets it: the wheel built from the source distribution
carries the tariffsieve_plan package and the tariffsieve-plan entry point, and
the command runs in a fresh environment that holds that wheel alone."""
import sys
import zipfile
from pathlib import Path

from built_distribution import ROOT, built_distribution, run


def test_wheel_carries_the_command_and_its_sources():
    dist = built_distribution()
    sources = sorted(p.name for p in (ROOT / "src/cli/tariffsieve_plan").glob("*.py"))
    with zipfile.ZipFile(dist.wheel) as whl:
        names = set(whl.namelist())
        (entry_points,) = [n for n in names if n.endswith(".dist-info/entry_points.txt")]
        entries = whl.read(entry_points).decode()
    assert sorted(n.split("/", 1)[1] for n in names if n.startswith("tariffsieve_plan/")) == sources
    assert "[console_scripts]\ntariffsieve-plan = tariffsieve_plan.command:main\n" in entries


def test_command_runs_from_the_wheel_alone(tmp_path):
    dist = built_distribution()
    command = Path(dist.python).with_name("tariffsieve-plan" + (".exe" if sys.platform == "win32" else ""))
    out = run([command, ROOT / "examples/sample_day.csv", "--run", "6h", "--block", "2h", "--max-off", "8h",
               "--start-within", "4h", "--cheap", "0.0750", "--format", "csv"], cwd=tmp_path)
    assert [line.rsplit(",", 1)[1] for line in out.splitlines()[1:]].count("1") == 7
