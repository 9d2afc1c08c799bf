#!/usr/bin/env python3
"""Folder sync of 50 messages of about 20 KB from the test IMAP server, side by side with the same
fetch by Python's imaplib and by mbsync, in one run. Prints medians and ratios.

    bench/imap_fetch_bench.py ENGINE_DRIVER [--runs N]
"""
import argparse
import imaplib
import json
import os
import random
import shutil
import ssl
import statistics
import string
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "integration"))
import mailservers  # noqa: E402

MESSAGES = 50
SIZE = 20_000


def seed(servers):
    rng = random.Random(7)
    for i in range(MESSAGES):
        words = " ".join("".join(rng.choices(string.ascii_lowercase, k=rng.randint(2, 9)))
                         for _ in range(SIZE // 6))
        lines = [words[j:j + 72] for j in range(0, len(words), 72)]
        body = "\r\n".join(lines)[:SIZE]
        raw = (f"From: Bench Sender <bench{i}@example.test>\r\nTo: {servers.user}\r\n"
               f"Subject: Benchmark message {i}\r\nMessage-ID: <bench{i}@example.test>\r\n"
               f"Date: Mon, 7 Dec 2026 10:{i % 60:02d}:00 +0000\r\nMIME-Version: 1.0\r\n"
               f"Content-Type: text/plain; charset=utf-8\r\n\r\n{body}\r\n").encode()
        servers.append("INBOX", raw)


class EngineRun:
    """One engine_driver process; each sync() is one timed SyncFolder."""

    def __init__(self, driver, servers):
        env = dict(os.environ, SSL_CERT_FILE=servers.ca_file)
        self.config = {"display_name": "Bench", "email": servers.user, "imap_host": "localhost",
                       "imap_port": servers.imap_port, "imap_tls": True,
                       "smtp_host": "localhost", "smtp_port": servers.smtp_tls_port,
                       "smtp_tls": True, "username": "", "auth": "Password",
                       "secret": servers.password}
        self.proc = subprocess.Popen([driver], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     text=True, env=env)

    def sync(self):
        """(time inside the driver, time as this script sees it), in seconds."""
        started = time.perf_counter()
        command = {"command": "sync", "config": self.config, "folder": "inbox"}
        self.proc.stdin.write(json.dumps(command) + "\n")
        self.proc.stdin.flush()
        count, inside = None, None
        while True:
            event = json.loads(self.proc.stdout.readline())
            if event["event"] == "Synced":
                count = len(event["messages"])
                inside = event["elapsed_ms"] / 1000
            if event["event"] == "Finished":
                break
        assert count == MESSAGES, count
        return inside, time.perf_counter() - started

    def close(self):
        self.proc.stdin.close()
        self.proc.wait()


def imaplib_fetch(servers, context):
    started = time.perf_counter()
    imap = imaplib.IMAP4_SSL("localhost", servers.imap_port, ssl_context=context)
    imap.login(servers.user, servers.password)
    imap.select("INBOX")
    _, data = imap.uid("SEARCH", "ALL")
    uids = sorted(int(u) for u in data[0].split())[-MESSAGES:][::-1]
    _, fetched = imap.uid("FETCH", ",".join(map(str, uids)),
                          "(UID FLAGS INTERNALDATE BODY.PEEK[])")
    assert sum(1 for f in fetched if isinstance(f, tuple)) == MESSAGES
    imap.logout()
    return time.perf_counter() - started


def time_engine_and_imaplib(driver, servers, runs):
    """Runs alternate between the two clients, so drift in the machine's speed hits both."""
    engine = EngineRun(driver, servers)
    context = ssl.create_default_context(cafile=servers.ca_file)
    engine.sync()  # warms the process up; not counted
    imaplib_fetch(servers, context)
    inside, outside, python = [], [], []
    try:
        for _ in range(runs):
            a, b = engine.sync()
            inside.append(a)
            outside.append(b)
            python.append(imaplib_fetch(servers, context))
    finally:
        engine.close()
    return inside, outside, python


def time_mbsync(servers, runs):
    work = tempfile.mkdtemp(prefix="vexa-bench-mbsync-")
    try:
        password_file = os.path.join(work, "password")
        with open(password_file, "w") as f:
            f.write(servers.password)
        times = []
        for run in range(runs):
            maildir = os.path.join(work, f"mail{run}")
            os.makedirs(maildir)
            config = os.path.join(work, "mbsyncrc")
            with open(config, "w") as f:
                f.write(f"""IMAPAccount bench
Host localhost
Port {servers.imap_port}
User {servers.user}
PassCmd "cat {password_file}"
SSLType IMAPS
CertificateFile {servers.ca_file}

IMAPStore remote
Account bench

MaildirStore local
Path {maildir}/
Inbox {maildir}/INBOX

Channel bench
Far :remote:INBOX
Near :local:
Sync Pull
Create Near
SyncState *
""")
            started = time.perf_counter()
            subprocess.run(["mbsync", "-q", "-c", config, "bench"], check=True)
            times.append(time.perf_counter() - started)
            got = len(os.listdir(os.path.join(maildir, "INBOX", "new"))) + len(
                os.listdir(os.path.join(maildir, "INBOX", "cur")))
            assert got == MESSAGES, got
        return times
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("driver")
    parser.add_argument("--runs", type=int, default=10)
    args = parser.parse_args()
    with mailservers.MailServers() as servers:
        seed(servers)
        inside, outside, python = time_engine_and_imaplib(args.driver, servers, args.runs)
        results = {
            # From the command to the Synced event inside the driver: connect, log in, fetch,
            # MIME parse, log out.
            "vexa engine (fetch + MIME parse)": inside,
            # The same plus the driver's JSON of the 50 records and Python reading it.
            "vexa engine + JSON to this script": outside,
            "python imaplib (fetch only)": python,
            "mbsync (fetch + maildir write)": time_mbsync(servers, args.runs),
        }
    ours = statistics.median(inside)
    print(f"SyncFolder of {MESSAGES} messages of ~{SIZE // 1000} KB, median of {args.runs} runs")
    for name, times in results.items():
        median = statistics.median(times)
        print(f"  {name:36s} {median * 1000:8.1f} ms   ratio to ours {median / ours:5.2f}")


if __name__ == "__main__":
    main()
