#!/usr/bin/env bash
# Notes per second of the NFS-e sender against the national service's stand-in, with
# and without the stand-in's schema and signature checks. Usage: bench_nfse_sender.sh [N]
set -euo pipefail
build=${BUILD_DIR:-build}
n=${1:-200}
"$build/bin/bench_nfse_sender" "$n"
"$build/bin/bench_nfse_sender" "$n" --no-verify
