"""Writes Home Assistant's stored HTTP settings so that the server binds to
127.0.0.1 on the given port only. Home Assistant keeps these in .storage/http
(an http: block in YAML would be taken as a trial that reverts to 0.0.0.0);
stored settings are not validated on load, so every key is filled here by
Home Assistant's own schema. Run with the Home Assistant venv's python:
python http_store.py CONFIG_DIR PORT"""
from __future__ import annotations

import json
import sys
from pathlib import Path

from homeassistant.components.http import config as http_config
from homeassistant.util import dt as dt_util


def stored(port: int) -> dict[str, object]:
    settings = dict(http_config.HTTP_STORAGE_SCHEMA({"server_host": ["127.0.0.1"], "server_port": port}))
    settings |= {"ssl_profile": str(settings["ssl_profile"]), "created_at": dt_util.utcnow().isoformat(),
                 "error": None, "error_message": None}
    return {"version": http_config.STORAGE_VERSION, "minor_version": http_config.STORAGE_MINOR_VERSION,
            "key": http_config.STORAGE_KEY,
            "data": {"stable": settings, "pending": None, "yaml_migration_done": True}}


if __name__ == "__main__":
    storage = Path(sys.argv[1]) / ".storage"
    storage.mkdir(parents=True, exist_ok=True)
    (storage / "http").write_text(json.dumps(stored(int(sys.argv[2])), indent=2))
