"""Talks to a fresh Home Assistant over its HTTP API: waits until it answers,
and finishes onboarding (the owner, the place, analytics, the integrations
step) as the onboarding pages would, so the browser can log in through the
real login form afterwards."""
from __future__ import annotations

import json
import time
import urllib.error
import urllib.parse
import urllib.request
from pathlib import Path
from typing import Any

OWNER = {"name": "Test Owner", "username": "owner", "password": "browser-test-only", "language": "en"}


def call(url: str, data: dict[str, Any] | None = None, token: str | None = None, form: bool = False) -> Any:
    """A JSON answer to a GET, or a POST of data as JSON (or as a form)."""
    headers = {"Authorization": f"Bearer {token}"} if token else {}
    body = None
    if data is not None:
        body = urllib.parse.urlencode(data).encode() if form else json.dumps(data).encode()
        headers["Content-Type"] = "application/x-www-form-urlencoded" if form else "application/json"
    request = urllib.request.Request(url, data=body, headers=headers, method="POST" if data is not None else "GET")
    with urllib.request.urlopen(request, timeout=30) as answer:
        return json.loads(answer.read() or b"null")


def wait_until_up(base: str, alive: Any, seconds: float = 180) -> None:
    """Returns once onboarding answers; raises if the server died or took too long."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if not alive():
            raise RuntimeError("Home Assistant exited before it answered")
        try:
            call(f"{base}/api/onboarding")
            return
        except (urllib.error.URLError, ConnectionError, TimeoutError):
            time.sleep(1)
    raise RuntimeError(f"Home Assistant did not answer within {seconds:.0f} s")


def listening_addresses(port: int) -> set[str]:
    """The addresses this machine listens on at a TCP port (from /proc/net/tcp and tcp6, in their hex)."""
    found = set()
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        for line in Path(table).read_text().splitlines()[1:]:
            local, state = line.split()[1], line.split()[3]
            address, hex_port = local.split(":")
            if state == "0A" and int(hex_port, 16) == port:  # 0A: LISTEN
                found.add(address)
    return found


LOOPBACK = {"0100007F"}  # 127.0.0.1 as /proc/net/tcp writes it


def onboard(base: str) -> str:
    """Creates the owner and finishes every onboarding step; an access token of the owner's."""
    client = f"{base}/"
    code = call(f"{base}/api/onboarding/users", OWNER | {"client_id": client})["auth_code"]
    token = call(f"{base}/auth/token", {"grant_type": "authorization_code", "code": code, "client_id": client},
                 form=True)["access_token"]
    call(f"{base}/api/onboarding/core_config", {}, token)
    call(f"{base}/api/onboarding/analytics", {}, token)
    call(f"{base}/api/onboarding/integration", {"client_id": client, "redirect_uri": f"{base}/?auth_callback=1"},
         token)
    left = [step["step"] for step in call(f"{base}/api/onboarding") if not step["done"]]
    if left:
        raise RuntimeError(f"onboarding steps not done: {left}")
    return token


def state(base: str, token: str, entity_id: str) -> dict[str, Any]:
    return call(f"{base}/api/states/{entity_id}", token=token)  # type: ignore[no-any-return]


if __name__ == "__main__":
    import sys
    wait_until_up(sys.argv[1], lambda: True)
    print(onboard(sys.argv[1]), flush=True)
