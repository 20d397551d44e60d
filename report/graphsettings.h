#pragma once

// Everything that decides the look of the rate graph. The drawing writes back the axis
// values and the mark step it settled on; the options dialog copies the user's entries in.
struct GraphSettings {
    int lengthMax = 8000;        // m
    int lengthGridStep = 400;    // m
    int lengthLabelStep = 2000;  // m
    int rateMax = 22000;         // kbit/s
    int rateGridStep = 1000;     // kbit/s
    int rateLabelStep = 1000;    // kbit/s
    bool markVisible = true;
    int markStep = 1000;         // m
    int markFontSize = 14;       // pt
    bool colorCurves = true;
    int lineWidth = 1;           // px
    int legendFontSize = 8;      // pt

    bool operator==(const GraphSettings &o) const
    {
        return lengthMax == o.lengthMax && lengthGridStep == o.lengthGridStep
            && lengthLabelStep == o.lengthLabelStep && rateMax == o.rateMax
            && rateGridStep == o.rateGridStep && rateLabelStep == o.rateLabelStep
            && markVisible == o.markVisible && markStep == o.markStep
            && markFontSize == o.markFontSize && colorCurves == o.colorCurves
            && lineWidth == o.lineWidth && legendFontSize == o.legendFontSize;
    }
    bool operator!=(const GraphSettings &o) const { return !(*this == o); }
};
