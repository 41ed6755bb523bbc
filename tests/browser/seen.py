"""What a user sees on a Home Assistant page: its text as rendered (through
the shadow roots its elements draw into), whether images loaded, and
screenshots kept for the docs. Every check that passed is recorded, so the
run ends with a list of what the browser saw."""
from __future__ import annotations

from pathlib import Path

from playwright.sync_api import Locator, Page

# The text of a node as a user reads it: light children and shadow roots alike (slotted text counted once,
# where it sits in the light tree), hidden elements and styles left out.
DEEP_TEXT = """(root) => {
  const parts = [];
  const walk = (node) => {
    if (node.nodeType === Node.TEXT_NODE) { parts.push(node.textContent); return; }
    if (node.nodeType !== Node.ELEMENT_NODE && node.nodeType !== Node.DOCUMENT_FRAGMENT_NODE) return;
    if (node.nodeType === Node.ELEMENT_NODE) {
      if (['STYLE', 'SCRIPT', 'TEMPLATE'].includes(node.tagName)) return;
      const style = getComputedStyle(node);
      if (style.display === 'none' || style.visibility === 'hidden') return;
      parts.push(' ');
      if (node.shadowRoot) walk(node.shadowRoot);
    }
    for (const child of node.childNodes) walk(child);
  };
  walk(root);
  return parts.join('').replace(/\\s+/g, ' ');
}"""

# Every element under root, through shadow roots, whose tag starts with the prefix.
DEEP_TAGS = """([root, prefix]) => {
  const found = [];
  const walk = (node) => {
    for (const child of node.children || []) {
      if (child.tagName.toLowerCase().startsWith(prefix)) found.push(child.tagName.toLowerCase());
      if (child.shadowRoot) walk(child.shadowRoot);
      walk(child);
    }
  };
  walk(root);
  return found;
}"""

# Images under root, through shadow roots, whose source contains a text: [src, loaded] of each.
DEEP_IMAGES = """([root, part]) => {
  const found = [];
  const walk = (node) => {
    for (const child of node.children || []) {
      if (child.tagName === 'IMG' && child.src.includes(part))
        found.push([child.src, child.complete && child.naturalWidth > 0]);
      if (child.shadowRoot) walk(child.shadowRoot);
      walk(child);
    }
  };
  walk(root);
  return found;
}"""


class Seen:
    """The checks on one page, and the screenshots taken of it."""

    def __init__(self, page: Page, shots: Path) -> None:
        self.page, self.shots = page, shots
        self.passed: list[str] = []
        shots.mkdir(parents=True, exist_ok=True)

    def check(self, holds: bool, what: str) -> None:
        if not holds:
            raise AssertionError(f"the browser did not see: {what}")
        self.passed.append(what)
        print(f"  seen: {what}", flush=True)

    def text(self, within: Locator | None = None) -> str:
        return str((within or self.page.locator("body")).evaluate(DEEP_TEXT))

    def tags(self, prefix: str) -> list[str]:
        """The tags, on the whole page, that start with the prefix."""
        return list(self.page.evaluate(f"(a) => ({DEEP_TAGS})([document.body, a])", prefix))

    def images(self, part: str) -> list[tuple[str, bool]]:
        return [tuple(found) for found in self.page.evaluate(f"(a) => ({DEEP_IMAGES})([document.body, a])", part)]

    def shot(self, name: str) -> Path:
        """A PNG of the viewport, named for the docs."""
        path = self.shots / f"{name}.png"
        self.page.screenshot(path=str(path), animations="disabled")
        print(f"  screenshot: {path} ({path.stat().st_size // 1024} KB)", flush=True)
        return path
