#pragma once

// The rate graph as a function of values: settle the axes, then draw into any QPainter. QtGui
// only; the screen widget, the image and PDF exports and anything that prints call the same
// drawGraph, so they show the same picture for the same size and font.

#include "engine/calcrun.h"
#include "engine/calcsettings.h"
#include "engine/resultset.h"
#include "engine/targettables.h"
#include "drawing/graphsettings.h"

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QPointF>
#include <QRect>
#include <QSize>
#include <QVector>

#include <optional>

class QFontMetrics;
class QPainter;
class QPalette;

// How the axes are settled: from the run (maximum length and rate) or from the user's options,
// widened where labels would overlap.
enum ScaleMode { AutoScale = 1, UserScale = 2 };

// Rounds up to two significant digits; values below 100 stay as they are.
int niceCeiling(int value);
// Grid intervals per label interval, chosen from the leading digit so grid steps stay round.
int gridDivisions(int value);

constexpr int graphPaletteSize = 14;
// The fourteen curve colours, or fourteen times black for black-and-white output.
const QVector<QColor> &graphCurvePalette(bool colorCurves = true);
// Colour of curve (or conditions group entry) `index`; from the fifteenth on the palette repeats.
QColor graphCurveColor(int index, bool colorCurves = true);
// The grid's colour for a palette: its Dark role, lightened so the curves stand out.
QColor graphGridColor(const QPalette &palette);
// The dashed lines of the target rates and their values.
QColor graphTargetLineColor();
// A reach tick reaches this far (px) above and below its target line.
constexpr int graphReachTickHalf = 4;

// What the automatic scale and the mark positions depend on in a run. On a loss axis the
// horizontal axis counts tenths of a dB, is always scaled to the run (the user's axis values are
// lengths) and its labels read in dB.
struct GraphExtent {
    int lengthTo = 0;   // m (tenths of a dB), the last calculated point
    int lengthStep = 0; // distance of the calculated points; marks sit on its multiples
    int maxRate = 0;    // kbit/s, the largest rate of the run
    bool loss = false;
};
GraphExtent graphExtent(const CalcSettings &calc);
// Units of the horizontal axis per unit of a row's `length`: 1 for metres, 10 on a loss axis,
// whose rows hold dB.
double graphAxisScale(const CalcSettings &calc);

// The frame of the plot inside `area`: room for the rate labels on the left, the length labels
// below, the axis names above and on the right. Inclusive corners, as the drawing uses them.
QRect graphPlotRect(const QRect &area);

// Pure: the six axis fields and markStep as a drawing of `plotSize` uses them; the other fields
// are returned unchanged. Labels stand at their values' true positions. AutoScale takes the
// maxima from `extent` and label steps from the 1-2-5 series; UserScale keeps the requested
// maxima and steps. Either way a step is legible when its labels (as wide as the length maximum,
// as tall as a line of `axisMetrics`) stand apart and its grid lines do not merge; one that is
// not is widened to the next legible 1-2-5 value. So settled values settle to themselves: the
// automatic axes handed back as the user's draw the same graph. Keep the request and settle it
// anew for every size: settled values fed back in would carry the widening of a small window
// into every later size.
GraphSettings settleGraphAxes(const GraphSettings &requested, ScaleMode mode, const GraphExtent &extent,
                              const QSize &plotSize, const QFontMetrics &axisMetrics);

// What one calculation gives the graph. Whatever else a run is to show (lines or ticks drawn
// from its results) belongs here, so it reaches every drawing and every copy unchanged.
struct GraphRun {
    CalcSettings calc; // conditions block, length step, maximum rate, target rates
    ResultSet rows;    // one point per row and curve that has a loop there
    ReachTable reach;  // where each curve leaves each target rate, in the horizontal axis's units
};
// What a calculation shows on the graph: a reach over losses in tenths of a dB.
GraphRun graphRunOf(const CalcRun &run);

// A run as the graph shows it, before its axes are settled for a particular area and font.
struct GraphSource {
    GraphSettings settings; // the look; in UserScale the axis values as the user asked for them
    ScaleMode scaleMode = AutoScale;
    GraphRun run;
    QColor gridColor = QColor(239, 239, 239); // graphGridColor of the standard palette
};

// Everything one drawing reads, settled and ready: drawGraph changes none of it.
struct GraphPicture {
    GraphSettings settings; // axis values and mark step settled (settleGraphAxes)
    GraphRun run;
    QColor gridColor = QColor(239, 239, 239);
    QDateTime stamp;        // last line of the conditions block
    QFont axisFont;         // tick labels and axis names
    QFont markFont;         // letters on the curves
    QFont legendFont;       // the conditions block
};

// Settles `source` for drawing into `area` with `painter`: the axis texts are set in the
// painter's current font and measured on its device, which is all `painter` is used for.
GraphPicture settleGraph(const GraphSource &source, const QRect &area, QPainter &painter,
                         const QDateTime &stamp = QDateTime::currentDateTime());

// A text of a drawing where it stands, in the painter's coordinates.
struct GraphText {
    QRect box;
    QString text;
};

// Draws the whole graph into `area` (in the painter's coordinates; scale a page through the
// painter's transform). Some texts reach a little past the area (the rate axis name on the
// left, long conditions lines on the right); clip the painter to keep them in. The painter's
// state is restored afterwards. No text covers another: axis labels that would run into an axis
// name, and values or curve letters that find no free place near their point, are left out.
// Returns the texts drawn (the conditions block as one, its lines joined by '\n').
QVector<GraphText> drawGraph(QPainter &painter, const QRect &area, const GraphPicture &picture);

// Where a curve point at `length` and `rate` lies in `plot` (graphPlotRect), in single precision
// as the curves are drawn. Points above the maximum lie outside the plot.
QPointF graphPoint(const QRect &plot, const GraphSettings &settled, float length, float rate);

// Reading values off the graph.

// The length (m) at horizontal position `x` in `plot`: the inverse of graphPoint.
double graphLengthAt(const QRect &plot, const GraphSettings &settled, double x);
// Rate (kbit/s) of `curve` at `length` (as the rows hold it), linear between the computed points of
// `rows`; nullopt outside the computed lengths or where a row lacks the curve or its loop.
std::optional<double> graphRateAt(const ResultSet &rows, int curve, double length);
// Index of the row whose length is nearest to `length`; the earlier of two equally near; -1 for
// no rows.
int nearestGraphRow(const ResultSet &rows, double length);

// What the cursor reads at one point of the horizontal axis: the length in whole metres (a loss in
// tenths of a dB) and each curve's rate there.
struct GraphReadout {
    int length = 0;                      // in the horizontal axis's units
    QVector<std::optional<double>> rates; // kbit/s, one per curve of the run
    bool loss = false;
};
GraphReadout graphReadout(const GraphRun &run, int length);
// "L=1250 м: a 12346, b 9877 кбит/с" (rounded to whole kbit/s), "A=31.5 дБ: ..." on a loss axis;
// a curve without a value there shows "—".
QString graphReadoutText(const GraphReadout &readout);

// Draws the read-out over a drawn `picture` of `area`: a thin vertical line at `x` across the
// plot, a dot where it meets each curve, and a box beside it with the length and each curve's
// letter and rate in the curve's colour. The painter's state is restored afterwards.
void drawGraphCursor(QPainter &painter, const QRect &area, const GraphPicture &picture, int x);
// Colour of the cursor's vertical line.
QColor graphCursorColor();
