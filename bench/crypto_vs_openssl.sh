#!/usr/bin/env bash
# ECDSA sign, verify and ECDH on sect163k1 and P-256: the library's own benchmark
# (protocols_bench, Kestrel side only) and `openssl speed -seconds 2` for the same
# operations, back to back, several rounds. Prints each round's ratios and their medians
# as OpenSSL's time / ours (above 1.00: ours faster). Run by hand:
#
#   bench/crypto_vs_openssl.sh [BUILD_DIR]     (ROUNDS=N (default 5), SECONDS_EACH=N (default 2),
#                                              BENCH=path of another protocols_bench build)
#
# The build needs -DTESS_BENCH=ON. Both sides count CPU time per operation (openssl
# speed counts user time by default; the benchmark reports CPU time), so a loaded
# machine stretches both alike; the alternation evens out drift between rounds.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
bench=${BENCH:-"$root/$build/bin/protocols_bench"}
rounds=${ROUNDS:-5}
seconds=${SECONDS_EACH:-2}

[ -x "$bench" ] || { echo "crypto bench: $bench is missing; configure with -DTESS_BENCH=ON and build" >&2; exit 1; }
command -v openssl >/dev/null || { echo "crypto bench: openssl is missing" >&2; exit 1; }
command -v python3 >/dev/null || { echo "crypto bench: python3 is missing" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for ((i = 1; i <= rounds; i++)); do
    "$bench" --benchmark_filter='^Kestrel/(sign|verify|ecdh)/(sect163k1|P-256)$' \
        --benchmark_min_time="$seconds" --benchmark_out="$work/ours.$i.json" --benchmark_out_format=json \
        >/dev/null 2>&1
    # -mr: one line per curve, operations per second.
    openssl speed -mr -seconds "$seconds" ecdsak163 ecdsap256 ecdhk163 ecdhp256 >"$work/openssl.$i.txt" 2>/dev/null
    echo "round $i of $rounds done" >&2
done

python3 - "$work" "$rounds" <<'EOF'
import json, statistics, sys

work, rounds = sys.argv[1], int(sys.argv[2])
curves = {"sect163k1": 163, "P-256": 256}
ops = ["sign", "verify", "ecdh"]


def ours(i):
    with open(f"{work}/ours.{i}.json") as f:
        data = json.load(f)
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
    out = {}
    for b in data["benchmarks"]:
        _, op, curve = b["name"].split("/")
        out[(op, curve)] = b["cpu_time"] * scale[b["time_unit"]]
    return out


def openssl(i):
    # +F4:index:bits:sign/s:verify/s (ECDSA), +F5:index:bits:op/s:s/op (ECDH)
    out = {}
    with open(f"{work}/openssl.{i}.txt") as f:
        for line in f:
            parts = line.strip().split(":")
            if parts[0] == "+F4":
                bits = int(parts[2])
                out[("sign", bits)] = 1.0 / float(parts[3])
                out[("verify", bits)] = 1.0 / float(parts[4])
            elif parts[0] == "+F5":
                out[("ecdh", int(parts[2]))] = 1.0 / float(parts[3])
    return out


ratios = {(op, c): [] for c in curves for op in ops}
times = {k: ([], []) for k in ratios}
for i in range(1, rounds + 1):
    o, s = ours(i), openssl(i)
    for (op, c) in ratios:
        mine, theirs = o.get((op, c)), s.get((op, curves[c]))
        if mine and theirs:
            ratios[(op, c)].append(theirs / mine)
            times[(op, c)][0].append(mine * 1e6)
            times[(op, c)][1].append(theirs * 1e6)

print(f"OpenSSL time / ours, {rounds} rounds (above 1.00: ours faster)")
print(f"{'':12} {'op':7} {'ours us':>9} {'openssl us':>11} {'median':>7}   rounds")
for c in curves:
    for op in ops:
        r = ratios[(op, c)]
        if not r:
            print(f"{c:12} {op:7} {'-':>9} {'-':>11} {'-':>7}")
            continue
        mine, theirs = times[(op, c)]
        each = " ".join(f"{x:.2f}" for x in r)
        print(f"{c:12} {op:7} {statistics.median(mine):9.1f} {statistics.median(theirs):11.1f} "
              f"{statistics.median(r):7.2f}   {each}")
EOF
