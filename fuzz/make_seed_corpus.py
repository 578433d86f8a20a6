#!/usr/bin/env python3
"""Writes the hand-made part of the fuzzers' seed corpus.

Each seed spells out, byte by byte, a scenario that the harness reads
(fuzz/harness/*.cpp): a plausible chart of 1- or 5-minute bars from a Sunday
evening into the sessions after it, then host calls of each kind. The fuzzers
grow everything else from these. Run from the repository root:
    python3 fuzz/make_seed_corpus.py
"""
import os
import random

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def u16(n):
    return bytes([n & 0xFF, (n >> 8) & 0xFF])


def plausible_bars(rng, count, minutes=1, volume=True):
    """Bars `minutes` apart, every eighth after a pause of 1 to 20 hours, so
    that a chart of a few dozen bars reaches into several sessions."""
    out = bytearray()
    time_code = {1: 0, 2: 1, 3: 2, 4: 3, 5: 4}[minutes]
    for k in range(count):
        code = time_code if k % 8 != 7 else rng.randrange(200, 240)
        out += bytes([code, rng.randrange(0, 200), rng.randrange(256), rng.randrange(256),
                      rng.randrange(16), rng.randrange(1, 220) if volume else 0])
    return out


def host_call_seed(rng, bars, minutes, ops):
    data = bytearray([0])  # study id: the next one
    data += u16(bars)
    data += plausible_bars(rng, bars, minutes)
    for op in ops:
        data += bytes(op)
    return bytes(data)


def write(folder, name, data):
    path = os.path.join(ROOT, folder, name)
    with open(path, "wb") as f:
        f.write(data)


def host_call_seeds(folder, rng):
    # op codes: 0 full, 1 update(any), 2/3 append, 4/5 re-form, 6 cut or replace,
    # 7 history, 8 input, 9 menu, 10 host behaviour, 11 bar count, 12 heap refusal,
    # 13 final call and fresh instance / repeated defaults pass.
    append = [2, 0] + list(plausible_bars(rng, 1))
    reform = [4, 0, 0, 5, 9, 7, 100]
    live = (append + reform + reform) * 4
    write(folder, "plain_five_minute_chart", host_call_seed(rng, 64, 5, [[0]]))
    write(folder, "five_minute_chart_live", host_call_seed(rng, 60, 5, [[0]] + [live]))
    write(folder, "menu_anchor_and_remove",
          host_call_seed(rng, 56, 5, [[9, 0, 0, 0, 100, 0x10], [9, 0, 0, 0, 100, 0x40],
                                       [9, 0, 1, 0, 100, 0x20], [9, 0, 2, 0, 100, 0], live]))
    write(folder, "inputs_changed",
          host_call_seed(rng, 52, 5, [[8, 10, 5, 3], [8, 10, 0, 3], [8, 3, 5, 1], [8, 20, 4, 0, 0, 5, 0]]))
    write(folder, "odd_host_answers",
          host_call_seed(rng, 50, 5, [[10, 0, 1], [10, 1, 1], [10, 2, 18], [0], [10, 5, 1, 0],
                                       [10, 4, 0, 11], [0], [9, 0, 0, 0, 100, 0]]))
    write(folder, "bar_count_disagrees",
          host_call_seed(rng, 54, 5, [[11, 3, 7], [11, 1, 4, 0], [11, 2, 1, 3], [11, 0, 0]]))
    write(folder, "heap_refuses",
          host_call_seed(rng, 48, 5, [[12, 1, 0, 1], [12, 3, 1, 2, 1], [0], [12, 7, 0, 0, 0]]))
    write(folder, "final_call_midway",
          host_call_seed(rng, 46, 1, [live, [13, 1, 0], [0], live, [13, 0], live]))
    write(folder, "history_rewritten_and_cut",
          host_call_seed(rng, 58, 5, [[7, 0, 3, 0, 0, 201, 0, 0, 0, 0, 0], [6, 1, 200, 1], [6, 0, 0, 4]]))


def live_seed(rng, study, warmup, live_bars, minutes_code):
    data = bytearray([study])
    data += u16(warmup)
    data += bytes([live_bars - 1])
    for _ in range(warmup + live_bars):
        data += bytes([minutes_code, rng.randrange(256), rng.randrange(256), rng.randrange(16),
                       rng.randrange(16, 256)])
    # Inputs: every slot a chosen value (marker byte 200 then value bytes).
    for _ in range(40):
        data += bytes([200] + [rng.randrange(256) for _ in range(6)])
    for _ in range(live_bars):
        data += bytes([rng.randrange(224), rng.randrange(256), rng.randrange(256), rng.randrange(4)])
    return bytes(data)


def main():
    rng = random.Random(2927)
    for folder in ("session_levels_host_calls", "anchored_vwap_host_calls"):
        host_call_seeds(folder, rng)
    for i, (study, warmup, live_bars, code) in enumerate(
            [(0, 90, 24, 0), (0, 60, 20, 4), (1, 90, 24, 0), (1, 50, 22, 4), (0, 96, 16, 160),
             (1, 80, 24, 160)]):
        write("live_equals_full", "feed_%d" % i, live_seed(rng, study, warmup, live_bars, code))


if __name__ == "__main__":
    main()
