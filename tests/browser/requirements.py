"""Prints the pinned requirements of the integrations a Home Assistant loads
for the named ones (they, what it always loads, and all they depend on), so
the venv gets exactly those and the server can start with --skip-pip: no
install at run time, and nothing of the voice pipeline, whose packages have
no wheels for this Python. Run with the venv's own python."""
from __future__ import annotations

import json
import sys
from pathlib import Path

import homeassistant.components
from homeassistant import bootstrap

COMPONENTS = Path(homeassistant.components.__file__).parent


def loaded(named: list[str]) -> set[str]:
    """Every integration set up for a configuration that names these."""
    todo = [*named, *bootstrap.CORE_INTEGRATIONS, *bootstrap.DEFAULT_INTEGRATIONS]
    seen: set[str] = set()
    while todo:
        domain = todo.pop()
        manifest = COMPONENTS / domain / "manifest.json"
        if domain in seen or not manifest.exists():
            continue
        seen.add(domain)
        todo += json.loads(manifest.read_text()).get("dependencies", [])
    return seen


def main() -> None:
    domains = loaded(sys.argv[1:])
    requirements = sorted({requirement for domain in domains for requirement in
                           json.loads((COMPONENTS / domain / "manifest.json").read_text()).get("requirements", [])})
    print("\n".join(requirements))


if __name__ == "__main__":
    main()
