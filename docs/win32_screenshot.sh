#!/usr/bin/env bash
# The Win32 window under Wine + Xvfb, through its button cycle on the demo
# database, and the message boxes shown on the way, into docs/win32-*.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps --windows
cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-win --target vantrel_win32_screenshot -j "$(nproc)" >/dev/null
# A prefix of its own: the tests' prefixes stay as ctest made them.
export WINEPREFIX="$PWD/build-win/wineprefix-screenshots" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
[ -f "$WINEPREFIX/system.reg" ] || $wine wineboot -i >/dev/null 2>&1
# Windows links its user-interface fonts to its CJK fonts; the prefix gets the
# same links to the WenQuanYi font (fonts-wqy-microhei), so that "執行" in the
# window (Arial) and the Chinese of the message boxes (the message font) are
# not drawn as boxes.
for face in Arial Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" "Segoe UI"; do
  $wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v "$face" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1
done
# Wine's own Tahoma (the message font) and Marlett (the caption buttons'
# glyphs) from fonts-wine, where this Wine looks for fonts: the Windows folder.
for font in tahoma.ttf tahomabd.ttf marlett.ttf; do
  [ -f "$WINEPREFIX/drive_c/windows/Fonts/$font" ] || cp "/usr/share/wine/fonts/$font" "$WINEPREFIX/drive_c/windows/Fonts/"
done
# No window manager runs on Xvfb: Wine draws the frames and captions itself.
$wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
/usr/lib/wine/wineserver -w  # the next program's desktop must start with the display
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
timeout 300 xvfb-run -a -s "-screen 0 1024x768x24" $wine build-win/docs/vantrel_win32_screenshot.exe "$work"
/usr/lib/wine/wineserver -w
python3 - "$work" docs <<'PY'
# Each 32-bit top-down BMP to a PNG of the same name, with the standard library only.
import pathlib, struct, sys, zlib
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
for bmp in sorted(pathlib.Path(sys.argv[1]).glob("*.bmp")):
    data = bmp.read_bytes()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    height = abs(height)
    if not (0 < width < 4000 and 0 < height < 4000) or len(data) != offset + 4 * width * height:
        sys.exit(f"{bmp.name}: not a {width} x {height} picture")
    rows = b"".join(b"\0" + bytes(c for x in range(width)
                                  for c in data[offset + 4 * (y * width + x):offset + 4 * (y * width + x) + 3][::-1])
                    for y in range(height))
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) \
        + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")
    target = pathlib.Path(sys.argv[2]) / (bmp.stem + ".png")
    target.write_bytes(png)
    print(target)
PY
