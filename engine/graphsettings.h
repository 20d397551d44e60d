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
    bool targetLines = true;     // the run's target rates as lines, with the reach of each curve

    bool operator==(const GraphSettings &o) const
    {
        return lengthMax == o.lengthMax && lengthGridStep == o.lengthGridStep
            && lengthLabelStep == o.lengthLabelStep && rateMax == o.rateMax
            && rateGridStep == o.rateGridStep && rateLabelStep == o.rateLabelStep
            && markVisible == o.markVisible && markStep == o.markStep
            && markFontSize == o.markFontSize && colorCurves == o.colorCurves
            && lineWidth == o.lineWidth && legendFontSize == o.legendFontSize
            && targetLines == o.targetLines;
    }
    bool operator!=(const GraphSettings &o) const { return !(*this == o); }
};

// The graph options' bounds as the options dialog's spin boxes give them, shared with setup files.
namespace GraphInput {
struct IntField {
    const char *key;          // the name in a setup file
    int GraphSettings::*field;
    int min;
    int max;
};
struct BoolField {
    const char *key;
    bool GraphSettings::*field;
};
inline constexpr IntField LengthMax{"lengthMax", &GraphSettings::lengthMax, 1, 30000};
inline constexpr IntField LengthGridStep{"lengthGridStep", &GraphSettings::lengthGridStep, 1, 10000};
inline constexpr IntField LengthLabelStep{"lengthLabelStep", &GraphSettings::lengthLabelStep, 1, 10000};
inline constexpr IntField RateMax{"rateMax", &GraphSettings::rateMax, 1, 1000000};
inline constexpr IntField RateGridStep{"rateGridStep", &GraphSettings::rateGridStep, 1, 100000};
inline constexpr IntField RateLabelStep{"rateLabelStep", &GraphSettings::rateLabelStep, 1, 100000};
inline constexpr IntField MarkStep{"markStep", &GraphSettings::markStep, 1, 100000};
inline constexpr IntField MarkFontSize{"markFontSize", &GraphSettings::markFontSize, 8, 30};
inline constexpr IntField LineWidth{"lineWidth", &GraphSettings::lineWidth, 1, 10};
inline constexpr IntField LegendFontSize{"legendFontSize", &GraphSettings::legendFontSize, 8, 30};
inline constexpr BoolField MarkVisible{"markVisible", &GraphSettings::markVisible};
inline constexpr BoolField ColorCurves{"colorCurves", &GraphSettings::colorCurves};
inline constexpr BoolField TargetLines{"targetLines", &GraphSettings::targetLines};

// In the record's field order.
inline constexpr const IntField *IntFields[] = {&LengthMax, &LengthGridStep, &LengthLabelStep, &RateMax,
                                                &RateGridStep, &RateLabelStep, &MarkStep, &MarkFontSize,
                                                &LineWidth, &LegendFontSize};
inline constexpr const BoolField *BoolFields[] = {&MarkVisible, &ColorCurves, &TargetLines};

// The six values that fix the axes (maximum, grid and label step of each).
inline bool isAxis(const IntField &f)
{
    return f.field == LengthMax.field || f.field == LengthGridStep.field || f.field == LengthLabelStep.field
        || f.field == RateMax.field || f.field == RateGridStep.field || f.field == RateLabelStep.field;
}
} // namespace GraphInput
