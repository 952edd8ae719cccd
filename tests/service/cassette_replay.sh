#!/usr/bin/env bash
# Cassettes through the board service, end to end:
#   cassette_replay.sh ZELSIMD ZELSIM ANSWER_CALL EVENT_FLOW SCENARIO RUNS [CONSUMER WINDOWS_CASSETTE...]
# records the answering example through zelsimd while the scenario plays,
# replays it RUNS times with no board behind it (each must pass and serve
# the recorded requests); replays a cassette with one word changed (it must
# fail, naming the request, the closest recorded one and the word); records
# the threaded example (an event thread and two workers) and replays it
# RUNS times with --match content, through zelsim replay and through a
# zelsimd --replay of its own; replays it at recorded pace (it takes at least
# the recorded span); and serves the consumer from each cassette that a
# capture build of zel.dll (32- and 64-bit) recorded under Wine.
set -u
zelsimd=$1 zelsim=$2 answer=$3 flow=$4 scenario=$5 runs=$6 consumer=${7:-}
windows=("${@:8}")
work=$(mktemp -d)
daemons=()
holder=
cleanup() {
  [ -n "$holder" ] && kill "$holder" 2>/dev/null
  for pid in "${daemons[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

export ZEL_DEVICE_DIR=$work/dir
"$zelsimd" 2>"$work/daemon.log" & daemons+=($!)
for _ in $(seq 50); do "$zelsim" clock virtual >/dev/null 2>&1 && break; sleep 0.1; done

# The answering example ends when its input does: that input stays open
# until the scenario has played.
mkfifo "$work/input"
sleep 600 >"$work/input" & holder=$!
"$zelsim" record "$work/call.cassette" -- "$answer" --board <"$work/input" >"$work/record.out" 2>&1 & recorder=$!
sleep 0.2
"$zelsim" run "$scenario" >"$work/run.out" 2>&1 || fail "the scenario did not pass: $(cat "$work/run.out")"
kill $holder
wait $recorder || fail "zelsim record: $(cat "$work/record.out")"
recorded=$(grep -c '"kind":"request"' "$work/call.cassette")
# What the program sends after its input ends: its last poll and its closes.
tail=$(awk '/"op":"ZelDrvGetEventData"/ { last = NR } /"kind":"request"/ { n[NR] = 1 } END { c = 0; for (i in n) if (i + 0 >= last) c++; print c }' "$work/call.cassette")

passed=0
for i in $(seq "$runs"); do
  start=$(date +%s%N)
  if "$zelsim" replay "$work/call.cassette" --close-input-at "$tail" -- "$answer" --board >"$work/replay.out" 2>&1 &&
     grep -q "^$recorded requests replayed" "$work/replay.out"; then
    passed=$((passed + 1))
  else
    cat "$work/replay.out"
  fi
  echo "answer_call replay $i: $(( ($(date +%s%N) - start) / 1000000 )) ms"
done
echo "answer_call: $passed of $runs replays passed, $recorded requests each"
[ "$passed" = "$runs" ] || fail "answer_call replays"

# One word changed: the second device opened is another type.
sed '0,/"nParam2":2,/s//"nParam2":3,/' "$work/call.cassette" >"$work/changed.cassette"
"$zelsim" replay "$work/changed.cassette" --close-input-at "$tail" -- "$answer" --board >"$work/changed.out" 2>&1 &&
  fail "a changed cassette replayed"
grep -q "replay: request 4 of the program is not in the cassette" "$work/changed.out" &&
  grep -q "closest: seq" "$work/changed.out" && grep -q "nParam2" "$work/changed.out" ||
  fail "the divergence report: $(cat "$work/changed.out")"

"$zelsim" record "$work/flow.cassette" -- "$flow" --board >"$work/flow.out" 2>&1 || fail "record: $(cat "$work/flow.out")"
passed=0
for i in $(seq "$runs"); do
  "$zelsim" replay "$work/flow.cassette" --match content -- "$flow" --board >"$work/flow.out" 2>&1 &&
    passed=$((passed + 1)) || cat "$work/flow.out"
done
echo "event_flow --match content: $passed of $runs replays passed"
[ "$passed" = "$runs" ] || fail "event_flow replays"

# Recorded pace: the last request moved to 300 ms after the start; a replay
# that keeps the recorded pace cannot end sooner.
awk '/"kind":"request"/ { last = NR } { line[NR] = $0 }
     END { for (i = 1; i <= NR; i++) { if (i == last) sub(/"t":[0-9]+/, "\"t\":300000000", line[i]); print line[i] } }' \
  "$work/flow.cassette" >"$work/paced.cassette"
start=$(date +%s%N)
"$zelsim" replay "$work/paced.cassette" --match content --pace recorded -- "$flow" --board >"$work/paced.out" 2>&1 ||
  fail "--pace recorded: $(cat "$work/paced.out")"
paced=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$paced" -ge 300 ] || fail "--pace recorded took $paced ms of a 300 ms recording"
echo "--pace recorded: $paced ms for a 300 ms recording"

# A daemon that serves only the cassette, each client from its start.
export ZEL_DEVICE_DIR=$work/only
"$zelsimd" --replay "$work/flow.cassette" --match content 2>"$work/only.log" & daemons+=($!)
for _ in $(seq 50); do "$zelsim" status >/dev/null 2>&1 && break; sleep 0.1; done
for i in 1 2; do "$flow" --board >/dev/null 2>&1 || fail "zelsimd --replay, client $i: $(cat "$work/only.log")"; done
sleep 0.2
[ "$(grep -c "the replay passed" "$work/only.log")" = 2 ] || fail "zelsimd --replay: $(cat "$work/only.log")"
echo "zelsimd --replay: 2 clients served"

n=0
for cassette in "${windows[@]}"; do
  n=$((n + 1))
  export ZEL_DEVICE_DIR=$work/windows$n
  "$zelsimd" --replay "$cassette" 2>"$work/windows$n.log" & daemons+=($!)
  for _ in $(seq 50); do "$zelsim" status >/dev/null 2>&1 && break; sleep 0.1; done
  "$consumer" >"$work/consumer.out" 2>&1 ||
    fail "the consumer on $cassette: $(cat "$work/consumer.out" "$work/windows$n.log")"
  sleep 0.2
  grep -q "the replay passed" "$work/windows$n.log" || fail "$cassette: $(cat "$work/windows$n.log")"
  echo "the Windows capture $(basename "$cassette") replayed"
done
