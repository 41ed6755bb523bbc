"""The README and the manual's pages as the tests read them: their fenced
blocks, and each shell command with the output shown after it."""
import re
from pathlib import Path
from typing import List, NamedTuple, Optional

ROOT = Path(__file__).resolve().parents[2]
DOCS = ROOT / "docs"
# The front page and every page of the manual, README first.
PAGES = [ROOT / "README.md"] + sorted(DOCS.glob("*.md"))
# Whether this is a whole source tree: the proofs of the wheels copy only the
# tests, the sources, the examples and the pages; the tools, the benchmarks
# and the helper, which some checks of the pages' examples look at, stay out.
CHECKOUT = all((ROOT / folder).is_dir() for folder in ("tools", "bench", "custom_components"))
# A fence at the start of a line, its language, its body and the closing fence.
FENCE = re.compile(r"^```([\w-]*)\n(.*?)^```\n", re.M | re.S)


class Block(NamedTuple):
    page: Path
    lang: str
    text: str
    line: int
    # The plain block right after a shell block: what the command prints.
    shown: Optional[str]

    @property
    def name(self) -> str:
        return f"{self.page.name}:{self.line}"


def blocks(page: Path) -> List[Block]:
    text = page.read_text(encoding="utf-8")
    found = []
    for match in FENCE.finditer(text):
        after = FENCE.match(text, match.end() + 1) if text[match.end():match.end() + 1] == "\n" else None
        shown = after.group(2) if after and after.group(1) == "" else None
        found.append(Block(page, match.group(1), match.group(2), text.count("\n", 0, match.start()) + 1, shown))
    return found


def all_blocks(lang: str) -> List[Block]:
    return [block for page in PAGES for block in blocks(page) if block.lang == lang]


def page_text(name: str) -> str:
    return (ROOT / name).read_text(encoding="utf-8")
