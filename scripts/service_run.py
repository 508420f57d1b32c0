"""Runs the Linux print service against quorvel-sim for the by-hand measurements
(scripts/soak, scripts/burst, bench/footprint): builds both (Release), starts them in a fresh
directory, adds tasks, reads the simulator's records and the service's /proc figures, stops
both."""
import json
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import urllib.request

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CLK_TCK = os.sysconf("SC_CLK_TCK")
PAGE = os.sysconf("SC_PAGE_SIZE")


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


RELEASE_BUILD = "build/linux-release"


def add_build_options(parser):
    parser.add_argument("--build", default=RELEASE_BUILD,
                        help=f"build directory (default {RELEASE_BUILD}, built first)")
    parser.add_argument("--no-build", action="store_true",
                        help="use the programs already built in the build directory")


def build_release(args):
    """Builds quorvel-print and quorvel-sim with the linux-release preset, configuring it
    first when needed; nothing when --no-build or another build directory was given."""
    if args.no_build or os.path.normpath(args.build) != os.path.normpath(RELEASE_BUILD):
        return
    build = os.path.join(ROOT, RELEASE_BUILD)
    steps = [["cmake", "--build", build, "--target", "quorvel-print", "quorvel-sim"]]
    if not os.path.exists(os.path.join(build, "build.ninja")):
        steps.insert(0, ["cmake", "--preset", "linux-release"])
    print(f"building quorvel-print and quorvel-sim in {RELEASE_BUILD}", flush=True)
    for step in steps:
        done = subprocess.run(step, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              text=True)
        if done.returncode != 0:
            raise SystemExit(done.stdout[-4000:] + f"\n{' '.join(step)} failed")


def find_build(build, program=None, sim=None):
    program = program or os.path.join(ROOT, build, "app", "quorvel-print")
    sim = sim or os.path.join(ROOT, build, "tools", "sim", "quorvel-sim")
    for f in (program, sim):
        if not os.access(f, os.X_OK):
            raise SystemExit(f"{f} is missing: build quorvel-print and quorvel-sim in {build}")
    return program, sim


class ServiceRun:
    def __init__(self, build, printers, program=None, sim=None):
        self.program, self.sim_binary = find_build(build, program, sim)
        self.work = tempfile.mkdtemp(prefix="qv-run-")
        self.run_dir = os.path.join(self.work, "run")
        self.printers = printers
        self.sim = self.service = None

    def start(self, poll_seconds=1):
        admin_port, cloud_port = free_port(), free_port()
        self.admin = f"http://127.0.0.1:{admin_port}"
        os.makedirs(self.run_dir)
        self.sim_log = open(os.path.join(self.work, "sim.log"), "w")
        self.sim = subprocess.Popen(
            [self.sim_binary, "demo", "--tasks", "0", "--quiet-receipts", "--dir",
             os.path.join(self.work, "sim"), "--cloud-port", str(cloud_port), "--admin-port",
             str(admin_port), "--write-config", self.run_dir, "--poll-seconds",
             str(poll_seconds), "--printers", ",".join(self.printers), "--max-per-poll", "100"],
            stdout=self.sim_log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        for _ in range(100):
            if "[sim] ready" in open(self.sim_log.name).read():
                break
            if self.sim.poll() is not None:
                raise SystemExit("quorvel-sim did not start:\n" + open(self.sim_log.name).read())
            time.sleep(0.1)
        shutil.copy(self.program, os.path.join(self.run_dir, "quorvel-print"))
        runtime = os.path.join(self.work, "runtime")
        os.makedirs(runtime, mode=0o700)
        self.service = subprocess.Popen(
            ["./quorvel-print", "--headless"], cwd=self.run_dir,
            env=dict(os.environ, XDG_RUNTIME_DIR=runtime),
            stdout=open(os.path.join(self.work, "service.out"), "w"), stderr=subprocess.STDOUT,
            stdin=subprocess.DEVNULL)

    def get(self, path):
        with urllib.request.urlopen(self.admin + path, timeout=30) as r:
            return json.load(r)

    def add(self, tasks):
        data = json.dumps(tasks, ensure_ascii=False).encode()
        req = urllib.request.Request(self.admin + "/tasks", data=data, method="POST",
                                     headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(req, timeout=30) as r:
            return json.load(r)["keys"]

    def delete_faults(self):
        req = urllib.request.Request(self.admin + "/faults", method="DELETE")
        with urllib.request.urlopen(req, timeout=30) as r:
            r.read()

    def proc_figures(self):
        """CPU seconds (user+system), resident and peak resident memory in KiB."""
        with open(f"/proc/{self.service.pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        cpu = (int(fields[11]) + int(fields[12])) / CLK_TCK
        status = {}
        with open(f"/proc/{self.service.pid}/status") as f:
            for line in f:
                k, _, v = line.partition(":")
                status[k] = v.strip()
        return cpu, int(status["VmRSS"].split()[0]), int(status["VmHWM"].split()[0])

    def alive(self):
        return self.service.poll() is None

    def stop(self):
        for p in (self.service, self.sim):
            if p and p.poll() is None:
                p.send_signal(signal.SIGTERM)
                try:
                    p.wait(10)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()

    def cleanup(self, keep=False):
        self.stop()
        if not keep:
            shutil.rmtree(self.work, ignore_errors=True)


def receipt_task(key, printer, lines=20, copies=1):
    content = [{"type": 1, "bold": 1, "align": 2, "widthEnlarge": 1, "heightEnlarge": 1,
                "text": f"{key} 桂香楼"}]
    content += [{"type": 1, "bold": 0, "align": 1, "text": f"{key} 第{i}行 宫保鸡丁 x1 38.00"}
                for i in range(lines - 1)]
    return {"uni_key": key, "print_type": 1, "print_sn": printer, "print_num": copies,
            "print_content": content}


def check_exactly_once(run, keys, lines=20):
    """Problems with the tasks `keys`: each must have one whole job and one report "1"."""
    jobs, reports = run.get("/jobs"), run.get("/reports")
    whole = {k: 0 for k in keys}
    for j in jobs:
        owners = {l.split(" ")[0] for l in j["lines"]}
        if len(owners) == 1:
            key = owners.pop()
            if key in whole and len(j["lines"]) == lines and not j["dropped"]:
                whole[key] += 1
    stats = {}
    for r in reports:
        stats.setdefault(r["uk"], []).append(r["stat"])
    problems = [f"{k}: {n} whole jobs" for k, n in whole.items() if n != 1]
    problems += [f"{k}: reports {stats.get(k)}" for k in keys if stats.get(k) != ["1"]]
    return problems, jobs
