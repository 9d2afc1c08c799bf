"""Drives vexa-mail through its headless host: JSON lines in, JSON lines out."""
import json
import os
import shutil
import signal
import subprocess
import tempfile

BIN = os.environ.get("VEXA_MAIL_BIN", "vexa-mail")


class Home:
    """A throw-away home: XDG directories for config (accounts) and data (document, blobs)."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="vexa-it-")
        self.config = os.path.join(self.root, "config")
        self.data = os.path.join(self.root, "data")
        os.makedirs(self.config)
        os.makedirs(self.data)

    def env(self, **extra):
        env = dict(os.environ)
        env.update(XDG_CONFIG_HOME=self.config, XDG_DATA_HOME=self.data, HOME=self.root,
                   TMPDIR=self.root)
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        env.update(extra)
        return env

    @property
    def accounts_dir(self):
        return os.path.join(self.config, "vexa", "accounts")

    def add_account(self, email="ada@example.com", password="secret", **settings):
        self.add_accounts([dict(email=email, password=password, **settings)])

    def add_accounts(self, accounts, active=0):
        """Writes the account store and the vault: one dict per account (email, password and
        StoredConfig fields); `active` is the index of the active one."""
        records, vault = [], {}
        for account in accounts:
            account = dict(account)
            email, password = account.pop("email"), account.pop("password", "secret")
            config = {
                "display_name": "Ada Example", "email": email,
                "imap_host": "imap.example.invalid", "imap_port": 993, "imap_tls": True,
                "smtp_host": "smtp.example.invalid", "smtp_port": 465, "smtp_tls": True,
                "username": "", "auth": "Password",
            }
            config.update(account)
            records.append({"id": email, "type": "email", "label": config["display_name"],
                            "settings": config, "enabled": True, "avatar_seed": False})
            vault[email] = password
        os.makedirs(self.accounts_dir, exist_ok=True)
        with open(os.path.join(self.accounts_dir, "accounts.json"), "w") as f:
            json.dump({"accounts": records, "active": {"email": records[active]["id"]}}, f)
        with open(os.path.join(self.accounts_dir, "vault.json"), "w") as f:
            json.dump(vault, f)
        os.chmod(os.path.join(self.accounts_dir, "vault.json"), 0o600)

    def path(self, name):
        return os.path.join(self.root, name)

    def cleanup(self):
        shutil.rmtree(self.root, ignore_errors=True)


def run(home, commands, args=(), timeout=60, extra_env=None):
    """Runs a whole script; returns the parsed output lines."""
    script = "".join(json.dumps(c) + "\n" for c in commands)
    proc = subprocess.run([BIN, "--headless", *args], input=script, capture_output=True,
                          text=True, timeout=timeout, env=home.env(**(extra_env or {})))
    lines = [json.loads(l) for l in proc.stdout.splitlines() if l.strip()]
    if proc.returncode != 0:
        raise AssertionError(f"vexa-mail exited {proc.returncode}: {proc.stderr[-2000:]}")
    return lines


class Session:
    """A running app fed one command at a time, for tests that act between commands."""

    def __init__(self, home, args=(), extra_env=None):
        self.proc = subprocess.Popen([BIN, "--headless", *args], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                                     bufsize=1, env=home.env(**(extra_env or {})))
        self.lines = []

    def command(self, command):
        """Sends one command and returns its answer line."""
        self.proc.stdin.write(json.dumps(command) + "\n")
        self.proc.stdin.flush()
        name = next(iter(command))
        while True:
            line = self.proc.stdout.readline()
            if not line:
                raise AssertionError(f"vexa-mail ended before answering {name}")
            parsed = json.loads(line)
            self.lines.append(parsed)
            if parsed.get("answer") == name:
                return parsed

    def kill(self):
        self.proc.send_signal(signal.SIGKILL)
        self.proc.wait(timeout=10)
        self.proc.stdin.close()
        self.proc.stdout.close()

    def close(self):
        self.proc.stdin.close()
        self.proc.wait(timeout=30)
        self.proc.stdout.close()


def statuses(lines):
    return [l["text"] for l in lines if l.get("event") == "status"]


def logs(lines, message):
    return [l for l in lines if l.get("event") == "log" and l.get("message") == message]


def answers(lines, name):
    return [l for l in lines if l.get("answer") == name]
