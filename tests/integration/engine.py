"""Drives the live mail worker (tests/tools/engine_driver) with one command at a time."""
import json
import os
import subprocess
import tempfile
import time

BIN = os.environ.get("VEXA_ENGINE_DRIVER", "engine_driver")


def account(servers, **overrides):
    """A StoredConfig (with its secret) for the harness's test user."""
    config = {
        "display_name": "Ada Example", "email": servers.user, "imap_host": "localhost",
        "imap_port": servers.imap_port, "imap_tls": True, "smtp_host": "localhost",
        "smtp_port": servers.smtp_tls_port, "smtp_tls": True, "username": "",
        "auth": "Password", "secret": servers.password,
    }
    config.update(overrides)
    return config


def draft(to="", cc="", bcc="", subject="", body="", html_body=None, attachments=()):
    return {"to": to, "cc": cc, "bcc": bcc, "subject": subject, "body": body,
            "html_body": html_body, "calendar_ics": None, "attachments": list(attachments)}


class Engine:
    """One worker process; commands run one at a time, as in the app."""

    def __init__(self, servers, timeout_ms=None, extra_env=None):
        self.home = tempfile.mkdtemp(prefix="vexa-engine-")
        env = dict(os.environ)
        env.update(SSL_CERT_FILE=servers.ca_file, HOME=self.home,
                   XDG_CONFIG_HOME=os.path.join(self.home, "config"),
                   XDG_DATA_HOME=os.path.join(self.home, "data"))
        env.update(extra_env or {})
        args = [BIN]
        if timeout_ms is not None:
            args += ["--timeout-ms", str(timeout_ms)]
        self.proc = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     text=True, bufsize=1, env=env)

    def store_oauth_tokens(self, email, access_token):
        """Signs the account in: a fresh token record in the vault the worker reads."""
        vault_dir = os.path.join(self.home, "config", "vexa", "accounts")
        os.makedirs(vault_dir, exist_ok=True)
        path = os.path.join(vault_dir, "vault.json")
        record = {"access_token": access_token, "refresh_token": None, "expires_in": 3600,
                  "obtained_at": int(time.time())}
        with open(path, "w") as f:
            json.dump({email: json.dumps(record)}, f)
        os.chmod(path, 0o600)

    def run(self, command, **fields):
        """Sends one command; returns its events, Finished last."""
        self.proc.stdin.write(json.dumps({"command": command, **fields}) + "\n")
        self.proc.stdin.flush()
        events = []
        while True:
            line = self.proc.stdout.readline()
            if not line:
                raise AssertionError(f"engine_driver ended during {command}: {events}")
            event = json.loads(line)
            events.append(event)
            if event["event"] in ("Finished", "DriverError"):
                return events

    def close(self):
        self.proc.stdin.close()
        self.proc.wait(timeout=30)
        self.proc.stdout.close()
        subprocess.run(["rm", "-rf", self.home], check=False)


def failure(events):
    """The one Failed event's message, checking the shape: Failed then Finished."""
    names = [e["event"] for e in events]
    assert names == ["Failed", "Finished"], names
    return events[0]["message"]
