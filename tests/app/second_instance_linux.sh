#!/usr/bin/env bash
# A second start while the program runs shows the single-instance message and ends at once;
# the first instance keeps running. Usage: second_instance_linux.sh <quorvel-print>
set -u
program=$1
work=$(mktemp -d)
first=
cleanup() {
  [ -n "$first" ] && kill "$first" 2>/dev/null && wait "$first" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

cp "$program" "$work/quorvel-print"
printf '[set]\r\nsid=10001\r\nserver=127.0.0.1:9\r\naurunpr=0\r\n' >"$work/config.ini"
export XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_RUNTIME_DIR"

"$work/quorvel-print" --headless >"$work/first.log" 2>&1 &
first=$!
for _ in $(seq 50); do
  [ -d "$work/log" ] && break
  sleep 0.2
done
[ -d "$work/log" ] || { echo "first instance did not start"; cat "$work/first.log"; exit 1; }

second=$(timeout 20 "$work/quorvel-print" --headless 2>&1)
rc=$?
echo "$second"
[ $rc -eq 0 ] || { echo "second instance exited with $rc"; exit 1; }
grep -q '程序已经有一个实例运行，如果找不到请在右下角系统托盘查看!' <<<"$second" || { echo "message missing"; exit 1; }
grep -q '友情提醒:' <<<"$second" || { echo "caption missing"; exit 1; }
kill -0 "$first" 2>/dev/null || { echo "first instance ended"; exit 1; }
echo "second instance refused as expected"
