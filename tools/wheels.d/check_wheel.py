"""Checks a repaired wheel's module: it exports only its PyInit_ entry, is
compiled for the ABI its name says (free-threaded or not) and, for musl, calls
nothing the oldest supported musl lacks. Prints one summary line."""
import re
import sys
import zipfile
from pathlib import Path

from elftools.elf.elffile import ELFFile


def dynamic_symbols(elf):
    table = elf.get_section_by_name(".dynsym")
    defined, undefined = set(), set()
    for symbol in table.iter_symbols():
        if not symbol.name or symbol["st_info"]["bind"] == "STB_LOCAL":
            continue
        (undefined if symbol["st_shndx"] == "SHN_UNDEF" else defined).add(symbol.name)
    return defined, undefined


def main():
    wheel, musl_libc = sys.argv[1], (sys.argv[2] if len(sys.argv) > 2 else None)
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
    if musl_libc:
        with open(musl_libc, "rb") as handle:
            available, _ = dynamic_symbols(ELFFile(handle))
        # What the interpreter provides is no concern of libc's.
        missing = sorted(s for s in called - available if not s.startswith(("Py", "_Py")))
        if missing:
            problems.append(f"calls what musl 1.2.3 lacks: {missing}")
    if problems:
        sys.exit(f"{Path(wheel).name}: " + "; ".join(problems))
    print(f"{Path(wheel).name}: {Path(wheel).stat().st_size} bytes, exports {' '.join(sorted(exported))}")


main()
