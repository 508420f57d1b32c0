#!/usr/bin/env bash
# Faults around the Linux program, one after the other in one run: a cloud answering 500,
# garbage, nothing and slowly to the polls; a report lost to a 500; a printer dropping the
# connection mid-job; a printer out of paper; printers that answer the paper question with
# another byte, answer nothing, or read nothing; a cloud that swells its answer, redirects to
# plain text, smuggles a header line into a task key, or trickles its answer. The service
# must keep going, never report a task it did not deliver as printed, never send what it must
# not, and never print a task twice.
# Usage: faults_linux.sh <quorvel-print> <quorvel-sim>
set -u
PROGRAM=$1
SIM=$2
SUITE=faults
source "$(dirname "$0")/lib.sh"

start_sim --printers 127.0.0.43,127.0.0.44
set_config au_row 1

start_service
wait_for 30 'len(lists) >= 1' || fail "the service did not start talking to the cloud"

# 1. Polls failing in every way the cloud can fail; the task comes through afterwards.
api POST /faults '[{"kind": "http500", "count": 2, "endpoint": "wait"},
                   {"kind": "non_json", "count": 2, "endpoint": "wait"},
                   {"kind": "empty", "count": 1, "endpoint": "wait"},
                   {"kind": "drop", "count": 1, "endpoint": "wait"},
                   {"kind": "slow", "count": 1, "delay_ms": 2500, "endpoint": "wait"}]' >/dev/null ||
  fail "cannot queue the poll faults"
add_task f-after-poll-faults 127.0.0.43 3 1
reported f-after-poll-faults 90
[ "$(api GET /faults)" = "[]" ] || fail "not every poll fault was met: $(api GET /faults)"

# 2. The report of a printed task is answered with 500: printed once, never reprinted.
api POST /faults '{"kind": "http500", "count": 1, "endpoint": "report"}' >/dev/null
add_task f-report-500 127.0.0.43 3 1
wait_for 60 "any('f-report-500' in ' '.join(j['lines']) for j in jobs)" ||
  fail "f-report-500 was not printed"

# 3. A printer that drops the connection after 100 bytes of a 1.2 MB job: more than the
# socket buffers hold, so the drop comes while the service is still sending, however late
# the simulator gets to it. (A drop after the last byte went out can only be seen as a reset
# within the short wait after the job.)
api POST /printers/127.0.0.44 '{"drop_after_bytes": 100, "drop_jobs": 1}' >/dev/null
add_task f-dropped 127.0.0.44 300 2 2000
reported f-dropped 60

# 4. Out of paper: asked first, the printer says so; the ticket is not sent and fails.
api POST /printers/127.0.0.43 '{"paper_out": true}' >/dev/null
add_task f-paper-out 127.0.0.43 3 1
reported f-paper-out 60
api POST /printers/127.0.0.43 '{"paper_out": false}' >/dev/null

# 5. A printer that answers the paper question with another byte (its print head's
# temperature, 45) has paper; one that answers no question at all takes the ticket and
# acknowledges every byte. Both print and are reported printed.
api POST /printers/127.0.0.43 '{"paper_reply": 45}' >/dev/null
add_task f-hot-head 127.0.0.43 3 1
api POST /printers/127.0.0.44 '{"mute": true}' >/dev/null
add_task f-mute 127.0.0.44 3 1
reported f-hot-head 60
reported f-mute 60
api POST /printers/127.0.0.43 '{"paper_reply": -1}' >/dev/null
api POST /printers/127.0.0.44 '{"mute": false}' >/dev/null

# 6. Printers that accept the connection and read nothing: one with the usual buffers gets
# 1.2 MB, more than its window takes; one advertising a (nearly) zero window gets 10 KB. Our
# side buffers all of it; neither ticket is delivered, and both must be reported failed.
api POST /printers/127.0.0.44 '{"stall": true}' >/dev/null
add_task f-stalled 127.0.0.44 300 2 2000
reported f-stalled 60
api POST /printers/127.0.0.44 '{"stall": false}' >/dev/null
api POST /printers/127.0.0.43 '{"stall": true, "receive_buffer": 1024}' >/dev/null
sleep 1  # the new window applies from the next listener on
add_task f-zero-window 127.0.0.43 10 1 1000
reported f-zero-window 60
api POST /printers/127.0.0.43 '{"stall": false, "receive_buffer": 0}' >/dev/null

# 7. The cloud: an answer of 100 MB is given up at the limit, without holding it in memory; a
# redirect to plain http is not followed; a task key carrying a line break and a header of
# its own never reaches a request. The service polls on afterwards.
echo "memory before the large answer: $(service_memory_peak)"
api POST /faults "[{\"kind\": \"huge\", \"size_mb\": 100, \"endpoint\": \"wait\"},
                   {\"kind\": \"redirect\", \"location\": \"$admin/plain/wait\", \"endpoint\": \"wait\"}]" \
  >/dev/null || fail "cannot queue the cloud faults"
task_json f-smuggled 127.0.0.43 3 1 | python3 -c '
import json, sys
task = json.load(sys.stdin)
task["uni_key"] += "\r\nX-Smuggled: yes"
print(json.dumps(task, ensure_ascii=False))' | post_tasks
wait_for 60 "any('f-smuggled' in ' '.join(j['lines']) for j in jobs)" || fail "f-smuggled was not printed"
echo "memory after the large answer: $(service_memory_peak)"
[ "$(api GET /faults)" = "[]" ] || fail "not every cloud fault was met: $(api GET /faults)"

# 8. An answer trickled at 2 bytes a second: the poll is given up at the limit of the whole
# exchange (4 x 30 s), and the service polls and prints again.
api POST /faults '{"kind": "trickle", "bytes_per_second": 2, "endpoint": "wait"}' >/dev/null
trickle_start=$SECONDS
wait_for 30 "any(r.get('fault') == 'trickle' for r in get('/requests'))" ||
  fail "the trickled answer was never asked for"
add_task f-after-trickle 127.0.0.43 3 1
reported f-after-trickle 200
echo "a trickled answer held the service for about $((SECONDS - trickle_start)) s"

# 9. And the service is still well: a last task prints.
add_task f-last 127.0.0.44 3 2
reported f-last 60
sleep 3  # a late second print or report would show now

python3 - "$admin" <<'EOF' || fail "outcomes wrong (see above)"
import json, sys, urllib.request
admin = sys.argv[1]
get = lambda p: json.load(urllib.request.urlopen(admin + p, timeout=10))
reports, jobs = get("/reports"), get("/jobs")
stats = {}
for r in reports:
    stats.setdefault(r["uk"], []).append(r["stat"])
def jobs_of(key):
    return [j for j in jobs if any(l.startswith(key + " ") for l in j["lines"])]
problems = []
def want(cond, text):
    if not cond:
        problems.append(text)
for key in ("f-after-poll-faults", "f-last"):
    want(stats.get(key) == ["1"], f"{key}: reports {stats.get(key)}, want [1]")
    js = jobs_of(key)
    want(len(js) == 1 and not js[0]["dropped"] and js[0]["printed"], f"{key}: jobs {js}")
want("f-report-500" not in stats, f"f-report-500: the cloud should have no report: {stats.get('f-report-500')}")
want(len(jobs_of("f-report-500")) == 1, "f-report-500 printed more or less than once")
want(stats.get("f-dropped") == ["-1"], f"f-dropped: reports {stats.get('f-dropped')}, want [-1]")
want(len(jobs_of("f-dropped")) == 1 and jobs_of("f-dropped")[0]["dropped"], "f-dropped: job not seen dropped")
want(stats.get("f-paper-out") == ["-1"], f"f-paper-out: reports {stats.get('f-paper-out')}, want [-1]")
want(not jobs_of("f-paper-out"), f"f-paper-out: the ticket went to a printer without paper: {jobs_of('f-paper-out')}")
for key in ("f-hot-head", "f-mute", "f-after-trickle"):
    want(stats.get(key) == ["1"], f"{key}: reports {stats.get(key)}, want [1]")
for key in ("f-stalled", "f-zero-window"):
    want(stats.get(key) == ["-1"], f"{key}: reports {stats.get(key)}, want [-1] (not delivered)")
smuggled = [k for k in stats if k.startswith("f-smuggled")]
want(not smuggled, f"f-smuggled was reported with its forged key: {smuggled}")
requests = get("/requests")
want(not any(r.get("plain") for r in requests), "a request followed the redirect to plain http")
want(not any("X-Smuggled" in r.get("header_names", []) for r in requests),
     "a smuggled header line reached the cloud")
want(all(len(v) == 1 for v in stats.values()), f"a task reported twice: {stats}")
for p in problems:
    print(p)
sys.exit(1 if problems else 0)
EOF
kill -0 "$service_pid" 2>/dev/null || fail "the service ended"
logs=$(run_log)
for line in "IP打印机[127.0.0.44]连接成功但是打印失败，失败状态：[数据发送失败]" \
  "IP打印机[127.0.0.43]连接成功但是打印失败，失败状态：[数据发送失败]" \
  "云端请求[/api/v2/common/local/print/wait]失败：713 读取数据失败!（应答长度超过上限" \
  "云端请求[/api/v2/common/local/print/wait]失败：711 发送请求失败!（拒绝从 HTTPS 重定向到明文 HTTP" \
  "云端请求[/api/v2/common/local/print/report]未发送：请求头 uk 含回车、换行或空字符" \
  "云端请求[/api/v2/common/local/print/wait]失败：713 读取数据失败! 200 OK（Operation timed out"; do
  grep -qF "$line" <<<"$logs" || fail "no run-log entry with: $line"
done
echo "the service rode out every fault; nothing failed was reported printed, nothing doubled"
