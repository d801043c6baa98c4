#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and UBSan, and runs
# every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELKARHUB_SANITIZE=ON
cmake --build build-test
ctest --test-dir build-test --output-on-failure -j "$(nproc)"
