"""The schema library for forms and actions: Home Assistant's flow helpers check form schemas against probatio's
classes where a release has it, and voluptuous before that."""
try:
    import probatio as vol
except ImportError:  # pragma: no cover - Home Assistant releases before probatio
    import voluptuous as vol  # type: ignore[no-redef]

__all__ = ["vol"]
