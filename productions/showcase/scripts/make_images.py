#!/usr/bin/env python3
"""Writes the showcase's image files into the production folder, where korpack build
stores them as they are:

    productions/showcase/scripts/make_images.py

- stone.png, 256 x 256: cobblestones, with the production's own smaller mip images
  stone_mm1.png (128 x 128) and stone_mm2.png (64 x 64), whose contrast is lifted a little
  so that the stones stay crisp in the distance;
- marble.jpg, 256 x 256: veined marble, stored as a baseline JPEG;
- sky_xp.jpg ... sky_zn.jpg, 128 x 128 each: the six faces of an evening sky with a low sun
  above dark ground, for cube-map reflections;
- mirror.png (256 x 256) and probe.png (128 x 128): black images that layers render into
  (a texture and the faces of a cube map drawn live).

The images are kept in the repository; run this only to change them. Plain Python: the PNG
and JPEG writers are below.
"""
import heapq
import math
import os
import random
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.dirname(HERE)


# ---- PNG ----

def png_bytes(width, height, rows):
    """rows: lists of RGB byte values, first row at the top."""
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    raw = b"".join(b"\x00" + bytes(row) for row in rows)
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


# ---- Baseline JPEG (4:4:4 YCbCr, Huffman tables fitted to each image) ----

LUMA_QUANT = [16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55,
              14, 13, 16, 24, 40, 57, 69, 56, 14, 17, 22, 29, 51, 87, 80, 62,
              18, 22, 37, 56, 68, 109, 103, 77, 24, 35, 55, 64, 81, 104, 113, 92,
              49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99]
CHROMA_QUANT = [17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
                24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99] + [99] * 32


def zigzag_order():
    order = []
    for s in range(15):
        cells = [(y, s - y) for y in range(8) if 0 <= s - y < 8]
        order += cells if s % 2 else cells[::-1]
    return [y * 8 + x for y, x in order]


ZIGZAG = zigzag_order()
COSINES = [[math.cos((2 * x + 1) * u * math.pi / 16) * (math.sqrt(0.5) if u == 0 else 1.0)
            for x in range(8)] for u in range(8)]


def scaled_table(table, quality):
    """The table (in row order) scaled for a quality, in zigzag order as JPEG stores it."""
    scale = 5000 / quality if quality < 50 else 200 - 2 * quality
    return [min(255, max(1, int((table[i] * scale + 50) // 100))) for i in ZIGZAG]


def forward_dct(block):
    """8 x 8 values (rows of 8) to 64 coefficients, row-major by (v, u)."""
    rows = [[sum(c * f for c, f in zip(COSINES[u], row)) / 2 for u in range(8)] for row in block]
    return [sum(COSINES[v][y] * rows[y][u] for y in range(8)) / 2
            for v in range(8) for u in range(8)]


def size_of(value):
    return abs(value).bit_length()


def value_bits(value):
    return value if value >= 0 else value + (1 << size_of(value)) - 1


def block_symbols(coefficients, quant, previous_dc):
    """The block's (kind, symbol, extra bits, extra size) list, DC first; quant in zigzag
    order."""
    q = [int(round(coefficients[ZIGZAG[k]] / quant[k])) for k in range(64)]
    diff = q[0] - previous_dc
    symbols = [("dc", size_of(diff), value_bits(diff), size_of(diff))]
    run = 0
    for k in range(1, 64):
        if q[k] == 0:
            run += 1
            continue
        while run > 15:
            symbols.append(("ac", 0xF0, 0, 0))
            run -= 16
        s = size_of(q[k])
        symbols.append(("ac", (run << 4) | s, value_bits(q[k]), s))
        run = 0
    if run:
        symbols.append(("ac", 0x00, 0, 0))
    return symbols, q[0]


def huffman_table(frequencies):
    """Counts per code length (1 to 16) and symbols in code order, as JPEG stores them."""
    # A reserved symbol keeps every real code from being all ones.
    heap = [(count, i, [symbol]) for i, (symbol, count) in enumerate(frequencies.items())]
    heap.append((1, len(heap), [None]))
    heapq.heapify(heap)
    depth = {entry[2][0]: 0 for entry in heap}
    order = len(heap)
    while len(heap) > 1:
        a = heapq.heappop(heap)
        b = heapq.heappop(heap)
        for symbol in a[2] + b[2]:
            depth[symbol] += 1
        order += 1
        heapq.heappush(heap, (a[0] + b[0], order, a[2] + b[2]))
    bits = [0] * 33
    for d in depth.values():
        bits[max(d, 1)] += 1
    # Limit lengths to 16 (the adjustment of the JPEG standard), then drop the reserved code.
    for i in range(32, 16, -1):
        while bits[i] > 0:
            j = i - 2
            while bits[j] == 0:
                j -= 1
            bits[i] -= 2
            bits[i - 1] += 1
            bits[j + 1] += 2
            bits[j] -= 1
    i = 16
    while bits[i] == 0:
        i -= 1
    bits[i] -= 1
    symbols = sorted(frequencies, key=lambda s: (-frequencies[s], s))
    codes = {}
    code = 0
    k = 0
    for length in range(1, 17):
        for _ in range(bits[length]):
            codes[symbols[k]] = (code, length)
            code += 1
            k += 1
        code <<= 1
    return bits[1:17], symbols, codes


class BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.buffer = 0
        self.count = 0

    def write(self, value, size):
        for i in range(size - 1, -1, -1):
            self.buffer = (self.buffer << 1) | ((value >> i) & 1)
            self.count += 1
            if self.count == 8:
                self.out.append(self.buffer)
                if self.buffer == 0xFF:
                    self.out.append(0)
                self.buffer = 0
                self.count = 0

    def flush(self):
        while self.count:
            self.write(1, 1)


def jpeg_bytes(width, height, rows, quality=88):
    quants = [scaled_table(LUMA_QUANT, quality), scaled_table(CHROMA_QUANT, quality)]
    planes = [[], [], []]
    for row in rows:
        for c in range(3):
            planes[c].append([])
        for x in range(width):
            r, g, b = row[3 * x:3 * x + 3]
            planes[0][-1].append(0.299 * r + 0.587 * g + 0.114 * b - 128)
            planes[1][-1].append(-0.168736 * r - 0.331264 * g + 0.5 * b)
            planes[2][-1].append(0.5 * r - 0.418688 * g - 0.081312 * b)
    # Blocks in scan order, components interleaved; then the tables fitted to their symbols.
    blocks = []
    previous = [0, 0, 0]
    for by in range(0, height, 8):
        for bx in range(0, width, 8):
            for c in range(3):
                block = [[planes[c][min(by + y, height - 1)][min(bx + x, width - 1)]
                          for x in range(8)] for y in range(8)]
                symbols, previous[c] = block_symbols(forward_dct(block), quants[min(c, 1)],
                                                     previous[c])
                blocks.append((min(c, 1), symbols))
    frequencies = [[{}, {}], [{}, {}]]  # [table][dc, ac]
    for table, symbols in blocks:
        for kind, symbol, _, _ in symbols:
            counts = frequencies[table][kind == "ac"]
            counts[symbol] = counts.get(symbol, 0) + 1
    tables = [[huffman_table(frequencies[t][k]) for k in range(2)] for t in range(2)]
    writer = BitWriter()
    for table, symbols in blocks:
        for kind, symbol, bits, size in symbols:
            code, length = tables[table][kind == "ac"][2][symbol]
            writer.write(code, length)
            writer.write(bits, size)
    writer.flush()

    def segment(marker, data):
        return struct.pack(">BBH", 0xFF, marker, len(data) + 2) + data
    out = b"\xff\xd8" + segment(0xE0, b"JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00")
    for t in range(2):
        out += segment(0xDB, bytes([t]) + bytes(quants[t]))
    out += segment(0xC0, struct.pack(">BHHB", 8, height, width, 3) +
                   bytes([1, 0x11, 0, 2, 0x11, 1, 3, 0x11, 1]))
    for t in range(2):
        for k in range(2):
            bits, symbols, _ = tables[t][k]
            out += segment(0xC4, bytes([(k << 4) | t]) + bytes(bits) + bytes(symbols))
    out += segment(0xDA, bytes([3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0]))
    return out + bytes(writer.out) + b"\xff\xd9"


# ---- The pictures ----

def clamp(v):
    return max(0, min(255, int(v)))


def stones(size):
    random.seed(11)
    cells = 8
    seeds = [[((i + random.uniform(0.15, 0.85)) / cells, (j + random.uniform(0.15, 0.85)) / cells,
               random.uniform(0.75, 1.15), random.uniform(-0.06, 0.06))
              for i in range(cells)] for j in range(cells)]
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            u, v = (x + 0.5) / size, (y + 0.5) / size
            ci, cj = int(u * cells), int(v * cells)
            near = []
            for dj in (-1, 0, 1):
                for di in (-1, 0, 1):
                    i, j = (ci + di) % cells, (cj + dj) % cells
                    sx, sy, shade, hue = seeds[j][i]
                    dx = (sx + (ci + di - i) / cells) - u
                    dy = (sy + (cj + dj - j) / cells) - v
                    near.append((dx * dx + dy * dy, shade, hue))
            near.sort()
            edge = math.sqrt(near[1][0]) - math.sqrt(near[0][0])
            _, shade, hue = near[0]
            grain = 5 * math.sin(x * 0.7 + 3 * math.sin(y * 0.21)) * math.sin(y * 0.9)
            if edge < 0.012:
                row += [clamp(48 + grain)] * 3
            else:
                bevel = min(1.0, edge / 0.05)
                base = (138 + 40 * bevel) * shade + grain
                row += [clamp(base * (1 + hue)), clamp(base), clamp(base * (1 - hue) * 0.92)]
        rows.append(row)
    return rows


def downsample(rows, contrast):
    size = len(rows) // 2
    out = []
    for y in range(size):
        row = []
        for x in range(size):
            for c in range(3):
                s = (rows[2 * y][6 * x + c] + rows[2 * y][6 * x + 3 + c] +
                     rows[2 * y + 1][6 * x + c] + rows[2 * y + 1][6 * x + 3 + c]) / 4
                row.append(clamp(128 + (s - 128) * contrast))
        out.append(row)
    return out


def marble(size):
    random.seed(5)
    lattice = [[random.random() for _ in range(16)] for _ in range(16)]

    def noise(u, v):
        i, j = int(math.floor(u)), int(math.floor(v))
        fu, fv = u - i, v - j
        fu, fv = fu * fu * (3 - 2 * fu), fv * fv * (3 - 2 * fv)
        a = lattice[j % 16][i % 16]
        b = lattice[j % 16][(i + 1) % 16]
        c = lattice[(j + 1) % 16][i % 16]
        d = lattice[(j + 1) % 16][(i + 1) % 16]
        return (a + (b - a) * fu) + ((c + (d - c) * fu) - (a + (b - a) * fu)) * fv

    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            u, v = x / size * 16, y / size * 16
            turbulence = sum(noise(u * f, v * f) / f for f in (1, 2, 4, 8))
            vein = abs(math.sin((x + y * 0.6) / size * 6 * math.pi + turbulence * 5))
            light = 0.55 + 0.45 * vein ** 0.35
            row += [clamp(232 * light), clamp(226 * light), clamp(214 * light)]
        rows.append(row)
    return rows


# Each face's direction for a pixel at (sc, tc) in -1 .. 1, as GL samples cube maps.
FACES = {
    "xp": lambda s, t: (1, -t, -s), "xn": lambda s, t: (-1, -t, s),
    "yp": lambda s, t: (s, 1, t), "yn": lambda s, t: (s, -1, -t),
    "zp": lambda s, t: (s, -t, 1), "zn": lambda s, t: (-s, -t, -1),
}
SUN = (0.55, 0.25, -0.8)


def sky_face(direction_of, size):
    sun_length = math.sqrt(sum(c * c for c in SUN))
    sun = [c / sun_length for c in SUN]
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            d = direction_of(2 * (x + 0.5) / size - 1, 2 * (y + 0.5) / size - 1)
            length = math.sqrt(sum(c * c for c in d))
            d = [c / length for c in d]
            up = d[1]
            glow = max(0.0, sum(a * b for a, b in zip(d, sun)))
            if up >= 0:
                h = up ** 0.5
                r, g, b = 250 - 190 * h, 150 - 90 * h, 110 + 40 * h
            else:
                r, g, b = 40 - 20 * up, 30 - 10 * up, 35
                # A faint grid on the ground, so that reflections show their motion.
                if up < -0.05:
                    gx, gz = d[0] / -up, d[2] / -up
                    if min(abs(gx - round(gx)), abs(gz - round(gz))) < 0.03:
                        r, g, b = r + 30, g + 25, b + 20
            r += 255 * glow ** 60 + 60 * glow ** 6
            g += 220 * glow ** 60 + 40 * glow ** 6
            b += 160 * glow ** 60
            row += [clamp(r), clamp(g), clamp(b)]
        rows.append(row)
    return rows


def black(size):
    return [[0] * (3 * size) for _ in range(size)]


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as out:
        out.write(data)


def main():
    stone = stones(256)
    write("stone.png", png_bytes(256, 256, stone))
    level_1 = downsample(stone, 1.12)
    write("stone_mm1.png", png_bytes(128, 128, level_1))
    write("stone_mm2.png", png_bytes(64, 64, downsample(level_1, 1.12)))
    write("marble.jpg", jpeg_bytes(256, 256, marble(256)))
    for face, direction_of in FACES.items():
        write("sky_%s.jpg" % face, jpeg_bytes(128, 128, sky_face(direction_of, 128), 90))
    write("mirror.png", png_bytes(256, 256, black(256)))
    write("probe.png", png_bytes(128, 128, black(128)))


if __name__ == "__main__":
    main()
