#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and UBSan, and runs
# every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELKARHUB_SANITIZE=ON
cmake --build build-test
# Three rounds: everything else in parallel; then the tests that drive a real office
# suite, one at a time (a cold LibreOffice takes many seconds of CPU to start); then the
# fuzz runs, which load every core for a minute. So each keeps its timing.
ctest --test-dir build-test --output-on-failure -j "$(nproc)" -LE "fuzz|office"
ctest --test-dir build-test --output-on-failure -L office
ctest --test-dir build-test --output-on-failure -j "$(nproc)" -L fuzz
