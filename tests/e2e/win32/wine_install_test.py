#!/usr/bin/env python3
"""End to end under Wine: zelvano-setup.exe /silent against a private nginx
on loopback, in a Wine prefix of its own (made with a private HOME, so that
its desktop is a plain folder inside the prefix), on a private Xvfb display
(Wine's windows need one, even when unattended).

usage: wine_install_test.py SETUP.exe Corvexa.exe Uninstall.exe WORKDIR
                            SIGNED_SETUP.exe PUBLISHER.key RELEASE.zip
                            TRUST_ROOT.exe

The cases: a full installation (request path, a running client ended, the
archive extracted into C:\\Program Files\\Pordino2.0, the work folder gone,
the desktop shortcut, the uninstall key, the client started in its folder,
status 0, then the uninstaller removing it all); the request for Windows XP
("?os=xp") with the prefix set to Windows XP (x64, version 5.2); and the failures: a dead
server (status 1), a wrong archive password and an archive without the
client (status 2). Then the setup program with the demo publisher's key built
in (SIGNED_SETUP.exe; PUBLISHER.key signs, RELEASE.zip is the demo release):
the signed archive installed, and every archive whose signature does not hold
refused after the download with status 2, the archive deleted and nothing
extracted, registered or started. Last the signed installation over https
from nginx with a certificate of a test authority: installed while the
prefix's Root store holds that authority (TRUST_ROOT.exe puts it there and
takes it out), a network failure (status 1) with nothing requested once it
does not. Last the network's faults: the archive through the fault proxy
of a 40 MB archive (silent after 12 MB, reset and then refused for 6 s, every
connection closed after 5 MB, a 503 for every 4th request), each installed in one run carrying
the archive about once, and a file changed between two runs fetched anew.
"""
import base64
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SUPPORT = os.path.join(HERE, "..", "..", "support")
NGINX_FIXTURE = os.path.join(SUPPORT, "nginx_fixture.py")
FAULT_PROXY = os.path.join(SUPPORT, "fault_proxy.py")
SETUP, CLIENT, UNINSTALL, WORK, SIGNED_SETUP, PUBLISHER_KEY, DEMO_RELEASE, TRUST_ROOT = (
    os.path.abspath(a) for a in sys.argv[1:9])
del sys.argv[1:9]

WINE = "/usr/lib/wine/wine64" if os.access("/usr/lib/wine/wine64", os.X_OK) else shutil.which("wine64") or "wine"
WINESERVER = ("/usr/lib/wine/wineserver64" if os.access("/usr/lib/wine/wineserver64", os.X_OK)
              else shutil.which("wineserver64") or "wineserver")
PREFIX = os.path.join(WORK, "prefix")
HOME = os.path.join(WORK, "home")
KEY = r"HKLM\SOFTWARE\Wow6432Node\Microsoft\Windows\CurrentVersion\Uninstall\Zelvano在线"
PASSWORD = "qazkt"


DISPLAY = {"name": None}


def start_display():
    """Starts Xvfb on a display it picks itself; returns the process."""
    read, write = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read, 16)
        if not chunk:
            break
        number += chunk
    os.close(read)
    DISPLAY["name"] = ":" + number.decode().strip()
    return xvfb


def wine_env(**extra):
    env = dict(os.environ, WINEPREFIX=PREFIX, HOME=HOME, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    env.pop("WAYLAND_DISPLAY", None)
    env.pop("DISPLAY", None)
    if DISPLAY["name"]:
        env["DISPLAY"] = DISPLAY["name"]
    env.update(extra)
    return env


def wine(*args, timeout=180, **extra):
    return subprocess.run([WINE, *args], env=wine_env(**extra), capture_output=True, timeout=timeout)


def drive_c(*parts):
    return os.path.join(PREFIX, "drive_c", *parts)


def desktop():
    users = drive_c("users")
    for name in os.listdir(users):
        path = os.path.join(users, name, "Desktop")
        if name != "Public" and os.path.isdir(path):
            return path
    raise AssertionError("no desktop folder in the prefix")


def make_prefix():
    if not os.path.exists(os.path.join(PREFIX, "system.reg")):
        os.makedirs(HOME, exist_ok=True)
        wine("wineboot", "-i", timeout=600)
    subprocess.run([WINESERVER, "-w"], env=wine_env(), timeout=120)


def set_windows_version(version):
    wine("winecfg", "-v", version)
    subprocess.run([WINESERVER, "-w"], env=wine_env(), timeout=120)


def make_archive(path, files, password=PASSWORD):
    """files: name -> source path; stored flat with zip -P."""
    stage = tempfile.mkdtemp(dir=WORK)
    for name, source in files.items():
        os.makedirs(os.path.dirname(os.path.join(stage, name)) or stage, exist_ok=True)
        shutil.copy(source, os.path.join(stage, name))
    subprocess.run(["zip", "-q", "-r", "-X", "-P", password, path, "."], cwd=stage, check=True)
    shutil.rmtree(stage)


class Server:
    def __init__(self, archive, signature=None, tls=None):
        """tls: (certificate, key) to serve https."""
        self.root = tempfile.mkdtemp(dir=WORK)
        self.work = tempfile.mkdtemp(dir=WORK)
        os.makedirs(os.path.join(self.root, "files"))
        os.makedirs(os.path.join(self.root, "api", "autodownload"))
        shutil.copy(archive, os.path.join(self.root, "files", "release.zip"))
        command = [sys.executable, NGINX_FIXTURE, "start", "--root", self.root, "--workdir", self.work]
        if tls:
            command += ["--tls", *tls]
        port = subprocess.run(command, capture_output=True, text=True, check=True).stdout.strip()
        self.url = "%s://127.0.0.1:%s" % ("https" if tls else "http", port)
        reply = '{"download_url":"%s/files/release.zip"' % self.url
        if signature is not None:
            reply += ',"version":"2.0","signature":"%s"' % signature
        with open(os.path.join(self.root, "api", "autodownload", "student"), "w") as f:
            f.write(reply + "}")

    def requests(self):
        with open(os.path.join(self.work, "access.log")) as f:
            return [line.split('"')[1] for line in f if '"' in line]

    def stop(self):
        subprocess.run([sys.executable, NGINX_FIXTURE, "stop", "--workdir", self.work], check=False)


class Proxy:
    """The fault proxy in front of a Server's nginx; the update reply then
    names the archive at the proxy."""

    def __init__(self, server, *options):
        upstream = server.url.rsplit(":", 1)[1]
        self.stats = os.path.join(tempfile.mkdtemp(dir=WORK), "stats.json")
        self.process = subprocess.Popen([sys.executable, FAULT_PROXY, "--upstream", upstream, "--stats",
                                         self.stats, *options], stdout=subprocess.PIPE, text=True)
        self.url = "http://127.0.0.1:%s" % self.process.stdout.readline().strip()
        with open(os.path.join(server.root, "api", "autodownload", "student"), "w") as f:
            f.write('{"download_url":"%s/files/release.zip"}' % self.url)

    def stat(self, name):
        import json
        with open(self.stats) as f:
            return json.load(f)[name]

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=30)
        self.process.stdout.close()


def dead_server_url():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return "http://127.0.0.1:%d" % s.getsockname()[1]


def sign(key, archive):
    """What a publisher puts into the update reply: the base64 of the DER
    ECDSA signature over the archive's SHA-256."""
    der = subprocess.run(["openssl", "dgst", "-sha256", "-sign", key, archive], capture_output=True,
                         check=True).stdout
    return base64.b64encode(der).decode()


def make_authority(folder):
    """A private certificate authority (ca.pem) and a certificate it issued
    for localhost and 127.0.0.1; returns (authority, (certificate, key))."""
    os.makedirs(folder, exist_ok=True)
    ca, ca_key = os.path.join(folder, "ca.pem"), os.path.join(folder, "ca.key")
    cert, key, csr = (os.path.join(folder, "server." + e) for e in ("pem", "key", "csr"))
    ext = os.path.join(folder, "server.ext")
    with open(ext, "w") as f:
        f.write("subjectAltName=DNS:localhost,IP:127.0.0.1\nextendedKeyUsage=serverAuth\n")
    quiet = dict(check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                    "-days", "30", "-subj", "/CN=Zelvano Wine Test Authority",
                    "-addext", "basicConstraints=critical,CA:TRUE",
                    "-addext", "keyUsage=critical,keyCertSign,cRLSign", "-keyout", ca_key, "-out", ca], **quiet)
    subprocess.run(["openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                    "-subj", "/CN=server", "-keyout", key, "-out", csr], **quiet)
    subprocess.run(["openssl", "x509", "-req", "-in", csr, "-CA", ca, "-CAkey", ca_key, "-CAcreateserial",
                    "-days", "30", "-extfile", ext, "-out", cert], **quiet)
    return ca, (cert, key)


def run_setup(server_url, name, setup=SETUP):
    """Runs a copy of a setup program under a name of its own (it ends every
    process of its own name) and returns (status, standard error)."""
    program = os.path.join(WORK, name)
    shutil.copy(setup, program)
    done = wine(program, "/silent", ZELVANO_UPDATE_SERVER=server_url, timeout=300)
    return done.returncode, done.stderr.decode("utf-8", "replace")


def reg_values(key):
    """The key's text values as `wine reg export` writes them (UTF-16, unlike
    the console output of reg query); {} when the key is missing."""
    exported = os.path.join(WORK, "key.reg")
    if os.path.exists(exported):
        os.remove(exported)
    wine("reg", "export", key, "Z:" + exported.replace("/", "\\"), "/y")
    if not os.path.exists(exported):
        return {}
    with open(exported, encoding="utf-16") as f:
        lines = f.read().splitlines()
    values = {}
    for line in lines:
        if line.startswith('"') and '"="' in line:
            name, value = line[1:-1].split('"="', 1)
            values[name] = value.replace("\\\\", "\\").replace('\\"', '"')
    return values


CLIENT_DIR = None


class WineInstall(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        make_prefix()
        cls.xvfb = start_display()
        global CLIENT_DIR
        CLIENT_DIR = drive_c("Program Files", "Pordino2.0")
        cls.release = os.path.join(WORK, "release.zip")
        if not os.path.exists(cls.release):
            readme = os.path.join(WORK, "readme.txt")
            with open(readme, "w") as f:
                f.write("Zelvano demo release\n")
            make_archive(cls.release, {"Corvexa.exe": CLIENT, "Uninstall.exe": UNINSTALL,
                                       "data/readme.txt": readme})

    @classmethod
    def tearDownClass(cls):
        subprocess.run([WINESERVER, "-k"], env=wine_env(), timeout=60)
        cls.xvfb.terminate()
        cls.xvfb.wait()

    def setUp(self):
        shutil.rmtree(CLIENT_DIR, ignore_errors=True)
        wine("reg", "delete", KEY, "/f")
        lnk = os.path.join(desktop(), "Zelvano在线2.0.lnk")
        if os.path.exists(lnk):
            os.remove(lnk)

    def test_1_installs_starts_the_client_and_the_uninstaller_removes_it(self):
        server = Server(self.release)
        self.addCleanup(server.stop)
        # A client already running from elsewhere is ended before the download.
        running_dir = os.path.join(WORK, "running")
        os.makedirs(running_dir, exist_ok=True)
        shutil.copy(CLIENT, os.path.join(running_dir, "Corvexa.exe"))
        running = subprocess.Popen([WINE, os.path.join(running_dir, "Corvexa.exe"), "/wait"], cwd=running_dir,
                                   env=wine_env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(300):
            if os.path.exists(os.path.join(running_dir, "started")):
                break
            time.sleep(0.1)

        status, errors = run_setup(server.url, "setup-full.exe")
        self.assertEqual(status, 0, errors)
        running.wait(timeout=30)  # ended by the setup program (raises when still running)
        self.assertIn("GET /api/autodownload/student HTTP/1.1", server.requests())
        self.assertTrue(any(r.startswith("GET /files/release.zip") for r in server.requests()))

        for name in ("Corvexa.exe", "Uninstall.exe", os.path.join("data", "readme.txt")):
            self.assertTrue(os.path.isfile(os.path.join(CLIENT_DIR, name)), name)
        self.assertFalse(os.path.exists(os.path.join(CLIENT_DIR, "Update")))
        lnk = os.path.join(desktop(), "Zelvano在线2.0.lnk")
        self.assertTrue(os.path.isfile(lnk))
        with open(lnk, "rb") as f:
            link = f.read()
        self.assertEqual(link[:4], b"\x4c\x00\x00\x00")  # a shell link
        # The link's target as the shell resolved it (its local base path).
        self.assertIn(b"C:\\Program Files\\Pordino2.0\\Corvexa.exe\x00", link)

        values = reg_values(KEY)
        folder = "C:\\Program Files\\Pordino2.0\\"
        self.assertEqual(values.get("DisplayIcon"), folder + "Corvexa.exe")
        self.assertEqual(values.get("DisplayName"), "Zelvano在线直播一对一")
        self.assertEqual(values.get("DisplayVersion"), "1.0.1")
        self.assertEqual(values.get("HelpLink"), "")
        self.assertEqual(values.get("InstallLocation"), folder)
        self.assertEqual(values.get("Publisher"), "Zelvano教育集团")
        self.assertEqual(values.get("UninstallString"), folder + "Uninstall.exe")

        started = os.path.join(CLIENT_DIR, "started")
        for _ in range(300):
            if os.path.exists(started):
                break
            time.sleep(0.1)
        with open(started, encoding="utf-8") as f:
            self.assertIn("folder C:\\Program Files\\Pordino2.0", f.read())

        # The uninstaller removes the files, the shortcut and the key.
        done = wine(os.path.join(CLIENT_DIR, "Uninstall.exe"))
        self.assertEqual(done.returncode, 0)
        self.assertFalse(os.path.exists(lnk))
        self.assertEqual(reg_values(KEY), {})
        self.assertFalse(os.path.exists(os.path.join(CLIENT_DIR, "Corvexa.exe")))

    def test_2_failures_end_with_their_statuses(self):
        status, errors = run_setup(dead_server_url(), "setup-dead.exe")
        self.assertEqual(status, 1, errors)
        self.assertIn("网络断开安装失败 ，请重新安装 . . .", errors)

        wrong = os.path.join(WORK, "wrong-password.zip")
        if not os.path.exists(wrong):
            make_archive(wrong, {"Corvexa.exe": CLIENT}, password="not-the-password")
        no_client = os.path.join(WORK, "no-client.zip")
        if not os.path.exists(no_client):
            make_archive(no_client, {"Uninstall.exe": UNINSTALL})
        for archive, name in ((wrong, "setup-wrong.exe"), (no_client, "setup-noclient.exe")):
            with self.subTest(archive=os.path.basename(archive)):
                server = Server(archive)
                try:
                    status, errors = run_setup(server.url, name)
                finally:
                    server.stop()
                self.assertEqual(status, 2, errors)
                self.assertIn("安装应用程序失败，请重新安装 . . . ", errors)
                self.assertFalse(os.path.exists(os.path.join(CLIENT_DIR, "started")))
                self.assertEqual(reg_values(KEY), {})

    def test_3_windows_xp_asks_for_xp_packages(self):
        server = Server(self.release)
        self.addCleanup(server.stop)
        # A 64-bit prefix knows XP as "winxp64" (5.2; "winxp" is refused).
        set_windows_version("winxp64")
        try:
            status, errors = run_setup(server.url, "setup-xp.exe")
        finally:
            set_windows_version("win10")
        self.assertIn("GET /api/autodownload/student?os=xp HTTP/1.1", server.requests())
        self.assertEqual(status, 0, errors)

    def test_4_signed_releases(self):
        """The setup program with a release key: the signed archive goes in,
        every other one is refused once downloaded."""
        server = Server(DEMO_RELEASE, sign(PUBLISHER_KEY, DEMO_RELEASE))
        try:
            status, errors = run_setup(server.url, "setup-signed.exe", SIGNED_SETUP)
        finally:
            server.stop()
        self.assertEqual(status, 0, errors)
        self.assertTrue(os.path.isfile(os.path.join(CLIENT_DIR, "Corvexa.exe")))
        self.assertFalse(os.path.exists(os.path.join(CLIENT_DIR, "Update")))
        started = os.path.join(CLIENT_DIR, "started")
        for _ in range(300):
            if os.path.exists(started):
                break
            time.sleep(0.1)
        self.assertTrue(os.path.exists(started), "the client was not started")
        self.assertNotEqual(reg_values(KEY), {})

        # The demo archive with one byte changed in the middle of its data,
        # and a key of another publisher.
        with open(DEMO_RELEASE, "rb") as f:
            changed_bytes = bytearray(f.read())
        changed_bytes[len(changed_bytes) // 2] ^= 0x01
        changed = os.path.join(WORK, "changed.zip")
        with open(changed, "wb") as f:
            f.write(changed_bytes)
        stranger = os.path.join(WORK, "stranger.key")
        subprocess.run(["openssl", "ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", stranger],
                       check=True)
        genuine = sign(PUBLISHER_KEY, DEMO_RELEASE)
        cases = (
            ("archive changed by one byte", changed, genuine),
            # self.release: another archive with the same files.
            ("signature of another archive", DEMO_RELEASE, sign(PUBLISHER_KEY, self.release)),
            ("no signature", DEMO_RELEASE, None),
            ("signature not base64", DEMO_RELEASE, "MEUCIQ*not-base64*"),
            ("key of another publisher", DEMO_RELEASE, sign(stranger, DEMO_RELEASE)),
        )
        self.setUp()  # the installation above gone
        for number, (name, archive, signature) in enumerate(cases):
            with self.subTest(name):
                server = Server(archive, signature)
                try:
                    status, errors = run_setup(server.url, "setup-refused%d.exe" % number, SIGNED_SETUP)
                    downloaded = any(r.startswith("GET /files/release.zip") for r in server.requests())
                finally:
                    server.stop()
                self.assertEqual(status, 2, errors)
                self.assertIn("安装包签名校验失败，请重新安装 . . . ", errors)
                self.assertTrue(downloaded)
                self.assertFalse(os.path.exists(os.path.join(CLIENT_DIR, "Update", "Version.zip")), "archive kept")
                self.assertFalse(os.path.exists(os.path.join(CLIENT_DIR, "Corvexa.exe")), "extracted")
                self.assertFalse(os.path.exists(os.path.join(CLIENT_DIR, "Uninstall.exe")), "extracted")
                self.assertFalse(os.path.exists(os.path.join(CLIENT_DIR, "started")), "client started")
                self.assertFalse(os.path.exists(os.path.join(desktop(), "Zelvano在线2.0.lnk")))
        # Registered by none of them (one look at the registry: each costs a
        # Wine start).
        self.assertEqual(reg_values(KEY), {})

    def test_5_signed_release_over_https(self):
        """The update request and the ranged download over Schannel, the
        server's chain checked against the prefix's Root store."""
        authority, served = make_authority(os.path.join(WORK, "authority"))
        server = Server(DEMO_RELEASE, sign(PUBLISHER_KEY, DEMO_RELEASE), tls=served)
        self.addCleanup(server.stop)
        self.assertTrue(server.url.startswith("https://"))
        authority = "Z:" + authority.replace("/", "\\")
        trust = wine(TRUST_ROOT, "add", authority)
        self.assertEqual(trust.returncode, 0, trust.stderr)
        try:
            status, errors = run_setup(server.url, "setup-https.exe", SIGNED_SETUP)
        finally:
            untrust = wine(TRUST_ROOT, "remove", authority)
        self.assertEqual(untrust.returncode, 0, untrust.stderr)
        self.assertEqual(status, 0, errors)
        self.assertIn("GET /api/autodownload/student HTTP/1.1", server.requests())
        self.assertTrue(any(r.startswith("GET /files/release.zip") for r in server.requests()))
        self.assertTrue(os.path.isfile(os.path.join(CLIENT_DIR, "Corvexa.exe")))

        # The same server once its authority is no longer trusted.
        self.setUp()
        with open(os.path.join(server.work, "access.log")) as f:
            before = f.read()
        status, errors = run_setup(server.url, "setup-https-untrusted.exe", SIGNED_SETUP)
        self.assertEqual(status, 1, errors)
        self.assertIn("网络断开安装失败 ，请重新安装 . . .", errors)
        with open(os.path.join(server.work, "access.log")) as f:
            self.assertEqual(f.read(), before, "a request went out over an untrusted connection")
        self.assertFalse(os.path.exists(os.path.join(CLIENT_DIR, "Corvexa.exe")))

    def test_6_faulty_lines_install_in_one_run(self):
        media = os.path.join(WORK, "media.bin")
        large = os.path.join(WORK, "large.zip")
        if not os.path.exists(large):
            with open(media, "wb") as f:
                f.write(os.urandom(40_000_000))
            make_archive(large, {"Corvexa.exe": CLIENT, "Uninstall.exe": UNINSTALL, "data/media.bin": media})
        size = os.path.getsize(large)
        cases = (
            ("silent after 12 MB", ("--stall-after", "12000000"), 60),
            ("reset after 12 MB, then refused for 6 s", ("--reset-after", "12000000", "--refuse-for", "6"), 60),
            ("every connection closed after 5 MB", ("--cut-every", "5000000"), 45),
            ("every 4th request answered 503", ("--fail-every", "4"), 60),
        )
        for number, (name, options, limit) in enumerate(cases):
            with self.subTest(name):
                self.setUp()
                server = Server(large)
                proxy = Proxy(server, *options)
                try:
                    started = time.monotonic()
                    status, errors = run_setup(server.url, "setup-line%d.exe" % number)
                    seconds = time.monotonic() - started
                    carried = proxy.stat("bytes")
                    faults = sum(proxy.stat(k) for k in ("stalls", "resets", "cuts", "failures"))
                finally:
                    proxy.stop()
                    server.stop()
                self.assertEqual(status, 0, errors)
                self.assertEqual(os.path.getsize(os.path.join(CLIENT_DIR, "data", "media.bin")), 40_000_000)
                self.assertLessEqual(carried, 1.1 * size)
                self.assertGreater(faults, 0)
                self.assertLess(seconds, limit)
                print("[ figures  ] wine, %s: 1 run, %d of %d bytes carried (%.2fx), %.1f s"
                      % (name, carried, size, carried / size, seconds), flush=True)

    def test_7_file_changed_between_two_runs_is_fetched_anew(self):
        first = os.path.join(WORK, "first.zip")
        second = os.path.join(WORK, "second.zip")
        for path, version in ((first, "1"), (second, "2")):
            if not os.path.exists(path):
                media = os.path.join(WORK, "media-%s.bin" % version)
                with open(media, "wb") as f:
                    f.write(os.urandom(6_000_000) + version.encode())
                make_archive(path, {"Corvexa.exe": CLIENT, "Uninstall.exe": UNINSTALL, "data/media.bin": media})
        server = Server(first)
        self.addCleanup(server.stop)
        proxy = Proxy(server, "--rate", "400000")
        program = os.path.join(WORK, "setup-broken.exe")
        shutil.copy(SETUP, program)
        # The first run is ended part-way through the download.
        run = subprocess.Popen([WINE, program, "/silent"], env=wine_env(ZELVANO_UPDATE_SERVER=server.url),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        partial = os.path.join(CLIENT_DIR, "Update", "Version.zip")
        for _ in range(600):
            if os.path.exists(partial) and os.path.getsize(partial) > 0:
                break
            time.sleep(0.1)
        run.kill()
        run.wait()
        subprocess.run([WINESERVER, "-k"], env=wine_env(), timeout=60)
        proxy.stop()
        self.assertTrue(os.path.exists(partial + ".head"))
        kept = os.path.getsize(partial)
        self.assertGreater(kept, 0)
        self.assertLess(kept, os.path.getsize(first))

        shutil.copy(second, os.path.join(server.root, "files", "release.zip"))
        later = time.time() + 3600
        os.utime(os.path.join(server.root, "files", "release.zip"), (later, later))
        with open(os.path.join(server.root, "api", "autodownload", "student"), "w") as f:
            f.write('{"download_url":"%s/files/release.zip"}' % server.url)
        with open(os.path.join(server.work, "access.log")) as f:
            before = len(f.readlines())
        status, errors = run_setup(server.url, "setup-again.exe")
        self.assertEqual(status, 0, errors)
        with open(os.path.join(CLIENT_DIR, "data", "media.bin"), "rb") as f:
            self.assertEqual(f.read()[-1:], b"2")
        with open(os.path.join(server.work, "access.log")) as f:
            ranges = [line.split('"')[3] for line in f.readlines()[before:] if '"GET /files/' in line]
        self.assertEqual(ranges[0], "bytes=0-1023999")


if __name__ == "__main__":
    unittest.main(verbosity=2)
