#!/usr/bin/env bash
# Pictures of the window in its four states, under Xvfb, into docs/.
#   docs/screenshots.sh [DATABASE]   (default: a copy of the Northwind corpus file)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps
scripts/build build >/dev/null
source=${1:-../shared/corpus/nw-lordkarnak.mdb}
work=$(mktemp -d)
cp "$source" "$work/"
chmod u+w "$work/$(basename "$source")"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
  build/docs/vantrel_screenshots "$work/$(basename "$source")" docs
rm -rf "$work"
