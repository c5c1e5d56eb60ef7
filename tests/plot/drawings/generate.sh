#!/usr/bin/env bash
# Writes the PDF files of the drawing tests with Inkscape, as a designer exports them: each SVG
# here (drawn by hand, or one of Inkscape's bundled examples copied in by this script) becomes
# NAME.pdf beside it. The test reads both and expects the same cut. Run it again only when an
# SVG changes; the generated files are kept in the tree so the tests need no Inkscape. The
# examples come with Inkscape under the GNU GPL, which this project's licence is compatible with.
#   tests/plot/drawings/generate.sh
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
examples=/usr/share/inkscape/examples
command -v inkscape >/dev/null || { echo "generate.sh: inkscape is not installed" >&2; exit 1; }
for name in live-path-effects-gears; do
  cp "$examples/$name.svg" "$here/$name.svg"
done
for svg in "$here"/*.svg; do
  inkscape --export-type=pdf --export-filename="${svg%.svg}.pdf" "$svg" 2>/dev/null
done
inkscape --version 2>/dev/null | head -n1 > "$here/INKSCAPE_VERSION"
