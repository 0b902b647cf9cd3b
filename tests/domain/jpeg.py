"""A small baseline JPEG encoder (YCbCr 4:4:4, standard tables), so the seed can carry real
pictures without an imaging library on the machine."""
import math
import struct

_ZIGZAG = [0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25, 18, 11, 4, 5, 12, 19, 26, 33, 40, 48, 41, 34, 27,
           20, 13, 6, 7, 14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51, 58,
           59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63]

_LUM_Q = [16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55, 14, 13, 16, 24, 40, 57, 69, 56,
          14, 17, 22, 29, 51, 87, 80, 62, 18, 22, 37, 56, 68, 109, 103, 77, 24, 35, 55, 64, 81, 104, 113,
          92, 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99]
_CHR_Q = [17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99, 99, 99,
          47, 66, 99, 99, 99, 99, 99, 99] + [99] * 32

# Annex K Huffman tables: code counts per length 1..16, then the symbols.
_DC_LUM = ([0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0], list(range(12)))
_DC_CHR = ([0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0], list(range(12)))
_AC_LUM = ([0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d], bytes.fromhex(
    "01020300041105122131410613516107227114328191a1082342b1c11552d1f02433627282090a161718191a25262728"
    "292a3435363738393a434445464748494a535455565758595a636465666768696a737475767778797a83848586878889"
    "8a92939495969798999aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4c5c6c7c8c9cad2d3d4d5d6d7d8d9dae1e2"
    "e3e4e5e6e7e8e9eaf1f2f3f4f5f6f7f8f9fa"))
_AC_CHR = ([0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77], bytes.fromhex(
    "000102031104052131061241510761711322328108144291a1b1c109233352f0156272d10a162434e125f11718191a26"
    "2728292a35363738393a434445464748494a535455565758595a636465666768696a737475767778797a828384858687"
    "88898a92939495969798999aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4c5c6c7c8c9cad2d3d4d5d6d7d8d9da"
    "e2e3e4e5e6e7e8e9eaf2f3f4f5f6f7f8f9fa"))


def _codes(table):
    counts, symbols = table
    out, code, k = {}, 0, 0
    for length in range(1, 17):
        for _ in range(counts[length - 1]):
            out[symbols[k]] = (code, length)
            code += 1
            k += 1
        code <<= 1
    return out


def _scaled(q, quality):
    s = 5000 // quality if quality < 50 else 200 - 2 * quality
    return [min(255, max(1, (v * s + 50) // 100)) for v in q]


_COS = [[math.cos((2 * x + 1) * u * math.pi / 16) * (math.sqrt(0.5) if u == 0 else 1.0) / 2
         for x in range(8)] for u in range(8)]


def _fdct(block):
    tmp = [[sum(_COS[u][x] * block[y * 8 + x] for x in range(8)) for u in range(8)] for y in range(8)]
    return [sum(_COS[v][y] * tmp[y][u] for y in range(8)) for v in range(8) for u in range(8)]


class _Bits:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.n = 0

    def put(self, code, length):
        self.acc = (self.acc << length) | code
        self.n += length
        while self.n >= 8:
            byte = (self.acc >> (self.n - 8)) & 0xFF
            self.out.append(byte)
            if byte == 0xFF:
                self.out.append(0)      # byte stuffing
            self.n -= 8
        self.acc &= (1 << self.n) - 1

    def flush(self):
        if self.n:
            self.put((1 << (8 - self.n)) - 1, 8 - self.n)


def _magnitude(v):
    n = abs(v).bit_length()
    return n, (v if v >= 0 else v + (1 << n) - 1)


def encode(width, height, pixel, quality=80):
    """pixel(x, y) -> (r, g, b) in 0..255. Returns the JPEG file as bytes."""
    qt = [_scaled(_LUM_Q, quality), _scaled(_CHR_Q, quality)]
    dc = [_codes(_DC_LUM), _codes(_DC_CHR)]
    ac = [_codes(_AC_LUM), _codes(_AC_CHR)]
    ycc = [[0.0] * (width * height) for _ in range(3)]
    for y in range(height):
        for x in range(width):
            r, g, b = pixel(x, y)
            i = y * width + x
            ycc[0][i] = 0.299 * r + 0.587 * g + 0.114 * b - 128
            ycc[1][i] = -0.168736 * r - 0.331264 * g + 0.5 * b
            ycc[2][i] = 0.5 * r - 0.418688 * g - 0.081312 * b
    bits = _Bits()
    pred = [0, 0, 0]
    for by in range(0, height, 8):
        for bx in range(0, width, 8):
            for c in range(3):
                t = 0 if c == 0 else 1
                plane = ycc[c]
                block = [plane[min(by + j, height - 1) * width + min(bx + i, width - 1)]
                         for j in range(8) for i in range(8)]
                coef = _fdct(block)
                q = [int(round(coef[_ZIGZAG[k]] / qt[t][_ZIGZAG[k]])) for k in range(64)]
                diff = q[0] - pred[c]
                pred[c] = q[0]
                size, value = _magnitude(diff)
                bits.put(*dc[t][size])
                if size:
                    bits.put(value, size)
                run = 0
                for k in range(1, 64):
                    if q[k] == 0:
                        run += 1
                        continue
                    while run > 15:
                        bits.put(*ac[t][0xF0])
                        run -= 16
                    size, value = _magnitude(q[k])
                    bits.put(*ac[t][(run << 4) | size])
                    bits.put(value, size)
                    run = 0
                if run:
                    bits.put(*ac[t][0x00])
    bits.flush()

    out = bytearray(b"\xff\xd8")
    out += b"\xff\xe0" + struct.pack(">H5sBBBHHBB", 16, b"JFIF\0", 1, 1, 0, 1, 1, 0, 0)
    for t in range(2):
        out += b"\xff\xdb" + struct.pack(">HB", 67, t) + bytes(qt[t][_ZIGZAG[k]] for k in range(64))
    out += b"\xff\xc0" + struct.pack(">HBHHB", 17, 8, height, width, 3)
    out += bytes([1, 0x11, 0, 2, 0x11, 1, 3, 0x11, 1])
    for cls, t, table in ((0, 0, _DC_LUM), (1, 0, _AC_LUM), (0, 1, _DC_CHR), (1, 1, _AC_CHR)):
        counts, symbols = table
        out += b"\xff\xc4" + struct.pack(">HB", 3 + 16 + len(symbols), (cls << 4) | t)
        out += bytes(counts) + bytes(symbols)
    out += b"\xff\xda" + struct.pack(">HB", 12, 3) + bytes([1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0])
    out += bits.out + b"\xff\xd9"
    return bytes(out)


def portrait(seed, size=64):
    """A deterministic picture: a coloured background with a head-and-shoulders silhouette."""
    hue = (seed * 47) % 360
    bg = tuple(int(150 + 80 * math.cos(math.radians(hue + k * 120))) for k in range(3))
    fg = tuple(max(0, v - 110) for v in bg)

    def pixel(x, y):
        cx, cy = size / 2, size * 0.4
        if (x - cx) ** 2 + (y - cy) ** 2 < (size * 0.2) ** 2:
            return fg
        if y > size * 0.68 and abs(x - cx) < size * 0.36 - (size - y) * 0.3:
            return fg
        shade = y * 40 // size
        return tuple(min(255, v + shade) for v in bg)
    return encode(size, size, pixel)
