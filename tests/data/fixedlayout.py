#!/usr/bin/python3
"""Writes the binary test files of the fixed-layout analyser results from their layout tables:
the AUTOLAB record, the Sysmex KX-21 line, the Advia 70 record and the Max-M Coulter block files
(as stored, as received, and as their rewrite must leave them).

    fixedlayout.py [ROOT]

ROOT is the test data folder (this script's own by default). Decoder inputs go to
fuzz/decoders/ (they seed the decoders' fuzz target), the expected rewrites and the end-to-end
transfer to analysers/. The files are committed; a test runs this script into a temporary folder
and compares."""

import os
import sys

STX, ETX, DC1 = b"\x02", b"\x03", b"\x11"
CRLF = b"\r\n"


def crc_genibus(data):
    """CRC-16, polynomial 0x1021, initial 0xFFFF, no reflection, final exclusive-or 0xFFFF."""
    crc = 0xFFFF
    for byte in data:
        crc ^= byte << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) if crc & 0x8000 else (crc << 1)
            crc &= 0xFFFF
    return crc ^ 0xFFFF


assert crc_genibus(b"123456789") == 0xD64E


def field(text, length, fill=b" "):
    """Text left-aligned in a field of `length` bytes."""
    assert len(text) <= length, (text, length)
    return text + fill * (length - len(text))


def right(text, length):
    assert len(text) <= length, (text, length)
    return b" " * (length - len(text)) + text


# ---- AUTOLAB: byte 0 ignored, 1-8 first header text, 9-38 second, then records of ten bytes:
# the parameter number (two decimal digits), the value (seven), a separator.

def autolab(name, code, records, rest=b""):
    head = b"\x02" + field(name, 8) + field(code, 30)
    assert len(head) == 39
    body = b"".join(number + right(value, 7) + b";" for number, value in records)
    return head + body + rest


# ---- Sysmex KX-21: one line; 1-based characters 4-5 year, 6-7 month, 8-9 day, 12-22 sample
# code, then eighteen fields of five characters from character 30.

def sysmex(date, code, fields):
    line = b"D1U" + date + b"00" + code + b"0000000"
    assert len(line) == 29
    assert all(len(f) == 5 for f in fields) and len(fields) == 18
    return line + b"".join(fields) + CRLF


# ---- Advia 70: 454 bytes.

ADVIA_RESULTS = ["WBC", "NEUT N", "LYM N", "MONO N", "BAS N", "EOS N", "NEUT P", "LYM P",
                 "MONO P", "BAS P", "EOS P", "RBC", "Hgb", "Hct", "MCV", "MCH", "MCHC", "RDW",
                 "Plt", "MPV", "Pct", "PDW"]


def advia(header, time, results, raw):
    record = (field(header["Code"], 6) + field(header["SeqNo"], 15) + field(header["PatID"], 15)
              + field(header["Name"], 30) + field(header["FName"], 15) + b"\x00" * 51
              + field(header["Date"], 10) + field(time, 11))
    assert len(record) == 153
    record += b"".join(results.get(code, b"\x00" * 5) for code in ADVIA_RESULTS)
    assert len(record) == 263
    record += b" " * 55
    assert len(raw) == 15 and all(len(r) == 6 for r in raw)
    record += b"".join(raw)
    assert len(record) == 408
    record += b"\x00" * 46
    assert len(record) == 454
    return record


# ---- Max-M Coulter: the content (head, groups, tail) and its blocks.

HEAD = CRLF * 6 + b"-" * 14 + CRLF
TAIL = CRLF * 2 + b"-" * 14 + CRLF
assert len(HEAD) == 28 and len(TAIL) == 20


def group(lines):
    return b"%02X" % len(lines) + CRLF + b"".join(line + CRLF for line in lines)


def content(groups, dc1=True):
    """The head, the seven groups and the tail; with dc1, a DC1 after the head and each group."""
    assert len(groups) == 7
    sep = DC1 if dc1 else b""
    return HEAD + sep + b"".join(group(g) + sep for g in groups) + TAIL


def blocks(data, count, size, number=lambda b: b"%02d" % b, trailer=None):
    """The file: the count in two decimal digits, then `count` blocks of `size` data bytes taken
    from `data` padded with blanks, each with its number and trailer (the CRC of its data when
    no trailer is given)."""
    assert len(data) <= count * size
    data = data + b" " * (count * size - len(data))
    out = b"%02d" % count
    for b in range(count):
        chunk = data[b * size:(b + 1) * size]
        tail = trailer(b) if trailer else b"%04X" % crc_genibus(chunk)
        out += STX + number(b + 1) + chunk + tail + ETX
    return out


SMALL_GROUPS = [
    [b"DATE 12/03/04", b"TIME\t10:15", b"ID1 0012345", b"SEQUENCE 17", b"CASS/POS 3/5",
     b"NOSEPARATOR"],
    [b"WBC    6.5", b"RBC\x004.52", b"HGB 142.456  ", b"XYZ 1"],
    [], [], [], [], [],
]

# Groups of the received files: more than one stored block, and a count above nine.
RECEIVED_GROUPS = [
    [b"DATE 12/03/04", b"TIME 10:15", b"ID1 0012345"],
    [b"WBC 6.5", b"RBC 4.52", b"HGB 142", b"HCT 41.2", b"MCV 89.0", b"MCH 29.6",
     b"MCHC 332", b"RDW 13.1", b"PLT 250", b"PCT 0.21", b"MPV 9.5", b"PDW 16.1"],
    [b"LY# 1.8", b"MO# 0.5", b"NE# 3.9", b"EO# 0.2", b"BA# 0.1"],
    [b"LY% 27.7", b"MO% 7.7", b"NE% 60.0", b"EO% 3.1", b"BA% 1.5"],
    [b"FLAG1 none"],
    [],
    [b"END"],
]

# The end-to-end transfer: every header item, the 22 codes with others between them, groups 5 to
# 7 that are read past (counts of 0x14 and 0x0F lines), and content that runs over ten blocks.
TRANSFER_GROUPS = [
    [b"DATE 06/12/26", b"TIME 22:10", b"ID1 0004711", b"ID2 B-17", b"SEQUENCE 0042",
     b"CASS/POS 12/4", b"1EC/P 1", b"ID1STATUS OK", b"C/PSTATUS OK", b"WLSTATUS NONE",
     b"OPERATOR LAB"],
    [b"WBC 7.25", b"RBC 4.815", b"HGB 14.3", b"HCT 43.9", b"MCV 91.2", b"MCH 29.7",
     b"MCHC 32.6", b"RDW 12.9", b"PLT 231", b"PCT 0.190", b"MPV 8.2", b"PDW 16.4",
     b"NRBC 0.0"],
    [b"LY# 2.10", b"MO# 0.61", b"NE# 4.20", b"EO# 0.25", b"BA# 0.09"],
    [b"LY% 29.0", b"MO% 8.4", b"NE% 57.9", b"EO% 3.4", b"BA% 1.3"],
    [b"WBC HISTOGRAM " + b"%03d" % i * 10 for i in range(20)],
    [b"RBC HISTOGRAM " + b"%03d" % i * 10 for i in range(15)],
    [b"PLT HISTOGRAM " + b"%03d" % i * 10 for i in range(10)],
]


def stored_layout(data, count, trailers):
    """The stored file that the rewrite must give: 256-byte blocks numbered in upper-case
    hexadecimal, the received trailers."""
    return blocks(data, count, 256, number=lambda b: b"%02X" % b, trailer=lambda b: trailers[b])


def received(data, count, size):
    """A received file and its trailers (the CRC of each block's data)."""
    padded = data + b" " * (count * size - len(data))
    trailers = [b"%04X" % crc_genibus(padded[b * size:(b + 1) * size]) for b in range(count)]
    return blocks(data, count, size), trailers


def files():
    out = {}
    dec = "fuzz/decoders/"

    out[dec + "autolab"] = autolab(b"DUPONT", b"0012345",
                                   [(b"01", b"5.55"), (b"17", b"1.2"), (b"02", b"6.1")],
                                   rest=b"\r\n\x03xy")
    out[dec + "autolab_ck_hdl"] = autolab(b"", b"77", [(b"10", b"123"), (b"22", b"0.8"),
                                                        (b"30", b"1.25")])

    out[dec + "sysmex"] = sysmex(b"040312", b"00000012345", [
        b"01230",  # WBC 12.3 normal
        b"04521",  # RBC 4.52 above
        b"01420",  # HGB 14.2, scale 10
        b"*0000",  # HCT no value
        b"08903",  # MCV 89.0 ?
        b"02962",  # MCH 29.6 below
        b"03300",  # MCHC 33.0, scale 10
        b"02500",  # PLT 250
        b"02770", b"00770", b"06530", b"00180", b"00050", b"00390",  # invisible
        b"01315",  # RDW 13.1, flag 5: none
        b"01610",  # PDW invisible
        b"00950",  # MPV 9.5
        b"02210",  # P-LCR invisible
    ])

    out[dec + "advia"] = advia(
        {"Code": b"A1", "SeqNo": b"0017", "PatID": b"0012345",
         "Name": b"DUPONT\x00JUNK", "FName": b"\x00JEAN", "Date": b"12/03/2004"},
        b"10:15:30 PM",
        {"WBC": b"  6.5", "NEUT N": b"  3.9", "LYM P": b" 27.7", "RBC": b"*****",
         "Hgb": b" 14.2", "Hct": b"42.0\x00", "MCHC": b" 33.8", "Plt": b"  250",
         "MPV": b"  9.1", "PDW": b"     "},
        [b"%06d" % (1000 + i) for i in range(15)])

    small = content(SMALL_GROUPS)
    assert len(small) <= 256
    out[dec + "maxm_1_block.mxm"] = blocks(small, 1, 256)
    out[dec + "maxm_12_blocks.mxm"] = blocks(small, 12, 256)

    # Received files and the stored files their rewrite gives.
    plain = content(RECEIVED_GROUPS, dc1=False)
    with_dc1 = content(RECEIVED_GROUPS)
    assert 256 < len(with_dc1) <= 400, len(with_dc1)
    file, trailers = received(plain, 2, 200)
    assert len(file) == 418
    out[dec + "maxm_received_2x200.mxm"] = file
    out["analysers/maxm_stored_2x256.mxm"] = stored_layout(with_dc1, 2, trailers)
    file, trailers_dc1 = received(with_dc1, 2, 200)
    out[dec + "maxm_received_2x200_dc1.mxm"] = file
    out["analysers/maxm_stored_2x256_dc1.mxm"] = stored_layout(with_dc1, 2, trailers_dc1)
    # Announcing three blocks over two.
    out[dec + "maxm_received_count_03.mxm"] = b"03" + received(plain, 2, 200)[0][2:]
    # Content longer than two stored blocks.
    long_groups = RECEIVED_GROUPS[:4] + [[b"NOTE " + b"x" * 36] * 2] * 3
    long_content = content(long_groups, dc1=False)
    assert 512 < len(long_content) <= 600, len(long_content)
    out[dec + "maxm_received_too_long.mxm"] = received(long_content, 2, 300)[0]
    # Files already in a stored layout.
    for count in (9, 10):
        out[dec + "maxm_%d_blocks.mxm" % count] = blocks(with_dc1, count, 256)
    out[dec + "maxm_blocks_of_128.mxm"] = blocks(with_dc1, 4, 128)

    transfer = content(TRANSFER_GROUPS)
    assert 9 * 256 < len(transfer) <= 10 * 256, len(transfer)
    out["analysers/maxm_transfer_12_blocks.4"] = blocks(transfer, 12, 256)
    return out


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, data in sorted(files().items()):
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        print(name)


if __name__ == "__main__":
    main()
