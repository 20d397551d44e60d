#include "engine/calcsettings.h"

bool CalcSettings::operator==(const CalcSettings &o) const
{
    return cableTypes == o.cableTypes && xDSL_points == o.xDSL_points
        && cableCapacity == o.cableCapacity && norm_ELFEXT_frequency == o.norm_ELFEXT_frequency
        && norm_NEXT_frequency == o.norm_NEXT_frequency && Norm_NEXT_points == o.Norm_NEXT_points
        && Norm_ELFEXT_points == o.Norm_ELFEXT_points && cableLengthFrom == o.cableLengthFrom
        && cableLengthTo == o.cableLengthTo && cableLengthStep == o.cableLengthStep
        && lineTypes == o.lineTypes && SNRMargin_points == o.SNRMargin_points
        && noiseTemplate == o.noiseTemplate && maxRate == o.maxRate
        && cableTypesText == o.cableTypesText && xDSL_pointsText == o.xDSL_pointsText
        && norm_ELFEXT_Text == o.norm_ELFEXT_Text && norm_NEXT_Text == o.norm_NEXT_Text
        && SNRMarginText == o.SNRMarginText && lineTypesText == o.lineTypesText
        && sections == o.sections && targetRates == o.targetRates && codingGain == o.codingGain
        && vectoring == o.vectoring && alienDisturbers == o.alienDisturbers && axis == o.axis
        && lossFrequency == o.lossFrequency && lossFrom == o.lossFrom && lossTo == o.lossTo
        && lossStep == o.lossStep;
}
