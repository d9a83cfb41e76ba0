#!/usr/bin/env python3
"""End-to-end crawl benchmark: fetchwright-cli against wget and wget2 through a latency relay in front of nginx.

    bench/crawl_relay.py BUILD_DIR [--relay PATH] [--delay-ms 10] [--only NAME ...]

BUILD_DIR holds an optimised build (src/fetchwright-cli). The relay is a TCP relay that delays
what the client sends (default: ../shared/bench/latency-relay.py beside the repository, or the
FW_LATENCY_RELAY environment variable). Everything runs on 127.0.0.1 in a temporary folder:

  site       a generated site of 200 pages and 1,000 images, images down to depth 3, through the relay:
             ours with 6 connections against `wget -r -l 3 -np -A gif,jpg,png,html` and wget2 with 6
             threads, in turns, medians of 3; ours with 1 connection once
  direct     the same site without the relay: wget, wget2 with 6 threads, and ours with 1 and 6
             connections, three rounds in turns, medians; wget2 by time per image saved
  ranged     one 256 MiB file in ranged pieces of 1 MB through the relay, 1 against 6 connections
  waiting    16 slow files (nginx limit_rate) with 16 connections: CPU time over wall time, 3 runs
  memory     peak resident memory with 16 connections, site and ranged file
  https      the site over HTTPS through the relay, nginx offering HTTP/2: ours with 6 connections
             against wget2 with 6 threads (both trusting the run's own certificate), images saved
  cookies    300 files whose every answer sets 40 new cookies, without the relay: wget against ours
             with 1 and 6 connections, keeping cookies
  docs       real documentation served locally, every file of it: Python's (python3-doc) and the GIMP
             help in Japanese (gimp-help-ja), wget -r -l inf -np against ours with 1 and 6
             connections, in turns, medians of 3
  docs-https the GIMP help in Japanese over HTTPS through the relay, nginx offering HTTP/2: ours with
             6 connections against wget2 with 6 threads, files saved

Prints one line per measurement: wall seconds, CPU seconds and peak resident MiB of the process.
"""
import argparse
import os
import random
import resource
import shutil
import socket
import subprocess
import sys
import tempfile
import time

PAGES_PER_SECTION = 9
SECTIONS = 20
IMAGES_PER_PAGE = 5
RANGED_SIZE = 256 * 1024 * 1024
COOKIE_FILES = 300
# Real documentation from Debian packages (scripts/install-deps --bench installs them), by the path
# it is served under.
DOCS = {"python": "/usr/share/doc/python3/html", "gimp": "/usr/share/gimp/2.0/help/ja"}
COOKIES_PER_ANSWER = 40


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, seconds=10):
    deadline = time.time() + seconds
    while time.time() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError(f"nothing listens on {port}")


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def generate_site(root):
    rng = random.Random(14)
    exts = ["gif", "jpg", "png"]

    def images(prefix):
        tags = []
        for i in range(IMAGES_PER_PAGE):
            name = f"{prefix}img{i}.{exts[(i + len(prefix)) % 3]}"
            write(os.path.join(root, name), rng.randbytes(rng.randint(2000, 20000)))
            tags.append(f'<img src="/{name}">')
        return "".join(tags)

    index = ["<html><body>"]
    for s in range(SECTIONS):
        index.append(f'<a href="/s{s}/index.html">section {s}</a>')
        section = [f"<html><body>{images(f's{s}/')}"]
        for p in range(PAGES_PER_SECTION):
            section.append(f'<a href="/s{s}/p{p}.html">page {p}</a>')
            nxt = (p + 1) % PAGES_PER_SECTION
            page = (f"<html><body>{images(f's{s}/p{p}/')}<a href=\"/s{s}/index.html\">up</a>"
                    f"<a href=\"/s{s}/p{nxt}.html\">next</a><a href=\"/index.html\">top</a></body></html>")
            write(os.path.join(root, f"s{s}/p{p}.html"), page.encode())
        section.append('<a href="/index.html">top</a></body></html>')
        write(os.path.join(root, f"s{s}/index.html"), "".join(section).encode())
    index.append("</body></html>")
    write(os.path.join(root, "index.html"), "".join(index).encode())
    write(os.path.join(root, "big.html"), b'<a href="big.bin">big</a>')
    with open(os.path.join(root, "big.bin"), "wb") as f:
        block = rng.randbytes(1 << 20)
        for _ in range(RANGED_SIZE >> 20):
            f.write(block)
    slow = ["<html><body>"]
    for i in range(16):
        write(os.path.join(root, f"slow/s{i}.gif"), rng.randbytes(320 * 1024))
        slow.append(f'<img src="s{i}.gif">')
    write(os.path.join(root, "slow/index.html"), ("".join(slow) + "</body></html>").encode())
    flood = ["<html><body>"]
    for i in range(COOKIE_FILES):
        write(os.path.join(root, f"cookies/c{i}.gif"), rng.randbytes(2000))
        flood.append(f'<img src="c{i}.gif">')
    write(os.path.join(root, "cookies/index.html"), ("".join(flood) + "</body></html>").encode())


def make_certificate(work):
    """A self-signed certificate for 127.0.0.1, for the HTTPS server."""
    cert, key = os.path.join(work, "cert.pem"), os.path.join(work, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
                    "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return cert, key


def start_nginx(work, root, tls_port=None):
    port = free_port()
    cert, key = make_certificate(work) if tls_port else (None, None)
    # Every answer under /cookies/ sets new cookies: their names hold the request's own id.
    flood = " ".join(f'add_header Set-Cookie "n{i}_$request_id=v; Path=/";' for i in range(COOKIES_PER_ANSWER))
    secure = (f"listen 127.0.0.1:{tls_port} ssl http2; ssl_certificate {cert}; ssl_certificate_key {key};"
              if tls_port else "")
    conf = os.path.join(work, "nginx.conf")
    with open(conf, "w") as f:
        f.write(f"""daemon off;
master_process off;
pid {work}/nginx.pid;
error_log {work}/error.log warn;
events {{ worker_connections 256; }}
http {{
    client_body_temp_path {work}/client_body;
    proxy_temp_path {work}/proxy;
    fastcgi_temp_path {work}/fastcgi;
    uwsgi_temp_path {work}/uwsgi;
    scgi_temp_path {work}/scgi;
    access_log off;
    types {{ text/html html; image/gif gif; image/jpeg jpg; image/png png; application/octet-stream bin;
             text/css css; application/javascript js; image/svg+xml svg; text/plain txt; font/woff2 woff2; }}
    etag on;
    keepalive_timeout 60s;
    keepalive_requests 100000;
    server {{
        listen 127.0.0.1:{port};
        {secure}
        root {root};
        location /slow/ {{ limit_rate 32k; }}
        location /cookies/ {{ {flood} }}
        location /python/ {{ alias {DOCS["python"]}/; }}
        location /gimp/ {{ alias {DOCS["gimp"]}/; }}
    }}
}}
""")
    nginx = shutil.which("nginx") or "/usr/sbin/nginx"
    process = subprocess.Popen([nginx, "-p", work + "/", "-c", conf, "-e", os.path.join(work, "error.log")])
    wait_for_port(port)
    return process, port


def measured(command, env=None):
    """Runs command; returns wall seconds, CPU seconds and peak resident MiB of it."""
    os.sync()  # the last run's writes reach the disk first, so that no run pays for the one before
    start = time.monotonic()
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.monotonic() - start
    if os.waitstatus_to_exitcode(status) not in (0, 8):  # wget(2) ends with 8 when a server answered an error
        sys.stderr.write(process.stderr.read().decode(errors="replace"))
        raise RuntimeError(f"{command[0]} failed with {status}")
    return wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024


class Ours:
    def __init__(self, build, work):
        self.cli = os.path.join(build, "src", "fetchwright-cli")
        self.work = work
        self.runs = 0

    def crawl(self, address, connections, *options):
        self.runs += 1
        home = os.path.join(self.work, f"home{self.runs}")
        save = os.path.join(self.work, f"save{self.runs}")
        os.makedirs(home)
        env = dict(os.environ, XDG_CONFIG_HOME=home, HOME=home)
        env.pop("http_proxy", None)
        result = measured([self.cli, "crawl", address, save, "--connections", str(connections), "--no-list",
                           "--max-kb", "0", "--scope", "2", *options], env)
        self.last = save
        return result


def median(results):
    """The run of median wall time."""
    return sorted(results)[len(results) // 2]


def in_turns(jobs, rounds=3):
    """Runs each job (a function of the round) once a round, the order turned each round so that no
    job always meets the machine as another left it; returns each job's run of median wall time."""
    names = list(jobs)
    runs = {name: [] for name in names}
    for round in range(rounds):
        turn = round % len(names)
        for name in names[turn:] + names[:turn]:
            runs[name].append(jobs[name](round))
    return {name: median(results) for name, results in runs.items()}


def against_wget(ours, work, name, address, wget_options, our_options, with_wget2=False):
    """wget -r -np with wget_options, and ours with 1 and 6 connections with our_options, in turns:
    the run of median wall time of each, as (wget, one, six); with_wget2, wget2 with 6 threads and
    the same options too, as (wget, one, six, wget2, the folder of wget2's last run)."""
    jobs = {
        "wget": lambda round: measured(["wget", "-q", "-r", "-np", *wget_options,
                                        "-P", os.path.join(work, f"wget-{name}-{round}"), address]),
        "one": lambda round: ours.crawl(address, 1, *our_options),
        "six": lambda round: ours.crawl(address, 6, *our_options),
    }
    folder = lambda round: os.path.join(work, f"wget2-{name}-{round}")
    if with_wget2:
        jobs["wget2"] = lambda round: measured(["wget2", "-q", "-r", "-np", *wget_options, "--max-threads", "6",
                                                "-P", folder(round), address])
    got = in_turns(jobs)
    if with_wget2:
        return got["wget"], got["one"], got["six"], got["wget2"], folder(2)
    return got["wget"], got["one"], got["six"]


def against_wget2(ours, work, name, address, wget2_options, our_options, cert):
    """wget2 -r -np with 6 threads and wget2_options, and ours with 6 connections with our_options, both
    trusting cert, in turns: the run of median wall time of each and the folder of wget2's last run,
    as (wget2, six, folder)."""
    folder = lambda round: os.path.join(work, f"wget2-{name}-{round}")
    os.environ["CURL_CA_BUNDLE"] = cert  # ours trusts the run's certificate; wget2 is told below
    try:
        got = in_turns({
            "peer": lambda round: measured(["wget2", "-q", "-r", "-np", *wget2_options, "--max-threads", "6",
                                            "--ca-certificate", cert, "-P", folder(round), address]),
            "ours": lambda round: ours.crawl(address, 6, *our_options),
        })
    finally:
        del os.environ["CURL_CA_BUNDLE"]
    return got["peer"], got["ours"], folder(2)


def saved_images(folder):
    return sum(1 for _, _, files in os.walk(folder) for f in files if f.endswith((".gif", ".jpg", ".png")))


def saved_files(folder):
    """Files of the site, not our own records."""
    return sum(1 for _, _, files in os.walk(folder) for f in files
               if not f.startswith("Fetchwright") and not f.endswith(".csv"))


def report(name, result):
    wall, cpu, rss = result
    print(f"{name:58s} {wall:8.2f} s  cpu {cpu:6.2f} s  peak {rss:6.1f} MiB", flush=True)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("build")
    ap.add_argument("--relay", default=os.environ.get(
        "FW_LATENCY_RELAY", os.path.join(here, "..", "..", "shared", "bench", "latency-relay.py")))
    ap.add_argument("--delay-ms", type=float, default=10.0)
    ap.add_argument("--only", nargs="*",
                    default=["site", "direct", "ranged", "waiting", "memory", "https", "cookies", "docs",
                             "docs-https"])
    a = ap.parse_args()

    work = tempfile.mkdtemp(prefix="fw-bench-")
    processes = []
    try:
        root = os.path.join(work, "site")
        generate_site(root)
        tls_port = free_port() if "https" in a.only or "docs-https" in a.only else None
        nginx, port = start_nginx(work, root, tls_port)
        processes.append(nginx)
        relay_port = free_port()
        processes.append(subprocess.Popen([sys.executable, a.relay, str(relay_port), str(port),
                                           "--delay-ms", str(a.delay_ms)]))
        wait_for_port(relay_port)
        relayed = f"http://127.0.0.1:{relay_port}/index.html"
        direct = f"http://127.0.0.1:{port}/index.html"
        site = ["--depth", "3", "--exts", ".gif;.jpg;.png"]
        ours = Ours(a.build, work)
        print(f"relay delay {a.delay_ms:g} ms; site of {SECTIONS * (PAGES_PER_SECTION + 1)} pages and "
              f"{SECTIONS * (PAGES_PER_SECTION + 1) * IMAGES_PER_PAGE} images", flush=True)

        if "site" in a.only:
            got = in_turns({
                "wget": lambda round: measured(["wget", "-q", "-r", "-l", "3", "-np", "-A", "gif,jpg,png,html",
                                                "-P", os.path.join(work, f"wget-site-{round}"), relayed]),
                "wget2": lambda round: measured(["wget2", "-q", "-r", "-l", "3", "-np", "-A", "gif,jpg,png,html",
                                                 "--max-threads", "6", "-P", os.path.join(work, f"wget2-site-{round}"),
                                                 relayed]),
                "six": lambda round: ours.crawl(relayed, 6, *site),
            })
            wget, peer, six = got["wget"], got["wget2"], got["six"]
            report("site through the relay: wget -r -l 3 -np, median of 3", wget)
            report(f"site through the relay: wget2, 6 threads ({saved_images(os.path.join(work, 'wget2-site-2'))} "
                   "images), median of 3", peer)
            report(f"site through the relay: ours, 6 connections ({saved_images(ours.last)} images), median of 3", six)
            # One connection waits out every round trip; once is enough to see it.
            one = ours.crawl(relayed, 1, *site)
            report("site through the relay: ours, 1 connection, once", one)
            print(f"    ours(6) / wget = {six[0] / wget[0]:.2f}   ours(6) / wget2 = {six[0] / peer[0]:.2f}   "
                  f"ours(6) / ours(1) = {six[0] / one[0]:.2f}")
        if "direct" in a.only:
            wget, one, six, peer, peer_folder = against_wget(ours, work, "direct", direct,
                                                             ["-l", "3", "-A", "gif,jpg,png,html"], site, True)
            ours_images, peer_images = saved_images(ours.last), saved_images(peer_folder)
            report("site without the relay: wget -r -l 3 -np, median of 3", wget)
            report(f"site without the relay: wget2, 6 threads ({peer_images} images), median of 3", peer)
            report("site without the relay: ours, 1 connection, median of 3", one)
            report(f"site without the relay: ours, 6 connections ({ours_images} images), median of 3", six)
            # wget2 saves fewer images: the two are compared by time per image saved.
            per_image = (six[0] / max(1, ours_images)) / (peer[0] / max(1, peer_images))
            print(f"    ours(6) / ours(1) = {six[0] / one[0]:.2f}   ours(6) / wget = {six[0] / wget[0]:.2f}   "
                  f"ours(6) / wget2 per image saved = {per_image:.2f}")
        big = ["--depth", "1", "--exts", ".bin"]
        big_relayed = f"http://127.0.0.1:{relay_port}/big.html"
        if "ranged" in a.only:
            one = ours.crawl(big_relayed, 1, *big)
            report("256 MiB ranged file through the relay: 1 connection", one)
            six = ours.crawl(big_relayed, 6, *big)
            report("256 MiB ranged file through the relay: 6 connections", six)
            print(f"    6 / 1 = {six[0] / one[0]:.2f}")
        if "waiting" in a.only:
            # The share of CPU time, not the wall time, is what is compared: the median of 3 of that.
            runs = [ours.crawl(f"http://127.0.0.1:{port}/slow/index.html", 16, "--depth", "1", "--exts", ".gif")
                    for _ in range(3)]
            shares = sorted(100 * cpu / wall for wall, cpu, _ in runs)
            report("16 slow files, 16 connections, last of 3", runs[-1])
            print(f"    CPU while waiting {shares[1]:.1f} % (median of 3; {shares[0]:.1f} to {shares[2]:.1f} %)")
        if "memory" in a.only:
            report("site through the relay, 16 connections", ours.crawl(relayed, 16, *site))
            report("256 MiB ranged file, no relay, 16 connections",
                   ours.crawl(f"http://127.0.0.1:{port}/big.html", 16, *big))
        cert = os.path.join(work, "cert.pem")
        tls_relay = None
        if tls_port:
            tls_relay = free_port()
            processes.append(subprocess.Popen([sys.executable, a.relay, str(tls_relay), str(tls_port),
                                               "--delay-ms", str(a.delay_ms)]))
            wait_for_port(tls_relay)
        if "https" in a.only:
            secure = f"https://127.0.0.1:{tls_relay}/index.html"
            peer, six, peer_folder = against_wget2(ours, work, "https", secure, ["-l", "3", "-A", "gif,jpg,png,html"],
                                                   site, cert)
            report(f"https through the relay: wget2, 6 threads ({saved_images(peer_folder)} images), median of 3",
                   peer)
            report(f"https through the relay: ours, 6 connections ({saved_images(ours.last)} images), median of 3",
                   six)
            print(f"    ours(6) / wget2 = {six[0] / peer[0]:.2f}")
        if "cookies" in a.only:
            flood = f"http://127.0.0.1:{port}/cookies/index.html"
            options = ["--depth", "1", "--exts", ".gif", "--keep-cookies"]
            wget, one, six = against_wget(ours, work, "cookies", flood, ["-l", "1", "-A", "gif,html"], options)
            what = f"{COOKIE_FILES} files, {COOKIES_PER_ANSWER} new cookies each answer"
            report(f"{what}: wget, median of 3", wget)
            report(f"{what}: ours, 1 connection, median of 3", one)
            report(f"{what}: ours, 6 connections, median of 3", six)
            print(f"    ours(1) / wget = {one[0] / wget[0]:.2f}   ours(6) / ours(1) = {six[0] / one[0]:.2f}")
        # Every file of the documentation: any extension, no depth limit, below its top folder.
        everything = ["--depth", "0", "--exts", "", "--scope", "1"]
        if "docs" in a.only:
            for name in DOCS:
                top = f"http://127.0.0.1:{port}/{name}/index.html"
                wget, one, six = against_wget(ours, work, name, top, ["-l", "inf"], everything)
                files = saved_files(ours.last)
                report(f"{name} docs ({files} files): wget -r -l inf -np, median of 3", wget)
                report(f"{name} docs: ours, 1 connection, median of 3", one)
                report(f"{name} docs: ours, 6 connections, median of 3", six)
                print(f"    ours(6) / ours(1) = {six[0] / one[0]:.2f}   ours(6) / wget = {six[0] / wget[0]:.2f}")
        if "docs-https" in a.only:
            top = f"https://127.0.0.1:{tls_relay}/gimp/index.html"
            peer, six, peer_folder = against_wget2(ours, work, "gimp", top, ["-l", "inf"], everything, cert)
            report(f"gimp docs over https through the relay: wget2, 6 threads ({saved_files(peer_folder)} files), "
                   "median of 3", peer)
            report(f"gimp docs over https through the relay: ours, 6 connections ({saved_files(ours.last)} files), "
                   "median of 3", six)
            print(f"    ours(6) / wget2 = {six[0] / peer[0]:.2f}")
    finally:
        for process in processes:
            process.terminate()
            process.wait()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
