#!/usr/bin/env bash
# The test command: installs what is missing, builds, runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
cd build
ctest -j"$(nproc)" --output-on-failure --timeout 600
