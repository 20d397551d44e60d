// The benchmark's own workloads, coarsely sampled: the production sweep must equal the
// step-by-step reference to the bit, or the timings compare different things.

#include "engine/lineratemodel.h"
#include "referencemodel.h"
#include "workloads.h"

#include <cstdio>
#include <cstring>

namespace {

quint32 bits(float f)
{
    quint32 b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

int compare(const char *what, const LineTypeTemplate &line, int m, const QVector<float> &margins,
            int step, const ModelOptions &options = {})
{
    const CableTemplate cable = workload::thinCable();
    const NoiseTemplate noise = workload::whiteNoise();
    const LineRateModel model(cable, line, noise, 300, 300);
    const reference::Model literal{cable, line, noise, 300, 300, {}, options.codingGain, options.vectoring,
                                   options.alienDisturbers};
    RateSweep sweep(model, m, 40, 50, margins, options);
    QVector<float> out(margins.size());
    int mismatches = 0;
    for (float L : workload::lengths(step)) {
        sweep.evaluate(L, out.data());
        for (int j = 0; j < margins.size(); ++j) {
            const float expected = literal.rate(m, 40, 50, margins[j], L);
            if (bits(out[j]) != bits(expected)) {
                std::fprintf(stderr, "%s, m=%d, margin %g, L %g: %.9g instead of %.9g\n", what, m,
                             double(margins[j]), double(L), double(out[j]), double(expected));
                ++mismatches;
            }
        }
    }
    return mismatches;
}

} // namespace

int main()
{
    int mismatches = 0;
    for (int m : workload::loads())
        mismatches += compare("DMT", workload::wideDmt(), m, workload::tenMargins(), 250);
    for (int aliens : {0, 2})
        for (int m : {4, 10})
            mismatches += compare("vectored DMT", workload::wideDmt(), m, {6}, 250, workload::vectoredBinder(aliens));
    for (int K : {2, 3})
        for (int m : workload::loads())
            mismatches += compare(K == 2 ? "PAM K=2" : "PAM K=3", workload::symmetricPam(K), m,
                                  {0}, 730);
    if (mismatches)
        std::fprintf(stderr, "%d rates differ from the reference\n", mismatches);
    return mismatches == 0 ? 0 : 1;
}
