"""What the helper's forms should show, read from the integration's
strings.json: the browser test finds fields and checks messages by these
texts, so it follows the form when the flow's fields change."""
from __future__ import annotations

import json
import re
from pathlib import Path
from typing import Any

STRINGS = Path(__file__).resolve().parents[2] / "custom_components" / "tariffsieve" / "strings.json"


class Strings:
    """The config flow's texts, and the name Home Assistant lists the helper by."""

    def __init__(self, path: Path = STRINGS) -> None:
        self.all: dict[str, Any] = json.loads(path.read_text())
        manifest = json.loads((path.parent / "manifest.json").read_text())
        self.name: str = manifest["name"]
        self.domain: str = manifest["domain"]

    def step(self, step_id: str) -> dict[str, Any]:
        return self.all["config"]["step"][step_id]  # type: ignore[no-any-return]

    def label(self, step_id: str, key: str) -> str:
        return self.step(step_id)["data"][key]  # type: ignore[no-any-return]

    def error(self, key: str, **values: object) -> str:
        """The error's text with its placeholders filled."""
        return fill(self.all["config"]["error"][key], values)

    def description_repeats_errors(self, step_id: str) -> bool:
        """Whether the step's description shows the error text too (so it appears twice)."""
        return "{error}" in self.step(step_id).get("description", "")


def fill(text: str, values: dict[str, object]) -> str:
    return re.sub(r"\{(\w+)\}", lambda match: str(values.get(match.group(1), match.group(0))), text)
