"""Checks a repaired wheel's module: it exports only its PyInit_ entry, is
compiled for the ABI its name says (free-threaded or not), calls nothing the
oldest supported musl lacks (--musl) and nothing its interpreter's libpython
does not export (--python-library). Prints one summary line."""
import argparse
import re
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
               f"{len(python_calls)} Python calls in {Path(arguments.python_library).name}" if arguments.python_library else ""]
    print(f"{Path(wheel).name}: {Path(wheel).stat().st_size} bytes, exports {' '.join(sorted(exported))}"
          + "".join(f", {c}" for c in checked if c))


main()
