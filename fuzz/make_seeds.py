#!/usr/bin/env python3
"""Writes the seed inputs of fuzz_raster_block (fuzz/corpus/raster_block/), whose binary layout
the comment at the top of fuzz_raster_block.cpp describes. The other targets' seeds are plain
text files, written by hand."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
TYPES = ["Byte", "UInt16", "Int16", "UInt32", "Int32", "Float32", "Float64", "CInt16", "CFloat32"]
GDAL = {"Byte": 1, "UInt16": 2, "Int16": 3, "UInt32": 4, "Int32": 5, "Float32": 6, "Float64": 7}
PACK = {"Byte": "B", "Int16": "h", "Float32": "f", "Float64": "d"}


def text(value):
    if value is None:
        return bytes([255])
    data = value.encode("ascii")
    return bytes([len(data)]) + data


def block(type_name, columns, rows, x, y, bands, values, naming=0, properties=None,
          descriptor_type=None, marker=33, payload_doubles=None, shape_extra=0):
    pixels = b"".join(struct.pack("<" + PACK[type_name], v) for v in values)
    needed = 20 + (len(pixels) + 7) // 8
    out = bytes([shape_extra | (naming << 4), 3])
    out += struct.pack("<ii", marker, GDAL[descriptor_type or type_name])
    out += struct.pack("<6d", columns, rows, x, y, 1.0, -1.0)
    out += struct.pack("<HH", payload_doubles if payload_doubles is not None else needed,
                       len(pixels))
    out += pixels
    if properties is not None:
        out += b"".join(text(p) for p in properties)
    return out


def source(setup, type_name, bands, width, height, blocks):
    return bytes([setup, TYPES.index(type_name), bands - 1, width - 1, height - 1,
                  len(blocks) - 1]) + b"".join(blocks)


def write(name, data):
    folder = os.path.join(HERE, "corpus", "raster_block")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


ramp = [float(i) * 1.5 - 7 for i in range(64)]
props1 = ["1", "0", "0", "1", "-9999"]
write("whole_block_converted", source(1, "Float32", 1, 8, 8, [
    block("Float32", 8, 8, 0, 100, 1, ramp, properties=props1)]))
write("no_properties", source(0, "Float32", 1, 8, 8, [
    block("Float32", 8, 8, 0, 100, 1, ramp)]))
# Four tiles of 4 x 4 with a margin of one cell where a neighbour goes on.
tiles = []
for ty in (0, 4):
    for tx in (0, 4):
        x0, y0 = max(tx - 1, 0), max(ty - 1, 0)
        x1, y1 = min(tx + 5, 8), min(ty + 5, 8)
        cells = [float(r * 8 + c) for b in range(2) for r in range(y0, y1) for c in range(x0, x1)]
        tiles.append(block("Float32", x1 - x0, y1 - y0, x0, 100 - y0, 2, cells,
                           properties=["4", "2", "2", "2", "-9999|-9999"]))
write("tiles_with_margins", source(1, "Float32", 2, 8, 8, tiles))
write("mosaic_of_two", source(3, "Int16", 1, 6, 6, [
    block("Int16", 6, 6, 0, 100, 1, list(range(36)), naming=0, properties=["1", "0", "0", "1", "-32768"]),
    block("Int16", 6, 6, 3, 100, 1, list(range(36, 72)), naming=1, properties=["1", "0", "0", "1", "-32768"])]))
write("other_type_and_reference", source(5, "Float64", 1, 4, 4, [
    block("Byte", 4, 4, 0, 100, 1, list(range(16)), properties=["1", "0", "0", "1", None])]))
write("clipped_at_the_edge", source(1, "Float32", 1, 8, 8, [
    block("Float32", 6, 6, 5, 103, 1, [float(i) for i in range(36)],
          properties=["2", "0", "0", "1", "-9999"]),
    block("Float32", 8, 8, 0, 100, 1, ramp, properties=["2", "0", "0", "1", "-9999"])]))
write("short_payload", source(1, "Float32", 1, 8, 8, [
    block("Float32", 8, 8, 0, 100, 1, ramp[:10], properties=props1, payload_doubles=25)]))
