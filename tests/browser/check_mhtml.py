#!/usr/bin/env python3
"""Checks a MIME HTML report with Python's own MIME parser and unpacks it.

usage: check_mhtml.py FILE.mht OUTDIR

Every "=" of the page must come back from the quoted-printable part, every picture part must
decode to a picture of the size it stands for (banner 341 x 40 GIF, icons 16 x 16 GIF with
magenta as transparent colour, the chart an EMF). The page and its pictures are written to
OUTDIR so that a browser can open them. Exit status 0 when all holds, 1 with the reasons.
"""
import email
import email.policy
import os
import struct
import sys


def gif_info(data):
    if data[:6] not in (b"GIF87a", b"GIF89a"):
        raise ValueError("not a GIF")
    width, height, flags = struct.unpack("<HHB", data[6:11])
    palette = []
    pos = 13
    if flags & 0x80:
        size = 3 * (2 << (flags & 7))
        table = data[13:13 + size]
        palette = [tuple(table[i:i + 3]) for i in range(0, size, 3)]
        pos += size
    transparent = None
    # The graphic control extension before the image says which index is transparent.
    while pos < len(data) and data[pos] == 0x21:
        label = data[pos + 1]
        pos += 2
        if label == 0xF9 and data[pos] == 4 and data[pos + 1] & 1:
            transparent = data[pos + 4]
        while data[pos] != 0:
            pos += data[pos] + 1
        pos += 1
    return width, height, palette, transparent


def emf_info(data):
    record_type, size = struct.unpack("<II", data[:8])
    signature = struct.unpack("<I", data[40:44])[0]
    if record_type != 1 or signature != 0x464D4520:
        raise ValueError("not an EMF")
    total = struct.unpack("<I", data[48:52])[0]
    return size, total


def main():
    source, outdir = sys.argv[1], sys.argv[2]
    problems = []
    with open(source, "rb") as f:
        raw = f.read()
    message = email.message_from_bytes(raw, policy=email.policy.default)
    if message.get_content_type() != "multipart/related":
        problems.append("not multipart/related: " + message.get_content_type())
    parts = list(message.iter_parts())
    if not parts:
        print("no parts")
        return 1
    page = parts[0]
    if page.get_content_type() != "text/html" or page["Content-Transfer-Encoding"] != "quoted-printable":
        problems.append("first part is not a quoted-printable page")
    html = page.get_payload(decode=True)
    os.makedirs(outdir, exist_ok=True)
    with open(os.path.join(outdir, "htm.htm"), "wb") as f:
        f.write(html)
    for expected in (b"a=b; c==d", b"onclick=\"javascript:OnButtonClick('0')\"",
                     b"display=='none'", b"value='-'"):
        if expected not in html:
            problems.append("page lacks %r after decoding" % expected)
    if b"=3D" in html:
        problems.append("page still holds =3D after decoding")
    names = []
    for part in parts[1:]:
        name = part["Content-Location"].replace("file:///", "")
        names.append(name)
        data = part.get_payload(decode=True)
        with open(os.path.join(outdir, name), "wb") as f:
            f.write(data)
        try:
            if name == "Header.gif":
                width, height, _, _ = gif_info(data)
                if (width, height) != (341, 40):
                    problems.append("banner is %dx%d" % (width, height))
            elif name.endswith(".gif"):
                width, height, palette, transparent = gif_info(data)
                if (width, height) != (16, 16):
                    problems.append("%s is %dx%d" % (name, width, height))
                if transparent is None or palette[transparent] != (255, 0, 255):
                    problems.append("%s has no magenta transparent colour" % name)
            elif name == "Chart.wmf":
                size, total = emf_info(data)
                if total != len(data):
                    problems.append("Chart.wmf says %d bytes but has %d" % (total, len(data)))
            else:
                problems.append("unexpected part " + name)
        except (ValueError, struct.error, IndexError) as error:
            problems.append("%s: %s" % (name, error))
    if not names or names[0] != "Header.gif":
        problems.append("the banner is not the first picture")
    if not any(n.startswith("i") and n.endswith("_16.gif") for n in names):
        problems.append("no icon parts")
    for problem in problems:
        print(problem)
    print("parts:", ", ".join(names))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
