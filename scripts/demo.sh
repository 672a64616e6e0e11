#!/usr/bin/env bash
# The main job: a fresh runtime root with one user and an emulated handheld, then
# what the handheld holds.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$root/$build/bin"
export TESSALINE_HOME=${TESSALINE_HOME:-$(mktemp -d /tmp/tessaline-demo-XXXXXX)}
"$bin/tallyhop" init
"$bin/tallyhop" handheld
