"""8-bit grey BMP files as the program reads and writes them: unpadded lines,
bottom line first, a grey palette."""
import struct


def write_bmp(path, rows):
    """Rows given top line first."""
    height, width = len(rows), len(rows[0])
    pixels = b"".join(bytes(rows[y]) for y in range(height - 1, -1, -1))
    header = b"BM" + struct.pack("<IHHI", 1078 + len(pixels), 0, 0, 1078)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, 0, 0, 0, 0, 0)
    palette = b"".join(bytes((i, i, i, 0)) for i in range(256))
    with open(path, "wb") as f:
        f.write(header + info + palette + pixels)


def read_bmp(path):
    """Rows top line first; the file must hold exactly its pixel area."""
    with open(path, "rb") as f:
        data = f.read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height = struct.unpack_from("<ii", data, 18)
    assert len(data) == offset + width * height
    return [list(data[offset + i * width:offset + (i + 1) * width]) for i in range(height)][::-1]
