#!/bin/bash
# Makes the plot files of this folder with the design and plotting programs that write them
# (Debian packages gnuplot-nox, plotutils, pstoedit, inkscape, dia, fig2dev with xfig-libs,
# kicad with kicad-demos; installed first when missing and run as root). Run from anywhere:
#   tests/plot/realworld/make_corpus.sh
# The files are kept in the tree; run this again only to renew them. CI never runs it.
set -e
here=$(cd "$(dirname "$0")" && pwd)
producers="gnuplot-nox plotutils pstoedit inkscape python3-lxml python3-numpy python3-cssselect python3-tinycss2
  dia fig2dev xfig-libs kicad kicad-demos"
missing=$(for p in $producers; do dpkg -s "$p" >/dev/null 2>&1 || echo "$p"; done)
if [ -n "$missing" ]; then
  apt-get install -y --no-install-recommends $missing
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export HOME="$work"

# gnuplot: lines with axis labels and tick marks, point markers, a surface, an HP-GL/2 page.
gnuplot <<'GP'
set terminal hpgl
set output 'gnuplot_lines.hpgl'
set title 'Sine; cosine'
plot sin(x) with lines, cos(x) with lines
set output 'gnuplot_points.hpgl'
set samples 60
plot sin(x) with points pt 6, x**2/20 with linespoints pt 2
set output 'gnuplot_surface.hpgl'
set isosamples 25
splot sin(sqrt(x**2+y**2))/sqrt(x**2+y**2)
set output 'gnuplot_polar.hpgl'
set polar
set angles degrees
set grid polar 30
set xrange [-1:1]
set yrange [-1:1]
set label 'rose; r=cos(3t)' at 0.5,0.9
plot [0:360] cos(3*t) with lines
unset polar
unset grid
unset label
set terminal pcl5 landscape
set output 'gnuplot_pcl5.hpgl'
plot [-6:6] sin(x)*exp(-x**2/10) with lines
GP

# plotutils: graphs with and without symbols, a rotated label, pic drawings with circles, arcs,
# ellipses and boxes, and a drawing about a centred origin.
seq 0 0.25 20 | awk '{print $1, sin($1)}' > sine.dat
graph -T hpgl -X 'time; s' -Y amplitude -L 'plotutils graph' < sine.dat > plotutils_graph.hpgl
seq 0 0.05 20 | awk '{print $1, cos($1)}' | graph -T hpgl -m 0 -S 4 0.02 > plotutils_markers.hpgl
seq -10 1 10 | awk '{print $1, $1*$1-50}' | graph -T hpgl -x -10 10 -y -60 60 -S 2 > plotutils_centred.hpgl
graph -T hpgl --rotation 90 -L 'turned page' < sine.dat > plotutils_rotated.hpgl
cat > shapes.pic <<'PIC'
.PS
circle rad 0.5 "A"
arc cw
ellipse "B"
box "C; D"
arrow
spline right then up then right
.PE
PIC
pic2plot -T hpgl shapes.pic > plotutils_pic.hpgl
printf '.PS\nfor i = 1 to 8 do { circle rad 0.1*i at (i/3, 0) }\nline from (0,-1) to (3,1)\n.PE\n' > rings.pic
pic2plot -T hpgl rings.pic > plotutils_rings.hpgl

# pstoedit from PostScript: text as labels (HP-GL and HP-GL/2), text as paths, fills, arcs,
# a rotated page and a long roll of shapes.
cat > art.ps <<'PS'
%!PS
/Helvetica findfont 20 scalefont setfont
72 700 moveto (Label; with semicolon) show
newpath 200 500 60 0 360 arc closepath stroke
newpath 300 300 moveto 450 300 lineto 450 420 lineto closepath gsave 0.6 setgray fill grestore stroke
newpath 100 200 moveto 150 260 200 140 250 200 curveto stroke
newpath 400 150 40 30 250 arc stroke
1 setgray newpath 50 50 moveto 80 50 lineto 80 80 lineto fill
showpage
PS
pstoedit -f hpgl art.ps pstoedit_hpgl1.hpgl 2>/dev/null
pstoedit -f 'hpgl:-hpgl2' art.ps pstoedit_hpgl2.hpgl 2>/dev/null
pstoedit -dt -f 'hpgl:-hpgl2' art.ps pstoedit_textpaths.hpgl 2>/dev/null
pstoedit -f plot-hpgl art.ps pstoedit_libplot.hpgl 2>/dev/null
pstoedit -f 'hpgl:-rot90' art.ps pstoedit_rot90.hpgl 2>/dev/null
{
  echo '%!PS'
  echo '<< /PageSize [2880 300] >> setpagedevice'
  for i in $(seq 0 40); do
    x=$((20 + i * 70))
    echo "newpath $x 40 moveto $((x + 50)) 40 lineto $((x + 50)) 120 lineto $x 120 lineto closepath stroke"
    echo "newpath $((x + 25)) 80 15 0 360 arc closepath stroke"
  done
  echo 'newpath 10 200 moveto 2870 200 lineto stroke showpage'
} > roll.ps
pstoedit -f hpgl roll.ps pstoedit_roll.hpgl 2>/dev/null

# Inkscape's own HP-GL export of an SVG drawing: a centred-origin file and a plain one.
cat > shapes.svg <<'SVG'
<svg xmlns="http://www.w3.org/2000/svg" width="200mm" height="80mm" viewBox="0 0 200 80">
  <rect x="10" y="10" width="40" height="30" fill="none" stroke="black"/>
  <circle cx="90" cy="40" r="25" fill="none" stroke="black"/>
  <path d="M130 70 C 150 10, 170 10, 190 70" fill="none" stroke="black"/>
  <path d="M20 60 L 60 75 L 100 60 Z" fill="none" stroke="red"/>
</svg>
SVG
# Inkscape runs its export extensions with the system Python (python3-lxml, python3-numpy,
# python3-cssselect, python3-tinycss2); a Python of its own on PATH would lack them.
PATH=/usr/bin:/bin inkscape shapes.svg --export-type=hpgl --export-filename=inkscape_shapes.hpgl >/dev/null 2>&1
# A long roll: 2 m of shapes in one drawing.
{
  echo '<svg xmlns="http://www.w3.org/2000/svg" width="2000mm" height="100mm" viewBox="0 0 2000 100">'
  for i in $(seq 0 39); do
    x=$((10 + i * 49))
    echo "<rect x=\"$x\" y=\"10\" width=\"40\" height=\"60\" fill=\"none\" stroke=\"black\"/>"
    echo "<circle cx=\"$((x + 20))\" cy=\"40\" r=\"12\" fill=\"none\" stroke=\"black\"/>"
  done
  echo '<path d="M5 90 L 1995 90" stroke="black"/>'
  echo '</svg>'
} > roll.svg
PATH=/usr/bin:/bin inkscape roll.svg --export-type=hpgl --export-filename=inkscape_roll.hpgl >/dev/null 2>&1
# The same export with the options of its dialog: centred origin, speed, force, tool offset.
ext=/usr/share/inkscape/extensions/hpgl_output.py
/usr/bin/python3 $ext --center=true --speed=30 --force=20 shapes.svg > inkscape_centred.hpgl
/usr/bin/python3 $ext --toolOffset=1.0 --overcut=2.0 --precut=true --orientation=90 --mirrorX=true shapes.svg > inkscape_tooloffset.hpgl

# Dia, a diagram editor: its own example diagrams through its HP-GL export (line breaks after
# every command, labels with "DT", arcs that turn more than once, rectangles by "EA").
dia_examples=/usr/share/doc/dia-common/examples
for f in Circuit:circuit arcs:arcs ER-demo:er grafcet:grafcet; do
  dia -n -e "dia_${f#*:}.hpgl" -t hpgl "$dia_examples/${f%%:*}.dia" >/dev/null 2>&1
done

# fig2dev, xfig's exporter, on drawings of xfig's own library: HP-GL/2 in inches as user units
# with the y axis flipped (P1 above P2), every shape a polygon edged by "EP", arcs in polygons,
# labels placed by "CP".
for f in cassette flowchart antennas; do
  fig2dev -L ibmgl "/usr/share/xfig/Libraries/Examples/$f.fig" "fig2dev_$f.hpgl"
done

# KiCad, a circuit-board program: one of its demo boards plotted to HP-GL, the copper layer
# (pads as filled polygons holding a circle, "PM 0; ...CI r;PM 2; FP; EP;") and the silk screen.
cp -r /usr/share/kicad/demos/ecc83 kicad_board
chmod -R u+w kicad_board
cat > kicad_plot.py <<'PY'
import sys, pcbnew
board = pcbnew.LoadBoard(sys.argv[1])
pc = pcbnew.PLOT_CONTROLLER(board)
po = pc.GetPlotOptions()
po.SetOutputDirectory(sys.argv[2])
po.SetPlotFrameRef(False)
po.SetAutoScale(False)
po.SetScale(1)
po.SetMirror(False)
po.SetDrillMarksType(pcbnew.PCB_PLOT_PARAMS.NO_DRILL_SHAPE)
for name, layer in [('copper', pcbnew.F_Cu), ('silk', pcbnew.F_SilkS)]:
    pc.SetLayer(layer)
    pc.OpenPlotfile(name, pcbnew.PLOT_FORMAT_HPGL, name)
    pc.PlotLayer()
pc.ClosePlot()
PY
/usr/bin/python3 kicad_plot.py kicad_board/ecc83-pp.kicad_pcb "$work/kicad_out" >/dev/null 2>&1
cp kicad_out/ecc83-pp-copper.plt kicad_copper.hpgl
cp kicad_out/ecc83-pp-silk.plt kicad_silk.hpgl

for f in *.hpgl; do
  [ -s "$f" ] && cp "$f" "$here/"
done
ls -l "$here"/*.hpgl
