// A host in the usual order: discover, connect, configure, acquire, read errors, disconnect; plus a few
// calls straight to the facade's members through the global `trelvan`, and a protocol vocabulary lookup.
// Usage: trelvan-host-example [INDEX]   (default: the first instrument found)
// Exit status: 0 with samples read, 1 on a failure, 2 when no instrument is found.
#include <trelvan/Trelvan.h>
#include <trelvan/Vocabulary.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const std::vector<DeviceData> devices = getDevList();
    for (std::size_t i = 0; i < devices.size(); ++i)
        std::printf("%zu: %s %s at %s%s\n", i, devices[i].model.c_str(), devices[i].serial.c_str(),
                    devices[i].address, devices[i].busy ? " (busy)" : "");
    const std::size_t index = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 0;
    if (index >= devices.size()) {
        std::fprintf(stderr, "no instrument %zu found\n", index);
        return 2;
    }

    if (!setConnect(devices[index])) {
        std::fprintf(stderr, "cannot connect: status %d\n", getStatus());
        return 1;
    }
    const Params lo = getParameters(MIN), hi = getParameters(MAX);
    std::printf("sample rate %.0f .. %.0f Hz\n", lo.sampleRate, hi.sampleRate);

    setParam(Params{1e9, 5e6, -10});
    setNumPts(4096);
    QVector<IQ_Elem> samples;
    getData(&samples);

    double power = 0;
    for (const IQ_Elem& s : samples) power += s.I * s.I + s.Q * s.Q;
    if (!samples.isEmpty()) power /= samples.size();
    std::printf("%d samples at %.0f Hz, mean power %.1f dBm\n", samples.size(), getCurSampleRate(),
                10 * std::log10(power / 50 * 1000 + 1e-30));

    // The facade's members are exported as well. An N9030A can also be read in one binary block over the
    // facade's own session, and its error queue one entry at a time (other instruments give nothing here).
    const std::vector<std::complex<double>> block = trelvan.getData(0.0);
    const std::string queued = trelvan.getErrors(0);
    std::printf("binary capture: %zu samples; error queue: %s\n", block.size(),
                queued.empty() ? "-" : queued.substr(0, queued.find_last_not_of("\r\n") + 1).c_str());
    // The SK protocol's status codes by name, as its replies and CHead::Check report them.
    std::printf("SK status 0 is %s\n", GetErrorName(0));

    for (const Error& e : getError())
        if (e.code != 0) std::printf("reported: %d %s\n", e.code, qPrintable(e.text));
    const int status = getStatus();
    setDisconnect();
    return !samples.isEmpty() && status == 0 ? 0 : 1;
}
