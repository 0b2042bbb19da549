#!/usr/bin/env bash
# Sets up, builds and runs every test: once as built for use, once under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh build -DKELM_BUILD_TESTS=ON -DKELM_BUILD_BENCHMARKS=ON
(cd build && ctest --output-on-failure --no-tests=error -j2)

scripts/setup.sh build-asan -DKELM_SANITIZE=ON -DKELM_BUILD_TESTS=ON -DKELM_BUILD_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=Debug
(cd build-asan && ctest --output-on-failure --no-tests=error -j2)
