"""The form's field labels in the user's language, for errors that name the field they are about: the schema
flow shows its errors above the form, not beside a field."""
from __future__ import annotations

from homeassistant.core import HomeAssistant
from homeassistant.helpers.translation import async_get_translations

from .const import DOMAIN


async def async_label(hass: HomeAssistant, field: str) -> str:
    """A field's label as the settings step shows it; the key itself where no translation has it."""
    texts = await async_get_translations(hass, hass.config.language, "config", {DOMAIN})
    return texts.get(f"component.{DOMAIN}.config.step.settings.data.{field}", field)


async def async_error_text(hass: HomeAssistant, key: str, values: dict[str, str]) -> str:
    """A translated error of the form with its values put in, for the preview, which shows text."""
    texts = await async_get_translations(hass, hass.config.language, "config", {DOMAIN})
    text = texts.get(f"component.{DOMAIN}.config.error.{key}", key)
    for name, value in values.items():
        text = text.replace("{" + name + "}", value)
    return text
