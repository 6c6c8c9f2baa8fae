// Configuration, acquisition and post-processing of the SK session. Not built yet: each operation
// here does nothing and returns an empty result, so a session can be constructed and idles safely.
#include "backends/sk/SK.h"

void SK::setParams(Params&) {}

void SK::setNumPoints(int) {}

void SK::getData(QVector<IQ_Elem>*) {}

void SK::SendPreSequence() {}

void SK::ReadPreSequence() {}

void SK::GetParamsLim() {}

void SK::SendDisableAutoCalibration() {}

void SK::ReadDisableAutoCalibration() {}

void SK::CalcMultCoef() {}

void SK::calcNewSampleRate() {}

unsigned SK::CalcIQClockToSend(unsigned) {
    return 0;
}

void SK::GetSamples(std::vector<std::complex<double>>*, unsigned, unsigned& received) {
    received = 0;
}

void SK::SendRunSequence(unsigned, unsigned, unsigned, unsigned* sent) {
    if (sent != nullptr) *sent = 0;
}

void SK::GetNewAFC(std::vector<double>*, std::vector<double>*) {}

double SK::GetInterpolatedValue(double, const std::vector<double>&, const std::vector<double>&) {
    return 0;
}

void SK::PostProcessing(std::vector<std::complex<double>>*) {}
