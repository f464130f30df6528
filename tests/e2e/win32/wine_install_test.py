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
client (status 2). Every reply carries a release statement signed with the
development key the program trusts (PUBLISHER.key signs with the publishing
tool, tools/release/zelvano-release; RELEASE.zip is the demo release). Then the
table of release statements: valid, the same version again, older than the
installed one (the installed files and the running client left alone),
expired, archive bytes that differ from the statement, another product,
another key, the old form (a signature over the archive), not base64; each
refusal ends with status 2, nothing extracted, registered or started. Last the
signed installation over https from nginx with a certificate of a test
authority: installed while the prefix's Root store holds that authority
(TRUST_ROOT.exe puts it there and takes it out), a network failure (status 1)
with nothing requested once it does not, and a reply over https naming an
http archive refused before any download. SIGNED_SETUP.exe trusts the
development key whatever key SETUP.exe was built with.
Then the network's faults: a 40 MB archive through the fault proxy (silent
after 12 MB, reset and then refused for 6 s, every connection closed after
5 MB, a 503 for every 4th request), each installed in one run carrying the
archive about once, and a file changed between two runs fetched anew.
"""
import base64
import json
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
RELEASE_TOOL = os.path.join(HERE, "..", "..", "..", "tools", "release", "zelvano-release")
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


def desktop(prefix=None):
    """The public desktop, where an installation for all users puts its
    shortcut."""
    return os.path.join(prefix or PREFIX, "drive_c", "users", "Public", "Desktop")


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


def release_members(archive, version="2.0.0", expires=None, product="zelvano-student", key=None):
    """The update reply's "release" and "signature" members for the archive,
    as the publishing tool prints them."""
    statement = tempfile.mktemp(dir=WORK, suffix=".json")
    command = [RELEASE_TOOL, "-k", key or PUBLISHER_KEY, "-v", version, "-p", product, "-o", statement]
    command += ["-e", expires] if expires else ["-d", "30"]
    return subprocess.run(command + [archive], capture_output=True, text=True, check=True).stdout.strip()


class Server:
    def __init__(self, archive, members="sign", tls=None, archive_url=None):
        """members: the reply's release members ("sign": a valid statement of
        the archive); tls: (certificate, key) to serve https; archive_url:
        the address the reply names instead of the server's own."""
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
        self.members = release_members(archive) if members == "sign" else members
        self.reply(archive_url or self.url + "/files/release.zip")

    def reply(self, archive_url):
        """Writes the update reply naming archive_url, with the release
        members; JSON's own escapes keep it ASCII, whatever charset it is read in."""
        reply = '{"download_url":%s' % json.dumps(archive_url)
        if self.members:
            reply += ',"version":"2.0",' + self.members
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
        server.reply(self.url + "/files/release.zip")

    def stat(self, name):
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
    """The old form of the reply's signature, refused now: the base64 of the
    DER ECDSA signature over the archive's SHA-256."""
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
        # A client already running from elsewhere is ended once the archive
        # is verified.
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
        # Quoted: the folder has a space.
        self.assertEqual(values.get("UninstallString"), '"' + folder + 'Uninstall.exe"')
        self.assertEqual(values.get("ReleaseVersion"), "2.0.0")

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

    def start_running_client(self):
        """A client running from elsewhere; returns its process."""
        running_dir = os.path.join(WORK, "running")
        os.makedirs(running_dir, exist_ok=True)
        shutil.copy(CLIENT, os.path.join(running_dir, "Corvexa.exe"))
        started = os.path.join(running_dir, "started")
        if os.path.exists(started):
            os.remove(started)
        running = subprocess.Popen([WINE, os.path.join(running_dir, "Corvexa.exe"), "/wait"], cwd=running_dir,
                                   env=wine_env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(300):
            if os.path.exists(started):
                break
            time.sleep(0.1)
        return running

    def test_4_release_statements(self):
        """Signed release statements: accepted ones install and record their
        version, every other one is refused with the installed files, the
        recorded version and the running client left alone."""
        with open(DEMO_RELEASE, "rb") as f:
            changed_bytes = bytearray(f.read())
        changed_bytes[len(changed_bytes) // 2] ^= 0x01
        changed = os.path.join(WORK, "changed.zip")
        with open(changed, "wb") as f:
            f.write(changed_bytes)
        stranger = os.path.join(WORK, "stranger.key")
        if not os.path.exists(stranger):
            subprocess.run(["openssl", "ecparam", "-name", "prime256v1", "-genkey", "-noout", "-out", stranger],
                           check=True)
        valid = release_members(DEMO_RELEASE)
        old_form = '"signature":"%s"' % sign(PUBLISHER_KEY, DEMO_RELEASE)
        # name, archive served, reply members, version installed before, installs, downloads
        cases = (
            ("valid", DEMO_RELEASE, valid, None, True, True),
            ("same version again", DEMO_RELEASE, valid, "2.0.0", True, True),
            ("older than installed", DEMO_RELEASE, valid, "2.0.1", False, False),
            ("expired", DEMO_RELEASE, release_members(DEMO_RELEASE, expires="2020-01-01T00:00:00Z"), None, False,
             False),
            ("archive bytes differ from the statement", changed, valid, None, False, True),
            ("other product", DEMO_RELEASE, release_members(DEMO_RELEASE, product="zelvano-teacher"), None, False,
             False),
            ("other key", DEMO_RELEASE, release_members(DEMO_RELEASE, key=stranger), None, False, False),
            ("old form: a signature over the archive", DEMO_RELEASE, old_form, None, False, False),
            ("statement not base64", DEMO_RELEASE, '"release":"eyJ*","signature":"MEUCIQ=="', None, False, False),
        )
        for number, (name, archive, members, installed, installs, downloads) in enumerate(cases):
            with self.subTest(name):
                self.setUp()
                os.makedirs(CLIENT_DIR, exist_ok=True)
                with open(os.path.join(CLIENT_DIR, "readme.txt"), "w") as f:
                    f.write("the installed release")
                if installed:
                    wine("reg", "add", KEY, "/v", "ReleaseVersion", "/d", installed, "/f")
                # The running client, for the row where its survival matters
                # most (each start costs a Wine process).
                running = self.start_running_client() if name == "older than installed" else None
                server = Server(archive, members)
                try:
                    status, errors = run_setup(server.url, "setup-statement%d.exe" % number, SIGNED_SETUP)
                    downloaded = any(r.startswith("GET /files/release.zip") for r in server.requests())
                finally:
                    server.stop()
                self.assertEqual(downloaded, downloads)
                if installs:
                    self.assertEqual(status, 0, errors)
                    started = os.path.join(CLIENT_DIR, "started")
                    for _ in range(300):
                        if os.path.exists(started):
                            break
                        time.sleep(0.1)
                    self.assertTrue(os.path.exists(started), "the client was not started")
                    self.assertEqual(reg_values(KEY).get("ReleaseVersion"), "2.0.0")
                    continue
                self.assertEqual(status, 2, errors)
                self.assertIn("安装包签名校验失败，请重新安装 . . . ", errors)
                if running is not None:
                    self.assertIsNone(running.poll(), "the running client was ended for a refused release")
                    running.kill()
                    running.wait()
                with open(os.path.join(CLIENT_DIR, "readme.txt")) as f:
                    self.assertEqual(f.read(), "the installed release")
                self.assertFalse(os.path.exists(os.path.join(CLIENT_DIR, "Update", "Version.zip")), "archive kept")
                self.assertFalse(os.path.exists(os.path.join(CLIENT_DIR, "Corvexa.exe")), "extracted")
                self.assertFalse(os.path.exists(os.path.join(CLIENT_DIR, "started")), "client started")
                self.assertFalse(os.path.exists(os.path.join(desktop(), "Zelvano在线2.0.lnk")))
                if installed:
                    self.assertEqual(reg_values(KEY).get("ReleaseVersion"), installed)

    def test_5_signed_release_over_https(self):
        """The update request and the ranged download over Schannel, the
        server's chain checked against the prefix's Root store."""
        authority, served = make_authority(os.path.join(WORK, "authority"))
        server = Server(DEMO_RELEASE, tls=served)
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

        # A reply over https that names an http archive: refused before any
        # download.
        plain = Server(DEMO_RELEASE)
        self.addCleanup(plain.stop)
        mixed = Server(DEMO_RELEASE, tls=served, archive_url=plain.url + "/files/release.zip")
        self.addCleanup(mixed.stop)
        trust = wine(TRUST_ROOT, "add", authority)
        self.assertEqual(trust.returncode, 0, trust.stderr)
        try:
            status, errors = run_setup(mixed.url, "setup-https-plain.exe", SIGNED_SETUP)
        finally:
            untrust = wine(TRUST_ROOT, "remove", authority)
        self.assertEqual(untrust.returncode, 0, untrust.stderr)
        self.assertEqual(status, 2, errors)
        self.assertIn("安装包签名校验失败，请重新安装 . . . ", errors)
        self.assertIn("GET /api/autodownload/student HTTP/1.1", mixed.requests())
        self.assertEqual(plain.requests(), [], "the http archive was fetched")
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
        server.members = release_members(second)
        server.reply(server.url + "/files/release.zip")
        with open(os.path.join(server.work, "access.log")) as f:
            before = len(f.readlines())
        status, errors = run_setup(server.url, "setup-again.exe")
        self.assertEqual(status, 0, errors)
        with open(os.path.join(CLIENT_DIR, "data", "media.bin"), "rb") as f:
            self.assertEqual(f.read()[-1:], b"2")
        with open(os.path.join(server.work, "access.log")) as f:
            ranges = [line.split('"')[3] for line in f.readlines()[before:] if '"GET /files/' in line]
        self.assertEqual(ranges[0], "bytes=0-1023999")


# ---------------------------------------------------------------------------
# The installation as users meet it: a standard account (a plain uid, for
# which Wine's files keep their read-only bits, unlike root's), the setup
# program saved as "setup.exe", updates over an installation, Chinese names,
# long folders. One prefix of that uid's own, in a temporary folder below the
# work folder; no account of the machine is touched.

USER_ID = 4242
USER_WORK = os.path.join(WORK, "user")
USER_PREFIX = os.path.join(USER_WORK, "prefix")
USER_HOME = os.path.join(USER_WORK, "home")
BUILD = os.path.dirname(os.path.dirname(os.path.dirname(SETUP)))  # SETUP is BUILD/app/win32/...
UNZIP_TOOL = os.path.join(BUILD, "tools", "unzip", "zelvano-unzip.exe")
FETCH_TOOL = os.path.join(BUILD, "tools", "download", "zelvano-fetch.exe")
LOCALES = os.path.join(WORK, "locales")


def user_env(**extra):
    env = wine_env(**extra)
    env.update(WINEPREFIX=USER_PREFIX, HOME=USER_HOME, USER="user%d" % USER_ID, LOGNAME="user%d" % USER_ID)
    return env


def as_user(command, timeout=300, cwd=None, **extra):
    return subprocess.run(["setpriv", "--reuid=%d" % USER_ID, "--regid=%d" % USER_ID, "--clear-groups", *command],
                          env=user_env(**extra), capture_output=True, timeout=timeout, cwd=cwd)


def user_drive_c(*parts):
    return os.path.join(USER_PREFIX, "drive_c", *parts)


def give_to_user(path):
    for root, dirs, files in os.walk(path):
        os.chown(root, USER_ID, USER_ID)
        for name in files:
            os.lchown(os.path.join(root, name), USER_ID, USER_ID)
    os.chown(path, USER_ID, USER_ID)


def taiwanese_locale():
    """A zh_TW.UTF-8 locale compiled into the work folder (LOCPATH), so that
    Wine's code pages are Big5's (950) without a system locale installed;
    None when it cannot be made here."""
    target = os.path.join(LOCALES, "zh_TW.UTF-8")
    if not os.path.isdir(target):
        os.makedirs(LOCALES, exist_ok=True)
        subprocess.run(["localedef", "-i", "zh_TW", "-f", "UTF-8", target], capture_output=True)
        if not os.path.isdir(target):
            return None
        os.chmod(LOCALES, 0o755)
    return {"LOCPATH": LOCALES, "LC_ALL": "zh_TW.UTF-8", "LANG": "zh_TW.UTF-8"}


def raw_zip(path, entries):
    """A stored archive written byte by byte: entries are (raw name bytes,
    data, external attributes, made-by host), without the UTF-8 flag."""
    import struct
    import zlib
    out, central = b"", b""
    for name, data, external, host in entries:
        crc = zlib.crc32(data)
        offset = len(out)
        out += struct.pack("<IHHHIIIIHH", 0x04034B50, 20, 0, 0, 0x5A2E6000, crc, len(data), len(data), len(name), 0)
        out += name + data
        central += struct.pack("<IHHHHIIIIHHHHHII", 0x02014B50, (host << 8) | 20, 20, 0, 0, 0x5A2E6000, crc,
                               len(data), len(data), len(name), 0, 0, 0, 0, external, offset)
        central += name
    out += central + struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central),
                                 len(out), 0)
    with open(path, "wb") as f:
        f.write(out)


class WineAsUsersRunIt(unittest.TestCase):
    """One row per fault seen with the Windows build as users run it."""

    @classmethod
    def setUpClass(cls):
        os.makedirs(USER_HOME, exist_ok=True)
        give_to_user(USER_WORK)
        if not os.path.exists(os.path.join(USER_PREFIX, "system.reg")):
            done = as_user([WINE, "wineboot", "-i"], timeout=600)
            assert os.path.exists(os.path.join(USER_PREFIX, "system.reg")), done.stderr
        as_user([WINESERVER, "-w"], timeout=120)
        cls.xvfb = start_display()
        cls.client_dir = user_drive_c("Program Files", "Pordino2.0")
        cls.programs = os.path.join(USER_WORK, "programs")
        os.makedirs(cls.programs, exist_ok=True)
        give_to_user(cls.programs)

    @classmethod
    def tearDownClass(cls):
        as_user([WINESERVER, "-k"], timeout=60)
        cls.xvfb.terminate()
        cls.xvfb.wait()

    def setUp(self):
        shutil.rmtree(self.client_dir, ignore_errors=True)
        lnk = os.path.join(desktop(USER_PREFIX), "Zelvano在线2.0.lnk")
        if os.path.exists(lnk):
            os.remove(lnk)

    def archive(self, name, files):
        """A release archive (zip -P) of name -> bytes, with Unix modes when
        a value is (bytes, mode)."""
        path = os.path.join(WORK, name)
        stage = tempfile.mkdtemp(dir=WORK)
        for member, content in files.items():
            data, mode = content if isinstance(content, tuple) else (content, 0o644)
            target = os.path.join(stage, member)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(target, "wb") as f:
                f.write(data)
            os.chmod(target, mode)
        if os.path.exists(path):
            os.remove(path)
        subprocess.run(["zip", "-q", "-r", "-X", "-P", PASSWORD, path, "."], cwd=stage, check=True)
        shutil.rmtree(stage)
        return path

    def client(self):
        with open(CLIENT, "rb") as f:
            return f.read()

    def install(self, archive, program="setup.exe", served_as=None, **extra):
        """Serves the archive (as files/release.zip, or files/`served_as`),
        runs a copy of the setup program saved under `program` as the plain
        uid; returns (status, standard error, server)."""
        server = Server(archive)
        self.addCleanup(server.stop)
        if served_as is not None:
            shutil.copy(archive, os.path.join(server.root, "files", served_as))
            server.reply("%s/files/%s" % (server.url, served_as))
        folder = tempfile.mkdtemp(dir=self.programs)
        os.chmod(folder, 0o755)
        setup = os.path.join(folder, program)
        shutil.copy(SETUP, setup)
        os.chmod(setup, 0o755)
        done = as_user([WINE, setup, "/silent"], ZELVANO_UPDATE_SERVER=server.url, **extra)
        return done.returncode, done.stderr.decode("utf-8", "replace"), server

    def started(self, folder=None):
        path = os.path.join(folder or self.client_dir, "started")
        for _ in range(100):
            if os.path.exists(path):
                return True
            time.sleep(0.1)
        return False

    def test_01_updates_over_read_only_files(self):
        """Row 1: files made read-only by the archive (Unix 0444 and the DOS
        read-only bit) are replaced by the next update."""
        first = self.archive("readonly-1.zip", {"Corvexa.exe": (self.client(), 0o555),
                                                "data/locked.txt": (b"version 1", 0o444)})
        raw = os.path.join(WORK, "dos-readonly.zip")
        status, errors, _ = self.install(first)
        self.assertEqual(status, 0, errors)
        locked = os.path.join(self.client_dir, "data", "locked.txt")
        self.assertFalse(os.stat(locked).st_mode & 0o222, "the archive's mode made it read-only")
        second = self.archive("readonly-2.zip", {"Corvexa.exe": (self.client(), 0o555),
                                                 "data/locked.txt": (b"version 2", 0o444)})
        started = time.monotonic()
        status, errors, _ = self.install(second)
        self.assertEqual(status, 0, errors)
        self.assertLess(time.monotonic() - started, 60)
        with open(locked, "rb") as f:
            self.assertEqual(f.read(), b"version 2")
        # The DOS read-only bit of an archive made on Windows, then once more.
        with open(CLIENT, "rb") as f:
            client = f.read()
        for version in (b"dos 1", b"dos 2"):
            raw_zip(raw, [(b"Corvexa.exe", client, 0x20, 0), (b"data/locked.txt", version, 0x21, 0)])
            status, errors, _ = self.install(raw)
            self.assertEqual(status, 0, errors)
            with open(locked, "rb") as f:
                self.assertEqual(f.read(), version)

    def test_02_saved_as_setup_exe_ends_no_other_setup(self):
        """Row 2: another program named setup.exe keeps running."""
        other_dir = tempfile.mkdtemp(dir=self.programs)
        os.chmod(other_dir, 0o777)
        other = os.path.join(other_dir, "setup.exe")
        shutil.copy(CLIENT, other)
        os.chmod(other, 0o755)
        running = subprocess.Popen(["setpriv", "--reuid=%d" % USER_ID, "--regid=%d" % USER_ID, "--clear-groups",
                                    WINE, other, "/wait"], cwd=other_dir, env=user_env(),
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(running.wait, timeout=30)
        self.addCleanup(lambda: running.poll() is None and running.kill())
        self.assertTrue(self.started(other_dir), "the other setup.exe did not start")
        status, errors, _ = self.install(self.archive("plain.zip", {"Corvexa.exe": self.client()}))
        self.assertEqual(status, 0, errors)
        self.assertTrue(self.started())
        time.sleep(1)
        self.assertIsNone(running.poll(), "the other setup.exe was ended")

    def test_07_double_byte_names_from_a_taiwanese_system(self):
        """Row 7: 許功蓋 in Big5 (each second byte 0x5C) under code page 950."""
        locale_env = taiwanese_locale()
        if locale_env is None:
            self.skipTest("no zh_TW locale can be compiled here")
        raw = os.path.join(WORK, "big5.zip")
        raw_zip(raw, [(b"Corvexa.exe", self.client(), 0x20, 0),
                      ("許功蓋.txt".encode("big5"), b"big5", 0x20, 0)])
        status, errors, _ = self.install(raw, **locale_env)
        self.assertEqual(status, 0, errors)
        with open(os.path.join(self.client_dir, "許功蓋.txt"), "rb") as f:
            self.assertEqual(f.read(), b"big5")

    def test_08_download_url_with_chinese_characters(self):
        """Row 8: the archive's address is sent as percent-encoded UTF-8."""
        archive = self.archive("plain.zip", {"Corvexa.exe": self.client()})
        status, errors, server = self.install(archive, served_as="发布.zip")
        self.assertEqual(status, 0, errors)
        self.assertTrue(any(r.startswith("GET /files/%E5%8F%91%E5%B8%83.zip") for r in server.requests()),
                        server.requests())
        self.assertTrue(self.started())

    def test_09_names_windows_cannot_hold(self):
        """Row 9: forbidden characters and trailing dots become "_"; names
        Windows takes for one file fail the installation, reported."""
        status, errors, _ = self.install(self.archive("names.zip", {
            "Corvexa.exe": self.client(), "What?.txt": b"what", "notes.": b"dot", "notes": b"plain",
            "trail ": b"space", "trail": b"no space", "d/a:b.txt": b"colon"}))
        self.assertEqual(status, 0, errors)
        expected = {"What_.txt": b"what", "notes_": b"dot", "notes": b"plain", "trail_": b"space",
                    "trail": b"no space", "d/a_b.txt": b"colon"}
        for name, data in expected.items():
            with open(os.path.join(self.client_dir, name), "rb") as f:
                self.assertEqual(f.read(), data, name)
        self.assertFalse(os.path.exists(os.path.join(self.client_dir, "d", "a")), "an NTFS stream's file")

        self.setUp()
        status, errors, _ = self.install(self.archive("case.zip", {
            "Corvexa.exe": self.client(), "Readme.txt": b"first", "README.TXT": b"second"}))
        self.assertEqual(status, 2, errors)
        self.assertFalse(self.started())

    def test_10_files_past_260_characters(self):
        """Row 10: the extraction writes below a folder past the classic
        limit (Wine sets ProgramFiles itself, so the setup program's install
        folder cannot be moved there; the same component is run by the tool)."""
        folder = tempfile.mkdtemp(dir=self.programs)
        os.chmod(folder, 0o777)
        target = "\\".join(["a-rather-long-folder-name-%02d" % k for k in range(9)])
        archive = os.path.join(folder, "long.zip")
        shutil.copy(self.archive("long.zip", {"data/deeper/still/readme.txt": b"long"}), archive)
        give_to_user(folder)
        done = as_user([WINE, UNZIP_TOOL, "-P", PASSWORD, "-d", target, "long.zip"], cwd=folder)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        readme = os.path.join(folder, *target.split("\\"), "data", "deeper", "still", "readme.txt")
        self.assertGreater(len(readme), 300)
        with open(readme, "rb") as f:
            self.assertEqual(f.read(), b"long")

    def test_11_folder_entry_where_a_file_stands(self):
        """Row 11: the folder cannot be made; the entry fails."""
        os.makedirs(self.client_dir)
        with open(os.path.join(self.client_dir, "data"), "w") as f:
            f.write("a file")
        give_to_user(self.client_dir)
        raw = os.path.join(WORK, "folder.zip")
        raw_zip(raw, [(b"Corvexa.exe", self.client(), 0x20, 0), (b"data/", b"", 0x10, 0)])
        status, errors, _ = self.install(raw)
        self.assertEqual(status, 2, errors)
        self.assertFalse(self.started())

    def test_13_data_that_ends_early_leaves_no_file(self):
        """Row 13: a stored entry claiming more bytes than the archive has."""
        import struct
        raw = os.path.join(WORK, "short.zip")
        raw_zip(raw, [(b"Corvexa.exe", self.client(), 0x20, 0), (b"cut.bin", b"c" * 3000, 0x20, 0)])
        with open(raw, "rb") as f:
            data = bytearray(f.read())
        local = data.find(b"PK\x03\x04", 1)
        central = data.rfind(b"PK\x01\x02")
        for field in (local + 18, local + 22, central + 20, central + 24):
            data[field:field + 4] = struct.pack("<I", 100000)
        with open(raw, "wb") as f:
            f.write(data)
        status, errors, _ = self.install(raw)
        self.assertEqual(status, 2, errors)
        self.assertFalse(os.path.exists(os.path.join(self.client_dir, "cut.bin")), "a cut file left")
        self.assertFalse(self.started())

    def test_14_tools_take_chinese_arguments(self):
        """Row 14: arguments from the wide command line."""
        folder = tempfile.mkdtemp(dir=self.programs)
        os.chmod(folder, 0o777)
        os.makedirs(os.path.join(folder, "下载"))
        archive = os.path.join(folder, "下载", "发布.zip")
        shutil.copy(self.archive("tool.zip", {"文件.txt": b"tool"}), archive)
        give_to_user(folder)
        done = as_user([WINE, UNZIP_TOOL, "-P", PASSWORD, "-d", "解压", "下载\\发布.zip"], cwd=folder)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        with open(os.path.join(folder, "解压", "文件.txt"), "rb") as f:
            self.assertEqual(f.read(), b"tool")
        # Output to a pipe stays UTF-8.
        self.assertIn("文件.txt", done.stdout.decode("utf-8", "replace"))

        server = Server(archive)
        self.addCleanup(server.stop)
        done = as_user([WINE, FETCH_TOOL, "-q", server.url + "/files/release.zip", "保存.zip"], cwd=folder)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertTrue(os.path.isfile(os.path.join(folder, "保存.zip")))


if __name__ == "__main__":
    unittest.main(verbosity=2)
