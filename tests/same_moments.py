#!/usr/bin/env python3
"""same_moments.py KEPT_DIR SPLIT_DIR: for every SRT file of KEPT_DIR (written with Overlaps=0),
the file of the same name in SPLIT_DIR (Overlaps=2) shows the same lines at every moment, and
no two of its entries overlap. Prints the files that differ; exit status 1 when any does."""
import os
import sys


def entries(path):
    """(begin_ms, end_ms, lines) of each entry."""
    def ms(t):
        h, m, rest = t.split(':')
        s, milli = rest.split(',')
        return ((int(h) * 60 + int(m)) * 60 + int(s)) * 1000 + int(milli)
    out = []
    for block in open(path, encoding='utf-8', errors='replace', newline='').read().split('\r\n\r\n'):
        lines = block.split('\r\n')
        if len(lines) >= 2 and ' --> ' in lines[1]:
            begin, end = lines[1].split(' --> ')
            out.append((ms(begin), ms(end), lines[2:]))
    return out


def shown(cues, t):
    return sorted(line for b, e, lines in cues if b <= t < e for line in lines)


bad = 0
kept_dir, split_dir = sys.argv[1], sys.argv[2]
for name in sorted(os.listdir(kept_dir)):
    if not name.endswith('.srt'):
        continue
    kept, split = entries(os.path.join(kept_dir, name)), entries(os.path.join(split_dir, name))
    moments = sorted({t for b, e, _ in kept + split for t in (b, e)})
    differ = [t for t in moments if shown(kept, t) != shown(split, t)]
    ordered = sorted(split)
    overlap = any(a[1] > b[0] for a, b in zip(ordered, ordered[1:]))
    if differ or overlap:
        bad += 1
        print(f'{name}: ' + (f'shows other lines at {differ[0]} ms' if differ else 'entries overlap'))
sys.exit(1 if bad else 0)
