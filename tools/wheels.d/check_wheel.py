"""Checks a repaired wheel's module: it exports only its PyInit_ entry, is
compiled for the ABI its name says (free-threaded or not), calls nothing the
oldest supported musl lacks (--musl) and nothing its interpreter's libpython
does not export (--python-library). An abi3 wheel must be tagged cp310-abi3 and
call only CPython 3.10's stable ABI, as abi3audit reads it (offline, from the
wheel alone). Prints one summary line."""
import argparse
import json
import re
import shutil
import subprocess
import sys
import zipfile
from pathlib import Path

from elftools.elf.elffile import ELFFile

PYTHON_PREFIXES = ("Py", "_Py")


def dynamic_symbols(elf: ELFFile) -> tuple[set[str], set[str]]:
    """The defined and the undefined global symbols of an ELF file."""
    table = elf.get_section_by_name(".dynsym")
    defined: set[str] = set()
    undefined: set[str] = set()
    for symbol in table.iter_symbols():
        if not symbol.name or symbol["st_info"]["bind"] == "STB_LOCAL":
            continue
        (undefined if symbol["st_shndx"] == "SHN_UNDEF" else defined).add(symbol.name)
    return defined, undefined


def exports(library: str) -> set[str]:
    with open(library, "rb") as handle:
        return dynamic_symbols(ELFFile(handle))[0]


def abi3_problems(wheel: str) -> list[str]:
    """What abi3audit finds wrong with an abi3 wheel: a call outside the stable
    ABI, or one newer than the version the wheel's tag promises."""
    # abi3audit comes with the tools environment that runs this check.
    auditor = shutil.which("abi3audit", path=str(Path(sys.executable).parent)) or shutil.which("abi3audit")
    if auditor is None:
        return ["abi3audit is not installed"]
    run = subprocess.run([auditor, "--strict", "--report", wheel], capture_output=True, text=True)
    try:
        report = json.loads(run.stdout)
        modules = [module for spec in report["specs"].values() for module in spec["wheel"]]
    except (json.JSONDecodeError, KeyError, TypeError):
        return [f"abi3audit failed: {(run.stderr or run.stdout).strip()[-400:]}"]
    problems = []
    for module in modules:
        result = module["result"]
        if not result["is_abi3"]:
            problems.append(f"{module['name']} is not an abi3 module")
        if result["non_abi3_symbols"]:
            problems.append(f"calls outside the stable ABI: {sorted(map(str, result['non_abi3_symbols']))}")
        if not result["is_abi3_baseline_compatible"]:
            problems.append(f"needs the stable ABI of {result['computed']}, tagged {result['baseline']}")
    if not modules or (run.returncode != 0 and not problems):
        problems.append(f"abi3audit failed: {(run.stderr or run.stdout).strip()[-400:]}")
    return problems


def parse_arguments() -> argparse.Namespace:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("wheel", help="the repaired wheel")
    parser.add_argument("--musl", metavar="LIBC",
                        help="the oldest supported musl's libc.so: the module's calls outside Python must be among its exports")
    parser.add_argument("--python-library", metavar="LIBPYTHON",
                        help="the interpreter's libpython: the module's Py*/_Py* calls must be among its exports")
    return parser.parse_args()


def main() -> None:
    arguments = parse_arguments()
    wheel = arguments.wheel
    with zipfile.ZipFile(wheel) as archive:
        modules = [n for n in archive.namelist() if n.startswith("tariffsieve.") and n.endswith(".so")]
        if len(modules) != 1:
            sys.exit(f"{wheel}: expected one module, found {modules}")
        elf = ELFFile(archive.open(modules[0]))
        exported, called = dynamic_symbols(elf)
    problems = []
    if exported != {"PyInit_tariffsieve"}:
        problems.append(f"exports {sorted(exported)}")
    # Only a module compiled for the free-threaded ABI tells the interpreter
    # that it needs no GIL; one compiled for the GIL's ABI would crash there.
    free_threaded = re.search(r"\.cpython-3\d+t-", modules[0]) is not None
    if ("PyUnstable_Module_SetGIL" in called) != free_threaded:
        problems.append(f"compiled for the {'GIL' if free_threaded else 'free-threaded'} ABI")
    python_calls = {s for s in called if s.startswith(PYTHON_PREFIXES)}
    abi3 = modules[0].endswith(".abi3.so")
    if abi3:
        # pip takes it on CPython 3.10 and newer: the tag must say so, and the
        # module must keep to what 3.10's stable ABI promises.
        if "-cp310-abi3-" not in Path(wheel).name:
            problems.append("an abi3 module in a wheel not tagged cp310-abi3")
        problems += abi3_problems(wheel)
    elif "-abi3-" in Path(wheel).name:
        problems.append(f"tagged abi3, but its module is {modules[0]}")
    if arguments.musl:
        # What the interpreter provides is no concern of libc's.
        missing = sorted(called - python_calls - exports(arguments.musl))
        if missing:
            problems.append(f"calls what musl 1.2.3 lacks: {missing}")
    if arguments.python_library:
        # Compiled against another version's headers, the module would name
        # functions (or inline-expanded helpers) this interpreter does not have
        # and fail to import with an undefined symbol.
        missing = sorted(python_calls - exports(arguments.python_library))
        if missing:
            problems.append(f"calls what {Path(arguments.python_library).name} lacks: {missing}")
    if problems:
        sys.exit(f"{Path(wheel).name}: " + "; ".join(problems))
    checked = [f"{len(called - python_calls)} libc calls in {Path(arguments.musl).name}" if arguments.musl else "",
               f"{len(python_calls)} Python calls in {Path(arguments.python_library).name}" if arguments.python_library else "",
               f"{len(python_calls)} Python calls in the 3.10 stable ABI (abi3audit)" if abi3 else ""]
    print(f"{Path(wheel).name}: {Path(wheel).stat().st_size} bytes, exports {' '.join(sorted(exported))}"
          + "".join(f", {c}" for c in checked if c))


main()
