"""Channel coding: Viterbi decoding, Reed-Solomon (255,223) and block interleaving,
side by side with libfec (Debian's libfec, through ctypes), reedsolo, galois,
scikit-commpy and NumPy.

Run: python bench/bench_coding.py [--quick]

korvana calls pass preallocated out= buffers. libfec is called through ctypes with
precomputed addresses, so both sides pay one foreign call per codeword or record.
Ratios above 1 mean korvana is faster.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import time
from pathlib import Path

os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")

import numpy as np  # noqa: E402

sys.path.insert(0, str(Path(__file__).parent))
from _timing import best_time, parse_args  # noqa: E402

from korvana import coding  # noqa: E402


def load_libfec():
    for name in (ctypes.util.find_library("fec"), "/usr/lib/x86_64-linux-gnu/libfec.so", "libfec.so.0"):
        if not name:
            continue
        try:
            lib = ctypes.CDLL(name)
        except OSError:
            continue
        vp = ctypes.c_void_p
        for r in ("27", "39"):
            getattr(lib, f"create_viterbi{r}").restype = vp
            getattr(lib, f"create_viterbi{r}").argtypes = [ctypes.c_int]
            getattr(lib, f"init_viterbi{r}").argtypes = [vp, ctypes.c_int]
            getattr(lib, f"update_viterbi{r}_blk").argtypes = [vp, vp, ctypes.c_int]
            getattr(lib, f"chainback_viterbi{r}").argtypes = [vp, vp, ctypes.c_uint, ctypes.c_uint]
            getattr(lib, f"delete_viterbi{r}").argtypes = [vp]
        lib.encode_rs_8.argtypes = [vp, vp, ctypes.c_int]
        lib.encode_rs_8.restype = None
        lib.decode_rs_8.argtypes = [vp, vp, ctypes.c_int, ctypes.c_int]
        lib.decode_rs_8.restype = ctypes.c_int
        return lib
    return None


LIBFEC = load_libfec()
try:
    import reedsolo
except ImportError:
    reedsolo = None
try:
    import galois
except ImportError:
    galois = None
try:
    import commpy.channelcoding as commpy_cc
except Exception:  # optional peer; it may not import with every NumPy
    commpy_cc = None

NAN = float("nan")


def row(label, ours, peers):
    """ours / peers: rates (higher is better); prints ratios ours / peer."""
    cells = [f"{label:<38}", f"{ours:>12.4g}"]
    for name, rate in peers:
        ratio = ours / rate if rate == rate and rate > 0 else NAN
        cells.append(f"{name} {rate:>10.4g} (x{ratio:6.2f})")
    print("  ".join(cells))


def awgn_soft(rng, sym, rate, ebn0_db):
    sigma = np.sqrt(1.0 / (2.0 * rate * 10 ** (ebn0_db / 10.0)))
    y = 1.0 - 2.0 * sym + sigma * rng.standard_normal(sym.size)
    return (2.0 * y / sigma ** 2).astype(np.float32), y


def libfec_viterbi(r, nbits, y):
    """Mbit/s of libfec's viterbi{r}: 8-bit offset-binary symbols (0 strong 0, 255 strong 1)."""
    if LIBFEC is None:
        return NAN
    n = 2 if r == "27" else 3
    k = 7 if r == "27" else 9
    tail = k - 1
    q = np.clip(128 - 64 * y[: n * nbits], 0, 255).astype(np.uint8)
    syms = np.concatenate([q, np.zeros(n * tail, np.uint8)])
    data = np.zeros(nbits // 8 + 1, np.uint8)
    vp = getattr(LIBFEC, f"create_viterbi{r}")(nbits)
    init = getattr(LIBFEC, f"init_viterbi{r}")
    update = getattr(LIBFEC, f"update_viterbi{r}_blk")
    chain = getattr(LIBFEC, f"chainback_viterbi{r}")
    ps, pd = syms.ctypes.data, data.ctypes.data

    def run():
        init(vp, 0)
        update(vp, ps, nbits + tail)
        chain(vp, pd, nbits, 0)

    t = best_time(run)
    getattr(LIBFEC, f"delete_viterbi{r}")(vp)
    return nbits / t / 1e6


def commpy_viterbi(poly, k, nbits, sym):
    if commpy_cc is None:
        return NAN
    try:
        tr = commpy_cc.Trellis(np.array([k - 1]), np.array([poly]))
        code = sym[: len(poly) * nbits].astype(int)
        t0 = time.perf_counter()
        commpy_cc.viterbi_decode(code, tr, tb_depth=5 * k, decoding_type="hard")
        return nbits / (time.perf_counter() - t0) / 1e6
    except Exception:
        return NAN


def bench_viterbi(quick, rng):
    print("Viterbi decoding, Mbit/s of decoded bits (BPSK over AWGN at Eb/N0 = 4 dB)")
    nbits = 20_000 if quick else 1_000_000
    for poly, k, r in (([0o171, 0o133], 7, "27"), ([0o557, 0o663, 0o711], 9, "39")):
        bits = rng.integers(0, 2, nbits).astype(np.uint8)
        sym = coding.ConvEncoder(poly, k=k).encode(bits)
        soft, y = awgn_soft(rng, sym, 1.0 / len(poly), 4.0)
        fec = libfec_viterbi(r, nbits, y)
        cp = commpy_viterbi(poly, k, 2000 if not quick else 500, sym)
        for depth in sorted({35, 5 * k}):
            v = coding.Viterbi(poly, k=k, depth=depth)
            out = np.empty(nbits, np.uint8)

            def run():
                v.reset()
                v.decode(soft, out=out)

            rate = nbits / best_time(run) / 1e6
            v.reset()
            dec = v.decode(soft)
            ber = float(np.mean(dec != bits[: dec.size]))
            peers = [(f"libfec viterbi{r}", fec)]
            if cp == cp:
                peers.append(("commpy", cp))
            row(f"K={k} rate 1/{len(poly)} depth {depth} (BER {ber:.1e})", rate, peers)


def bench_rs(quick, rng):
    print("Reed-Solomon (255,223), codewords/s (CCSDS field, roots and stride, as libfec's rs_8)")
    rs = coding.ReedSolomon(nroots=32, field_poly=0x87, first_root=112, root_stride=11)
    m = 50 if quick else 2000
    info = rng.integers(0, 256, (m, 223)).astype(np.uint8)
    cws = np.stack([rs.encode(i) for i in info])
    out = np.empty(255, np.uint8)

    def enc():
        for i in info:
            rs.encode(i, out=out)

    ours_enc = m / best_time(enc)
    corrupted = cws.copy()
    for w in corrupted:
        pos = rng.choice(255, 16, replace=False)
        w[pos] ^= rng.integers(1, 256, 16).astype(np.uint8)
    work = corrupted.copy()

    def dec_clean():
        for w in cws:
            rs.decode(w)

    def timed_errors(decode_rows):
        best = float("inf")
        for _ in range(3 if quick else 5):
            np.copyto(work, corrupted)
            t0 = time.perf_counter()
            decode_rows()
            best = min(best, time.perf_counter() - t0)
        return m / best

    ours_clean = m / best_time(dec_clean)
    ours_err = timed_errors(lambda: [rs.decode(w) for w in work])
    assert np.array_equal(work, cws), "korvana failed to correct 16 errors"

    fec_enc = fec_clean = fec_err = NAN
    if LIBFEC is not None:
        buf = info.copy()
        par = np.empty((m, 32), np.uint8)
        addrs = [(buf[i].ctypes.data, par[i].ctypes.data) for i in range(m)]
        enc_rs = LIBFEC.encode_rs_8

        def fenc():
            for a, p in addrs:
                enc_rs(a, p, 0)

        fec_enc = m / best_time(fenc)
        assert np.array_equal(par, cws[:, 223:]), "libfec parity differs from korvana's"
        dec_rs = LIBFEC.decode_rs_8
        clean_addrs = [w.ctypes.data for w in cws]
        fec_clean = m / best_time(lambda: [dec_rs(a, None, 0, 0) for a in clean_addrs])
        work_addrs = [w.ctypes.data for w in work]
        fec_err = timed_errors(lambda: [dec_rs(a, None, 0, 0) for a in work_addrs])
        assert np.array_equal(work, cws), "libfec failed to correct 16 errors"

    rso_enc = rso_clean = rso_err = NAN
    if reedsolo is not None:
        rsc = reedsolo.RSCodec(nsym=32, nsize=255, fcr=112, prim=0x187, generator=2, c_exp=8)
        # reedsolo's roots are generator**(fcr+i); alpha**11 as its generator gives the
        # CCSDS stride.
        beta = 1
        for _ in range(11):
            beta <<= 1
            if beta & 0x100:
                beta ^= 0x187
        rsc = reedsolo.RSCodec(nsym=32, nsize=255, fcr=112, prim=0x187, generator=beta, c_exp=8)
        few = 10 if quick else 100
        msgs = [bytearray(i.tobytes()) for i in info[:few]]
        rso_enc = few / best_time(lambda: [rsc.encode(mm) for mm in msgs], repeats=2)
        clean = [bytearray(w.tobytes()) for w in cws[:few]]
        rso_clean = few / best_time(lambda: [rsc.decode(w) for w in clean], repeats=2)
        bad = [bytearray(w.tobytes()) for w in corrupted[:few]]
        rso_err = few / best_time(lambda: [rsc.decode(w) for w in bad], repeats=2)

    gal_enc = gal_clean = gal_err = NAN
    if galois is not None and not quick:  # its first calls compile for tens of seconds
        GF = galois.GF(2 ** 8, irreducible_poly=0x187, primitive_element=2)
        grs = galois.ReedSolomon(255, 223, field=GF, alpha=GF(2) ** 11, c=112)
        ginfo, gcw, gbad = GF(info), GF(cws), GF(corrupted)
        assert np.array_equal(np.asarray(grs.encode(ginfo)), cws), "galois parity differs"
        gal_enc = m / best_time(lambda: grs.encode(ginfo), repeats=3)
        gal_clean = m / best_time(lambda: grs.decode(gcw), repeats=3)
        gal_err = m / best_time(lambda: grs.decode(gbad), repeats=3)

    def peers(f, r, g):
        out = [("libfec", f), ("reedsolo", r)]
        return out + [("galois (batched)", g)] if g == g else out

    row("encode", ours_enc, peers(fec_enc, rso_enc, gal_enc))
    row("decode, clean codeword", ours_clean, peers(fec_clean, rso_clean, gal_clean))
    row("decode, 16 symbol errors", ours_err, peers(fec_err, rso_err, gal_err))


def bench_interleaver(quick, rng):
    print("Block interleaving, Melements/s, against the NumPy reshape/transpose copy")
    blocks = 4 if quick else 64
    for rows, cols, unit, dtype, method in (
        (64, 64, 1, np.uint8, "interleave"),
        (255, 8, 1, np.uint8, "interleave"),
        (16, 223, 8, np.uint8, "interleave"),
        (64, 64, 1, np.float32, "deinterleave_soft"),
        (8, 255, 1, np.float32, "deinterleave_soft"),
    ):
        il = coding.Interleaver(rows=rows, cols=cols, unit_bits=unit)
        n = rows * cols * unit * blocks
        x = (rng.integers(0, 2, n) if dtype == np.uint8 else rng.standard_normal(n)).astype(dtype)
        out = np.empty(n, dtype)
        fn = getattr(il, method)
        ours = n / best_time(lambda: fn(x, out=out)) / 1e6
        if method == "interleave":
            src = x.reshape(blocks, rows, cols, unit)
            dst = out.reshape(blocks, cols, rows, unit)
        else:
            src = x.reshape(blocks, cols, rows, unit)
            dst = out.reshape(blocks, rows, cols, unit)
        view = src.transpose(0, 2, 1, 3)
        peer = n / best_time(lambda: np.copyto(dst, view)) / 1e6
        ref = view.reshape(-1).copy()
        assert np.array_equal(fn(x, out=out), ref)
        row(f"{method} {rows}x{cols} unit {unit} {np.dtype(dtype).name}", ours, [("numpy", peer)])


def main():
    args = parse_args(__doc__)
    rng = np.random.default_rng(2026)
    if LIBFEC is None:
        print("(libfec not found: its columns are nan)")
    bench_viterbi(args.quick, rng)
    bench_rs(args.quick, rng)
    bench_interleaver(args.quick, rng)


if __name__ == "__main__":
    main()
