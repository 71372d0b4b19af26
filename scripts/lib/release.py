#!/usr/bin/env python3
"""Release helpers for scripts/package and the release tests.

  release.py exe-version EXE             prints the FILEVERSION of EXE's version resource (a.b.c.d)
  release.py text IN OUT VERSION         IN as a Windows text file: @VERSION@ filled in, CR LF, UTF-8 BOM
  release.py zip OUT EPOCH NAME=PATH...  a zip whose bytes depend only on the files' contents and names
"""
import struct
import sys
import time
import zipfile

FIXED_FILE_INFO_SIGNATURE = struct.pack("<I", 0xFEEF04BD)


def exe_version(path):
    data = open(path, "rb").read()
    at = data.find(FIXED_FILE_INFO_SIGNATURE)
    if at < 0:
        raise SystemExit(f"{path}: no version resource")
    # VS_FIXEDFILEINFO: signature, struct version, file version MS/LS, product version MS/LS.
    _, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", data, at)
    if (file_ms, file_ls) != (product_ms, product_ls):
        raise SystemExit(f"{path}: file and product versions differ")
    return f"{file_ms >> 16}.{file_ms & 0xFFFF}.{file_ls >> 16}.{file_ls & 0xFFFF}"


def windows_text(source, target, version):
    text = open(source, encoding="utf-8").read().replace("@VERSION@", version)
    text = text.replace("\r\n", "\n").replace("\n", "\r\n")
    # The BOM lets Notepad on Windows 7 tell UTF-8 from the system code page.
    open(target, "wb").write(b"\xef\xbb\xbf" + text.encode("utf-8"))


def reproducible_zip(target, epoch, members):
    # Zip stores local time without a zone; the UTC fields of the commit time keep
    # the bytes the same on every machine. Zip cannot go below 1980.
    stamp = time.gmtime(max(int(epoch), 315532800))[:6]
    with zipfile.ZipFile(target, "w") as archive:
        for name, path in members:
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0  # MS-DOS: no Unix owner or mode bits from the build machine
            info.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE, as Windows' own zip folders write it
            with open(path, "rb") as f:
                archive.writestr(info, f.read(), compresslevel=9)


def main(argv):
    if len(argv) == 3 and argv[1] == "exe-version":
        print(exe_version(argv[2]))
    elif len(argv) == 5 and argv[1] == "text":
        windows_text(argv[2], argv[3], argv[4])
    elif len(argv) >= 5 and argv[1] == "zip":
        members = [tuple(item.split("=", 1)) for item in argv[4:]]
        reproducible_zip(argv[2], argv[3], members)
    else:
        raise SystemExit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
