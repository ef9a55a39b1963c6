#!/usr/bin/env bash
# The main job: installs what is missing, builds, prepares the demo working
# folder demo/ and starts Marrowick in it.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
scripts/install-deps.sh
scripts/build.sh

BIN=$ROOT/build/bin
DEMO=$ROOT/demo
mkdir -p "$DEMO"

# The program and the project's libraries it is linked with (found beside it).
cp -f "$BIN/Marrowick.exe" "$DEMO/"
for lib in $(ldd "$BIN/Marrowick.exe" | awk -v bin="$BIN/" 'index($3, bin) == 1 { print $3 }'); do
  cp -f "$lib" "$DEMO/"
done
# The conversion library is loaded by name at run time, not linked.
cp -f "$BIN/Omvertis.dll" "$DEMO/"

# The demo host's public key beside the program, where the encryption library
# looks for it first (the demo host below uses the matching private key).
"$BIN/hostsim" --write-public-key "$DEMO/ZelcoranHost.key"

# The background picture of the main window (kept when it is already there).
[ -f "$DEMO/img_main.bmp" ] || "$BIN/mkdemo" "$DEMO/img_main.bmp"

# The result-code table, from the demo rows.
"$BIN/mkresulttable" tools/paradox/demo-result-codes.tsv "$DEMO"

# The registry of the demo: a hive file of its own. The communication
# settings are written only when missing, so changes made in the program's
# settings dialog survive a restart.
export FENNIMARCH_HIVE=$DEMO/hklm.reg
COMM='Software\(주)Norvane\Velmontis\Communication'
if ! "$BIN/regtool" get "$COMM" Address >/dev/null 2>&1; then
  "$BIN/regtool" set "$COMM" Address 127.0.0.1
  # The port of the bundled demo host (tools/hostsim), started below.
  "$BIN/regtool" set "$COMM" PortNo 39995
fi

# Two transfer files waiting to be sent, made by the demo host's tool, when
# the send folder has none (Marrowick creates the folders; make this one now).
mkdir -p "$DEMO/send"
if ! ls "$DEMO/send" | grep -qi '^s.*\.txt$'; then
  "$BIN/hostsim" --write-transfer-file "$DEMO/send/S2601.txt" --bank 26 --records 12
  "$BIN/hostsim" --write-transfer-file "$DEMO/send/S1101.txt" --bank 11 --records 5
fi

# The bundled demo host on loopback, with the demo scenario. It ends with
# this script.
PORT=$("$BIN/regtool" get "$COMM" PortNo 2>/dev/null || echo 39995)
"$BIN/hostsim" --port "$PORT" --scenario "$ROOT/tools/hostsim/demo-scenario.json" &
HOST_PID=$!
trap 'kill $HOST_PID 2>/dev/null || true' EXIT INT TERM
sleep 0.5
echo "Demo host on 127.0.0.1:$PORT. In Marrowick: 통신 > 연결, then 접속;"
echo "log in with company code 1234 and password 1111."

# The six working sub-folders are made by Marrowick itself at start-up.
cd "$DEMO"
echo "Starting Marrowick in $DEMO (registry: $FENNIMARCH_HIVE)"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  ./Marrowick.exe
  exit $?
fi
echo "There is no display: Marrowick runs on a virtual display (xvfb-run), where it"
echo "cannot be seen. Press Ctrl+C to end it."
xvfb-run -a -s "-screen 0 1280x800x24" ./Marrowick.exe
