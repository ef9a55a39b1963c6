#!/usr/bin/env bash
# The main job: installs what is missing, builds, prepares the demo working
# folder demo/ and starts Marrowick in it.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
scripts/install-deps.sh
# Only what the demo uses: the programs and libraries below and Quenbrook
# (README); the tests and benchmarks are built by scripts/test.sh.
scripts/build.sh Marrowick Omvertis hostsim regtool mkdemo mkresulttable Quenbrook

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

# The bundled demo host on loopback, with the demo scenario, on the port of
# the demo hive. It ends with this script. When it cannot listen (the port
# is taken), stop here: Marrowick would talk to whatever holds that port.
# To the updater it reports the versions of the demo's own Omvertis.dll and
# Marrowick.exe, so Quenbrook started in demo/ finds them current.
PORT=$("$BIN/regtool" get "$COMM" PortNo 2>/dev/null || echo 39995)
HOST_LOG=$DEMO/hostsim.log
"$BIN/hostsim" --port "$PORT" --scenario "$ROOT/tools/hostsim/demo-scenario.json" \
  --versions-from "$DEMO" \
  --state "$DEMO/hostsim.state" >"$HOST_LOG" 2>&1 &
HOST_PID=$!
trap 'kill $HOST_PID 2>/dev/null || true' EXIT INT TERM
for _ in $(seq 50); do
  grep -q "listening on" "$HOST_LOG" 2>/dev/null && break
  kill -0 $HOST_PID 2>/dev/null || break
  sleep 0.1
done
if ! grep -q "listening on" "$HOST_LOG" 2>/dev/null; then
  echo "The demo host could not start on 127.0.0.1:$PORT:" >&2
  sed 's/^/  /' "$HOST_LOG" >&2
  if grep -q "cannot listen" "$HOST_LOG" 2>/dev/null; then
    echo "Free the port, or give the demo another one (the port is kept in the demo hive):" >&2
    echo "  FENNIMARCH_HIVE=$FENNIMARCH_HIVE $BIN/regtool set '$COMM' PortNo <port>" >&2
  fi
  exit 1
fi
echo "Demo host on 127.0.0.1:$PORT (its log: $HOST_LOG). In Marrowick: 통신 > 연결, then 접속;"
echo "log in with company code 1234 and password 1111."

# The six working sub-folders are made by Marrowick itself at start-up.
cd "$DEMO"
echo "Starting Marrowick in $DEMO (registry: $FENNIMARCH_HIVE)"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  ./Marrowick.exe
  exit $?
fi
# Without a display, Marrowick draws into Qt's VNC platform: any VNC viewer
# sees and works it (VNC_PORT, default 5900).
VNC_PORT=${VNC_PORT:-5900}
if (exec 3<>"/dev/tcp/127.0.0.1/$VNC_PORT") 2>/dev/null; then
  echo "There is no display, and port $VNC_PORT for the VNC view is taken: run with VNC_PORT=<free port>." >&2
  exit 1
fi
echo "There is no display: Marrowick is shown over VNC. Connect a VNC viewer to"
echo "  127.0.0.1:$VNC_PORT   (e.g. vncviewer 127.0.0.1::$VNC_PORT; from another machine, tunnel it:"
echo "  ssh -L $VNC_PORT:127.0.0.1:$VNC_PORT <this machine>). The VNC view has no password and is"
echo "open on every interface of this machine. Close Marrowick or press Ctrl+C to end."
QT_QPA_PLATFORM="vnc:size=1280x800:port=$VNC_PORT" ./Marrowick.exe
