#!/usr/bin/env bash
# The program starts without a display and quits cleanly when asked to stop.
set -u
program="$1"
QT_QPA_PLATFORM=offscreen ZQLINK_PORTS=sim "$program" &
pid=$!
sleep 2
if ! kill -0 "$pid" 2>/dev/null; then
    echo "the program ended by itself"
    exit 1
fi
kill -TERM "$pid"
for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    kill -KILL "$pid"
    echo "the program did not quit"
    exit 1
fi
wait "$pid"
status=$?
[ "$status" -eq 0 ] || echo "exit status $status"
exit "$status"
