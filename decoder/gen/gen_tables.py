#!/usr/bin/env python3
"""Writes the decoder's constant tables as one C++ source.

Usage: gen_tables.py DATA_DIR OUT.cpp

DATA_DIR holds huffman.txt, synth_window.txt, sfb_bands.txt and
nr_of_sfb_block.txt. The cosine, window and alias tables are computed here and
written rounded (6 decimals for the IMDCT and alias tables, 9 for the matrixing
cosines), so that the library carries exactly the rounded constants.
"""
import math
import os
import sys


def data_lines(path):
    with open(path, encoding="ascii") as f:
        for line in f:
            line = line.strip()
            if line and not line.startswith("#"):
                yield line.split()


def parse_huffman(path):
    selects = {}
    tables = {}
    current = None
    for fields in data_lines(path):
        if fields[0] == "select":
            sel, tab, lin = int(fields[1]), fields[2], int(fields[3])
            selects[sel] = (None if tab == "none" else tab, lin)
        elif fields[0] == "linbits":
            continue
        elif fields[0] == "table":
            current = fields[1]
            tables[current] = []
        elif len(fields) == 4:
            x, y, hlen, code = int(fields[0]), int(fields[1]), int(fields[2]), fields[3]
            assert hlen == len(code)
            tables[current].append((code, (x << 4) | y))
        elif len(fields) == 6:
            v, w, x, y, hlen = (int(f) for f in fields[:5])
            code = fields[5]
            assert hlen == len(code)
            tables[current].append((code, (v << 3) | (w << 2) | (x << 1) | y))
        else:
            raise ValueError(f"unexpected line {fields}")
    assert sorted(selects) == list(range(32))
    return selects, tables


FIRST_LEVEL_BITS = 8
LATER_LEVEL_BITS = 6


def build_lookup(nodes, codes, width_limit):
    """Appends a lookup level for `codes` (bit strings relative to this level)
    and returns (width, base). Leaf entries: (length << 16) | value. Entries that
    continue into a further level: 0x80000000 | (width << 24) | base."""
    maxlen = max(len(b) for b, _ in codes)
    width = min(maxlen, width_limit)
    base = len(nodes)
    nodes.extend([None] * (1 << width))
    groups = {}
    for bits, value in codes:
        if len(bits) <= width:
            pad = width - len(bits)
            start = int(bits, 2) << pad if bits else 0
            for i in range(1 << pad):
                assert nodes[base + start + i] is None
                nodes[base + start + i] = (len(bits) << 16) | value
        else:
            groups.setdefault(bits[:width], []).append((bits[width:], value))
    for prefix, sub in sorted(groups.items()):
        child_width, child_base = build_lookup(nodes, sub, LATER_LEVEL_BITS)
        assert child_base < (1 << 24)
        nodes[base + int(prefix, 2)] = 0x80000000 | (child_width << 24) | child_base
    assert all(n is not None for n in nodes[base:base + (1 << width)]), "incomplete code"
    return width, base


def fmt(values, per_line, style):
    out = []
    for i in range(0, len(values), per_line):
        out.append("    " + " ".join(format(v, style) + "," for v in values[i:i + per_line]))
    return "\n".join(out)


def rounded(x, decimals):
    s = format(x, f".{decimals}f")
    if float(s) == 0.0:
        s = format(0.0, f".{decimals}f")
    return s


def main():
    data_dir, out_path = sys.argv[1], sys.argv[2]
    selects, tables = parse_huffman(os.path.join(data_dir, "huffman.txt"))

    nodes = []
    entry = {}
    for name in sorted(tables, key=lambda n: (len(n), n)):
        entry[name] = build_lookup(nodes, tables[name], FIRST_LEVEL_BITS)

    pair_rows = []
    for sel in range(32):
        tab, lin = selects[sel]
        if tab is None:
            pair_rows.append((0, 0, 0, 0))
        else:
            width, base = entry[tab]
            pair_rows.append((1, width, lin, base))

    window = []
    for fields in data_lines(os.path.join(data_dir, "synth_window.txt")):
        window.append(fields[0])
    assert len(window) == 512

    bands = {}
    for fields in data_lines(os.path.join(data_dir, "sfb_bands.txt")):
        bands[(int(fields[0]), fields[1])] = [int(v) for v in fields[2:]]
    rates = [44100, 48000, 32000, 22050, 24000, 16000, 11025, 12000, 8000]

    nr = [[[0] * 4 for _ in range(3)] for _ in range(6)]
    for fields in data_lines(os.path.join(data_dir, "nr_of_sfb_block.txt")):
        b, t = int(fields[0]), int(fields[1])
        nr[b][t] = [int(v) for v in fields[2:]]

    c = [-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037]
    cs = [rounded(1 / math.sqrt(1 + ci * ci), 6) for ci in c]
    ca = [rounded(ci / math.sqrt(1 + ci * ci), 6) for ci in c]

    imdct_long = [[rounded(math.cos(math.pi / 72 * (2 * p + 19) * (2 * m + 1)), 6)
                   for m in range(18)] for p in range(36)]
    # The transform code takes half of the rows from the other half by sign;
    # that is only exact if the rounded table has the same symmetry.
    for p in range(9):
        for m in range(18):
            assert float(imdct_long[17 - p][m]) == -float(imdct_long[p][m])
    for p in range(18, 27):
        for m in range(18):
            assert float(imdct_long[53 - p][m]) == float(imdct_long[p][m])
    imdct_short = [[rounded(math.cos(math.pi / 24 * (2 * p + 7) * (2 * m + 1)), 6)
                    for m in range(6)] for p in range(12)]

    win = [[0.0] * 36 for _ in range(4)]
    for i in range(36):
        win[0][i] = math.sin(math.pi / 36 * (i + 0.5))
    for i in range(36):
        if i < 18:
            win[1][i] = math.sin(math.pi / 36 * (i + 0.5))
        elif i < 24:
            win[1][i] = 1.0
        elif i < 30:
            win[1][i] = math.sin(math.pi / 12 * (i - 18 + 0.5))
        else:
            win[1][i] = 0.0
    for i in range(36):
        if i < 6:
            win[3][i] = 0.0
        elif i < 12:
            win[3][i] = math.sin(math.pi / 12 * (i - 6 + 0.5))
        elif i < 18:
            win[3][i] = 1.0
        else:
            win[3][i] = math.sin(math.pi / 36 * (i + 0.5))
    for i in range(12):
        win[2][i] = math.sin(math.pi / 12 * (i + 0.5))
    win_s = [[rounded(v, 6) for v in row] for row in win]

    # Matrixing cosines: rows 0-15 and 33-48; even rows k 0-7, odd rows k 0-15.
    matrix = [["0.0"] * 16 for _ in range(49)]
    for i in list(range(16)) + list(range(33, 49)):
        kmax = 8 if i % 2 == 0 else 16
        for k in range(kmax):
            matrix[i][k] = rounded(math.cos((16 + i) * (2 * k + 1) * math.pi / 64), 9)

    o = []
    o.append("// Generated by decoder/gen/gen_tables.py from the standard's table data; do not edit.")
    o.append('#include "decoder/tables.h"')
    o.append("")
    o.append("namespace sonadyn::tables {")
    o.append("")
    o.append(f"const uint32_t kHuffmanNodes[{len(nodes)}] = {{")
    o.append(fmt([f"0x{n:08x}u" for n in nodes], 8, "s"))
    o.append("};")
    o.append("")
    o.append("const HuffmanTable kPairTables[32] = {")
    for used, width, lin, base in pair_rows:
        o.append(f"    {{{'true' if used else 'false'}, {width}, {lin}, {base}}},")
    o.append("};")
    for q in ("A", "B"):
        width, base = entry[q]
        o.append(f"const HuffmanTable kQuadTable{q} = {{true, {width}, 0, {base}}};")
    o.append("")
    o.append("const double kSynthesisWindow[512] = {")
    o.append(fmt(window, 8, "s"))
    o.append("};")
    o.append("")
    o.append("const int16_t kLongBands[9][23] = {")
    for r in rates:
        o.append("    {" + ", ".join(str(v) for v in bands[(r, "long")]) + "},")
    o.append("};")
    o.append("const int16_t kShortBands[9][14] = {")
    for r in rates:
        o.append("    {" + ", ".join(str(v) for v in bands[(r, "short")]) + "},")
    o.append("};")
    o.append("")
    o.append("const uint8_t kSfbPerPartition[6][3][4] = {")
    for b in range(6):
        o.append("    {" + ", ".join("{" + ", ".join(str(v) for v in nr[b][t]) + "}" for t in range(3)) + "},")
    o.append("};")
    o.append("")
    o.append("const double kAliasCs[8] = {" + ", ".join(cs) + "};")
    o.append("const double kAliasCa[8] = {" + ", ".join(ca) + "};")
    o.append("")
    o.append("const double kImdctLong[36][18] = {")
    for row in imdct_long:
        o.append("    {" + ", ".join(row) + "},")
    o.append("};")
    o.append("const double kImdctShort[12][6] = {")
    for row in imdct_short:
        o.append("    {" + ", ".join(row) + "},")
    o.append("};")
    o.append("const double kImdctWindow[4][36] = {")
    for row in win_s:
        o.append("    {" + ", ".join(row) + "},")
    o.append("};")
    o.append("")
    o.append("const double kMatrixing[49][16] = {")
    for row in matrix:
        o.append("    {" + ", ".join(row) + "},")
    o.append("};")
    o.append("")
    o.append("}  // namespace sonadyn::tables")
    o.append("")
    text = "\n".join(o)
    tmp = out_path + ".tmp"
    with open(tmp, "w", encoding="ascii") as f:
        f.write(text)
    os.replace(tmp, out_path)


if __name__ == "__main__":
    main()
