#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and UBSan, and runs
# every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELKARHUB_SANITIZE=ON
cmake --build build-test
# The fuzz runs load every core for a minute; they run after the others so that the
# end-to-end tests keep their timing.
ctest --test-dir build-test --output-on-failure -j "$(nproc)" -LE fuzz
ctest --test-dir build-test --output-on-failure -j "$(nproc)" -L fuzz
