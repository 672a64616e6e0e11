#!/usr/bin/python3
"""Independent model of the library's FIPS 186-style random generator.

Written from the behaviour description alone, to check the C++ generator
against. Standard library only.

Usage:
  fips186_rng_model.py [--type T] [--show-key] SEED_HEX OP...
  fips186_rng_model.py --self-test

  SEED_HEX   the seed octets in hex, as given to ks_rngInit (or the 32 seed
             octets of the options list of ks_initialize, which seeds type 1).
  --type T   generator type 1, 2 or 3 (default 1). Types 2 and 3 reduce x
             modulo q in the key update; q defaults to the built-in 160-bit
             prime, --q HEX gives another (the curve order of a library
             context).
  OP is one of:
    N             draw N octets (decimal, or 0x.. hex) as one request
                  (ks_rngFIPS186Session / the internal draw)
    in:HEX        mix input in (ks_rngSeedFIPS186 / ks_fipsRngOptionalInput)
    priv:HEX:N    draw N octets after mixing HEX in (ks_rngFIPS186Private)

Output: one line per OP. A draw prints its octets in lower-case hex (an
empty line for 0 octets); an input mix prints "ok". A call refused by its
argument checks prints "error 0xNNN" with the result code, and leaves the
state as it was. With --show-key each line is followed by " key=" and XKEY
in hex (the full key, which may exceed 160 bits between an input mix and
the next step).

The seed itself is checked as ks_rngInit checks it: empty gives 0x6,
all 0x00 or all 0xFF gives 0x801, a type outside 1..3 gives 0x10; the
error is printed on the first line and nothing else runs.
"""

import hashlib
import sys

MASK160 = (1 << 160) - 1
BUILTIN_Q = 0xFEFBDC6F4581D87CAD4DB52896E6E65DBB9F339F

ERR_LENGTH_ZERO = 0x6
ERR_NULL_INPUT = 0xB
ERR_BAD_TYPE = 0x10
ERR_BAD_RANDOM = 0x801


def sha1(data):
    return hashlib.sha1(data).digest()


def bad_random(data):
    return all(b == 0x00 for b in data) or all(b == 0xFF for b in data)


class Generator:
    def __init__(self, seed, gen_type=1, q=BUILTIN_Q):
        if gen_type not in (1, 2, 3):
            self.error = ERR_BAD_TYPE
        else:
            self.error = 0
        # Seed checks come before the type check.
        if len(seed) == 0:
            self.error = ERR_LENGTH_ZERO
        elif bad_random(seed):
            self.error = ERR_BAD_RANDOM
        self.reduce_mod_q = gen_type in (2, 3)
        self.q = q
        self.xkey = int.from_bytes(sha1(seed), "big")

    def step(self):
        """One step: 20 octets out, key advanced."""
        xval = (self.xkey & MASK160).to_bytes(20, "big")
        # A complete SHA-1 digest over the 64-byte block, padding and all.
        w = sha1(xval + bytes(44))
        x = int.from_bytes(w, "big")
        if self.reduce_mod_q:
            x %= self.q
        self.xkey = (self.xkey + 1 + x) & MASK160
        return w

    def generate(self, count, digest=None):
        if count == 0:
            return b""
        if digest is not None:
            self.xkey += int.from_bytes(digest, "big")
        out = bytearray()
        for _ in range(count // 20):
            out += self.step()
        rest = count % 20
        if rest:
            out += self.step()[:rest]
        return bytes(out)

    def add_input(self, data):
        """ks_rngSeedFIPS186: returns the result code."""
        if len(data) == 0:
            return ERR_LENGTH_ZERO
        if bad_random(data):
            return ERR_BAD_RANDOM
        # Unreduced here; the next step reduces modulo 2^160.
        self.xkey += int.from_bytes(sha1(data), "big")
        return 0

    def private(self, data, count):
        """ks_rngFIPS186Private: (code, octets)."""
        if count == 0:
            return 0, b""
        if len(data) == 0:
            return 0, self.generate(count)
        if bad_random(data):
            return ERR_BAD_RANDOM, b""
        return 0, self.generate(count, sha1(data))


def parse_count(text):
    return int(text, 0)


def run(seed_hex, ops, gen_type=1, q=BUILTIN_Q, show_key=False):
    """Runs the ops and returns the output lines."""
    gen = Generator(bytes.fromhex(seed_hex), gen_type, q)
    if gen.error:
        return ["error 0x%x" % gen.error]
    lines = []
    for op in ops:
        if op.startswith("in:"):
            code = gen.add_input(bytes.fromhex(op[3:]))
            line = "ok" if code == 0 else "error 0x%x" % code
        elif op.startswith("priv:"):
            _, data_hex, count = op.split(":")
            code, out = gen.private(bytes.fromhex(data_hex), parse_count(count))
            line = out.hex() if code == 0 else "error 0x%x" % code
        else:
            line = gen.generate(parse_count(op)).hex()
        if show_key:
            line += " key=%x" % gen.xkey
        lines.append(line)
    return lines


def self_test():
    """Checks the model against properties fixed independently of it."""
    failures = []

    def check(cond, what):
        if not cond:
            failures.append(what)

    seed = bytes(range(1, 33))
    # First step by hand: key = SHA-1(seed), out = SHA-1(key || 44 zeros).
    key = sha1(seed)
    first = sha1(key + bytes(44))
    check(run(seed.hex(), ["20"])[0] == first.hex(), "first block")
    # Second step follows the key update key + 1 + w (mod 2^160).
    key2 = (int.from_bytes(key, "big") + 1 + int.from_bytes(first, "big")) & MASK160
    second = sha1(key2.to_bytes(20, "big") + bytes(44))
    check(run(seed.hex(), ["40"])[0] == (first + second).hex(), "second block")
    # Request splitting: 32 then 11 runs four steps, 43 runs three.
    split = run(seed.hex(), ["32", "11"])
    whole = run(seed.hex(), ["43"])[0]
    check(split[0] == whole[:64], "32 is a prefix of 43")
    check(split[1] != whole[64:86], "11 after 32 starts a fresh block")
    check(split[1] == run(seed.hex(), ["40", "11"])[1], "32 consumes two blocks")
    # A partial block discards its tail: 45 = two blocks + 5 octets of the third.
    three = run(seed.hex(), ["60"])[0]
    check(run(seed.hex(), ["45"])[0] == three[:90], "45 octets run three steps")
    # Zero octets: nothing drawn, key unchanged.
    check(run(seed.hex(), ["0", "20"]) == ["", first.hex()], "zero draw")
    check(run(seed.hex(), ["priv:00:0", "20"])[1] == first.hex(), "private zero draw")
    # Seed checks.
    check(run("00", ["1"]) == ["error 0x801"], "seed 00")
    check(run("0001", ["1"])[0] != "error 0x801", "seed 0001 accepted")
    check(run("ff" * 32, ["1"]) == ["error 0x801"], "seed all ff")
    check(run("00", ["1"], gen_type=4) == ["error 0x801"], "seed checked before type")
    check(run("01", ["1"], gen_type=0) == ["error 0x10"], "type 0")
    check(run("01", ["1"], gen_type=4) == ["error 0x10"], "type 4")
    # Input mixing changes the key for good and keeps equal generators equal.
    a = run(seed.hex(), ["in:abcd", "20", "20"])
    check(a[1] + a[2] == run(seed.hex(), ["in:abcd", "40"])[1], "20+20 equals 40")
    check(a[1] != first.hex(), "input changes the stream")
    mixed = (int.from_bytes(key, "big") + int.from_bytes(sha1(b"\xab\xcd"), "big")) & MASK160
    check(a[1] == sha1(mixed.to_bytes(20, "big") + bytes(44)).hex(), "input adds its digest")
    check(run(seed.hex(), ["in:0000"]) == ["error 0x801"], "input all zero")
    check(run(seed.hex(), ["priv:abcd:20"])[0] == a[1], "private = input then draw")
    check(run(seed.hex(), ["priv::20"])[0] == first.hex(), "private with empty input")
    # Types 2 and 3 output the raw digests; only the key update differs.
    t2 = run(seed.hex(), ["20", "20"], gen_type=2)
    check(t2[0] == first.hex(), "type 2 first block raw")
    x = int.from_bytes(first, "big") % BUILTIN_Q
    k2 = (int.from_bytes(key, "big") + 1 + x) & MASK160
    check(t2[1] == sha1(k2.to_bytes(20, "big") + bytes(44)).hex(), "type 2 key update")
    return failures


def main(argv):
    if argv[1:] == ["--self-test"]:
        failures = self_test()
        for f in failures:
            print("FAIL:", f)
        print("self-test", "failed" if failures else "passed")
        return 1 if failures else 0
    args = argv[1:]
    gen_type, q, show_key = 1, BUILTIN_Q, False
    while args and args[0].startswith("--"):
        opt = args.pop(0)
        if opt == "--type":
            gen_type = int(args.pop(0), 0)
        elif opt == "--q":
            q = int(args.pop(0), 16)
        elif opt == "--show-key":
            show_key = True
        else:
            print("unknown option " + opt, file=sys.stderr)
            return 2
    if not args:
        print(__doc__, file=sys.stderr)
        return 2
    for line in run(args[0], args[1:], gen_type, q, show_key):
        print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
