#!/usr/bin/env python3
"""Start and stop a private nginx on a free loopback port for tests.

  nginx_fixture.py start --root DIR --workdir DIR [--extra FILE] [--port N]
                         [--tls CERT KEY [--tls-protocols "TLSv1.2 TLSv1.3"]]
      writes WORKDIR/nginx.conf, starts nginx serving DIR on 127.0.0.1 and
      prints the port on standard output; the access log is WORKDIR/access.log.
      With --tls the port speaks TLS (1.2 and 1.3) with that certificate
      chain and key, and log lines end with the TLS protocol and "r" for a
      resumed session or "." for a full handshake. --tls-protocols gives
      nginx's ssl_protocols instead (older versions also need a lower
      security level, e.g. "ssl_ciphers DEFAULT:@SECLEVEL=0;" in --extra).
  nginx_fixture.py stop --workdir DIR
      stops the nginx started with that work folder and waits for it to end

The access log lines read
  <connection> <requests on it> "<request line>" "<Range header>" <status> <body bytes>
so a test can tell keep-alive reuse (same connection number) and ranges apart.
"""
import argparse
import os
import signal
import socket
import subprocess
import sys
import time

NGINX = os.environ.get("ZELVANO_NGINX", "nginx")

CONF = """\
{user}
worker_processes 1;
daemon on;
master_process on;
pid {work}/nginx.pid;
error_log {work}/error.log warn;
events {{ worker_connections 256; }}
http {{
    types {{
        text/html html htm;
        text/plain txt;
        application/json json;
        application/zip zip;
    }}
    default_type application/octet-stream;
    log_format zelvano '$connection $connection_requests "$request" "$http_range" $status $body_bytes_sent{tls_log}';
    access_log {work}/access.log zelvano;
    client_body_temp_path {work}/client_body;
    proxy_temp_path {work}/proxy;
    fastcgi_temp_path {work}/fastcgi;
    uwsgi_temp_path {work}/uwsgi;
    scgi_temp_path {work}/scgi;
    sendfile on;
    tcp_nopush on;
    keepalive_timeout 30s;
    keepalive_requests 1000;
    server {{
        listen 127.0.0.1:{port}{tls_listen};
        server_name localhost;
        root {root};
{tls}
{extra}
    }}
}}
"""


def free_port():
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def pid_of(work):
    try:
        with open(os.path.join(work, "nginx.pid")) as f:
            return int(f.read().strip())
    except (OSError, ValueError):
        return None


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    # A zombie left by a parent that never reaps counts as gone.
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().split(")")[-1].split()[0] != "Z"
    except OSError:
        return False


def wait_listening(port, deadline):
    while time.time() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def start(args):
    work = os.path.abspath(args.workdir)
    root = os.path.abspath(args.root)
    os.makedirs(work, exist_ok=True)
    extra = ""
    if args.extra:
        with open(args.extra) as f:
            extra = f.read()
    user = "user root;" if os.geteuid() == 0 else ""
    tls = tls_listen = tls_log = ""
    if args.tls:
        cert, key = (os.path.abspath(p) for p in args.tls)
        tls_listen = " ssl"
        tls_log = " $ssl_protocol $ssl_session_reused"
        tls = ("        ssl_certificate {};\n        ssl_certificate_key {};\n"
               "        ssl_protocols {};\n").format(cert, key, args.tls_protocols)
    last_error = ""
    for attempt in range(10):
        port = args.port or free_port()
        with open(os.path.join(work, "nginx.conf"), "w") as f:
            f.write(CONF.format(user=user, work=work, root=root, port=port, extra=extra,
                                tls=tls, tls_listen=tls_listen, tls_log=tls_log))
        proc = subprocess.run(
            [NGINX, "-p", work + "/", "-e", work + "/error.log", "-c", work + "/nginx.conf"],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        if proc.returncode == 0 and wait_listening(port, time.time() + 5):
            print(port)
            return 0
        last_error = proc.stderr
        stop_work(work)
        if args.port or "Address already in use" not in last_error:
            break
    sys.stderr.write("nginx did not start: " + last_error)
    return 1


def stop_work(work):
    pid = pid_of(work)
    if pid is None:
        return 0
    try:
        os.kill(pid, signal.SIGTERM)
    except ProcessLookupError:
        return 0
    deadline = time.time() + 5
    while alive(pid) and time.time() < deadline:
        time.sleep(0.02)
    if alive(pid):
        os.kill(pid, signal.SIGKILL)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    p = sub.add_parser("start")
    p.add_argument("--root", required=True)
    p.add_argument("--workdir", required=True)
    p.add_argument("--extra", help="file whose text goes into the server block")
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"),
                   help="serve TLS with this certificate chain and key")
    p.add_argument("--tls-protocols", default="TLSv1.2 TLSv1.3",
                   help="the TLS versions nginx offers (its ssl_protocols)")
    p = sub.add_parser("stop")
    p.add_argument("--workdir", required=True)
    args = parser.parse_args()
    if args.command == "start":
        return start(args)
    return stop_work(os.path.abspath(args.workdir))


if __name__ == "__main__":
    sys.exit(main())
