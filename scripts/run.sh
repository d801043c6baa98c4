#!/usr/bin/env bash
# Builds the program, starts the simulated hub on a loopback port and starts the program
# connected to it over Modbus TCP (TCP/IP unit 1 at 127.0.0.1). Without a display it runs
# on a virtual one (Xvfb). The data folder gets a spreadsheet template for "To Excel"
# when it has none. Environment: VELKARHUB_SIM_PORT (default 1502),
# VELKARHUB_DATA (the program's data folder, default build/run-data).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target VelkarHubInterface

port="${VELKARHUB_SIM_PORT:-1502}"
data="${VELKARHUB_DATA:-$PWD/build/run-data}"
mkdir -p "$data/VelkarHubProjects"

# The spreadsheet template that "To Excel" fills: the program never makes it, so a small
# one is made here (with LibreOffice's converter, on a profile of its own) when the data
# folder has none.
template="$data/VelkarHubProjects/VelkarHub.xlsx"
if [ ! -f "$template" ] && command -v soffice >/dev/null; then
  work="$(mktemp -d)"
  /usr/bin/python3 tools/make_template.py "$work/VelkarHub.csv"
  timeout 180 soffice "-env:UserInstallation=file://$work/profile" --headless --norestore \
    --convert-to xlsx --outdir "$data/VelkarHubProjects" "$work/VelkarHub.csv" >/dev/null 2>&1 || true
  rm -rf "$work"
  [ -f "$template" ] || echo "Could not make the spreadsheet template $template" >&2
fi

printf '[TForm1]\r\nEdit1.Text=127\r\nEdit2.Text=0\r\nEdit3.Text=0\r\nEdit4.Text=1\r\nEdit16.Text=%s\r\nEdit5.Text=1000\r\nRadioButton1.Checked=True\r\nRadioButton2.Checked=False\r\nRadioButton3.Checked=False\r\n' \
  "$port" > "$data/VelkarHubProjects/Settings.ini"

/usr/bin/python3 tools/hubsim.py --host 127.0.0.1 --tcp-port "$port" </dev/null &
sim=$!
trap 'kill "$sim" 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  kill -0 "$sim" 2>/dev/null || { echo "the hub simulator did not start" >&2; exit 1; }
  sleep 0.1
done
echo "Simulated VelkarHub listening on 127.0.0.1:$port (units 16 to 20)"

export XDG_DATA_HOME="$data"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: running on a virtual display (Xvfb)"
  xvfb-run -a -s "-screen 0 1400x1000x24" ./build/bin/VelkarHubInterface "$@"
else
  ./build/bin/VelkarHubInterface "$@"
fi
