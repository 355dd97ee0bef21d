#!/usr/bin/env bash
# The Win32 window at the start, under Wine + Xvfb, into docs/win32-start.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps --windows
scripts/build build-win -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
export WINEPREFIX="$PWD/build-win/wineprefix-window" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "$WINEPREFIX/system.reg" ] || /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
# Windows links Arial to its CJK fonts; the prefix gets the same link to the
# WenQuanYi font (fonts-wqy-microhei), so that "執行" is not drawn as boxes.
/usr/lib/wine/wine64 reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
  /v Arial /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1
/usr/lib/wine/wineserver -w  # the next program's desktop must start with the display
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
xvfb-run -a -s "-screen 0 1024x768x24" /usr/lib/wine/wine64 build-win/docs/vantrel_win32_screenshot.exe "$work/shot.bmp"
/usr/lib/wine/wineserver -w
python3 - "$work/shot.bmp" docs/win32-start.png <<'PY'
# 32-bit top-down BMP to PNG, with the standard library only.
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
offset = struct.unpack_from("<I", data, 10)[0]
width, height = struct.unpack_from("<ii", data, 18)
height = abs(height)
rows = b"".join(b"\0" + bytes(c for x in range(width) for c in
                data[offset + 4 * (y * width + x):offset + 4 * (y * width + x) + 3][::-1])
                for y in range(height))
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) \
    + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")
open(sys.argv[2], "wb").write(png)
PY
echo docs/win32-start.png
