"""Draws the helper's brand images into custom_components/tariffsieve/brand/:
a day's prices as bars, the cheapest ones (the periods a plan picks) lit.
Home Assistant (2026.3 and later) serves a custom integration's own images
from that folder; its brand rules: PNG, transparent, trimmed, icon 256x256
(512x512 @2x), logo landscape with its shortest side 128-256 (256-512 @2x),
dark_ variants optional (here the logo's only: its wordmark must stay legible
on a dark theme). Drawn at 4x and scaled down, for smooth edges.
Usage: python tools/draw_brand.py [OUTPUT_DIR]"""
from __future__ import annotations

import sys
from pathlib import Path

from PIL import Image, ImageDraw, ImageFont

OUT = Path(__file__).resolve().parents[1] / "custom_components" / "tariffsieve" / "brand"
# Bar heights (a day's prices, shaped like a morning and an evening peak) and which are cheapest.
BARS = (0.62, 0.48, 0.34, 0.30, 0.52, 0.86, 1.0, 0.72)
CHEAPEST = {2, 3}
LIT, DIM, BASE = (0, 168, 120, 255), (120, 134, 150, 255), (60, 72, 88, 255)
INK = {"light": (40, 48, 60, 255), "dark": (232, 236, 240, 255)}
FONTS = ("/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf",
         "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf")
SCALE = 4


def mark(size: int) -> Image.Image:
    """The square mark: rounded bars on a base line, filling the square edge to edge."""
    big = size * SCALE
    image = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    draw = ImageDraw.Draw(image)
    slot = big / len(BARS)
    gap, floor = slot * 0.22, big - big * 0.06
    for index, height in enumerate(BARS):
        left, right = index * slot + gap / 2, (index + 1) * slot - gap / 2
        top = floor - height * (floor - big * 0.02)
        draw.rounded_rectangle((left, top, right, floor), radius=(right - left) * 0.3,
                               fill=LIT if index in CHEAPEST else DIM)
    draw.rectangle((0, big - big * 0.035, big, big), fill=BASE)
    return image.resize((size, size), Image.Resampling.LANCZOS)


def font(pixels: int) -> ImageFont.FreeTypeFont:
    for path in FONTS:
        if Path(path).exists():
            return ImageFont.truetype(path, pixels)
    raise SystemExit(f"draw_brand: none of these fonts is installed: {', '.join(FONTS)}")


def logo(height: int, theme: str) -> Image.Image:
    """The mark and the name beside it, trimmed to what is drawn."""
    big = height * SCALE
    lettering = font(int(big * 0.5))
    name = "tariffsieve"
    text_width = int(ImageDraw.Draw(Image.new("RGBA", (1, 1))).textlength(name, font=lettering))
    image = Image.new("RGBA", (big + big // 8 + text_width + big // 16, big), (0, 0, 0, 0))
    image.alpha_composite(mark(big))
    draw = ImageDraw.Draw(image)
    draw.text((big + big // 8, big * 0.5), name, font=lettering, fill=INK[theme], anchor="lm")
    trimmed = image.crop(image.getbbox())
    width = round(trimmed.width * height / trimmed.height)
    return trimmed.resize((width, height), Image.Resampling.LANCZOS)


def save(image: Image.Image, path: Path) -> None:
    image.save(path, optimize=True)
    print(f"{path}: {image.width}x{image.height}, {path.stat().st_size} bytes")


def main() -> None:
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else OUT
    out.mkdir(parents=True, exist_ok=True)
    save(mark(256), out / "icon.png")
    save(mark(512), out / "icon@2x.png")
    for theme, prefix in (("light", ""), ("dark", "dark_")):
        save(logo(256, theme), out / f"{prefix}logo.png")
        save(logo(512, theme), out / f"{prefix}logo@2x.png")


if __name__ == "__main__":
    main()
