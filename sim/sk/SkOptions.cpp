#include "SkOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <utility>

namespace sim::sk {

namespace {
const std::pair<const char*, Fault::Kind> kKinds[] = {
    {"bad-signature", Fault::BadSignature},
    {"odd-bodylen", Fault::OddBodyLen},
    {"oversized-bodylen", Fault::OversizedBodyLen},
    {"cut-short", Fault::CutShort},
    {"wrong-param", Fault::WrongParameterId},
    {"empty-data", Fault::EmptyData},
    {"header-status", Fault::HeaderStatus},
    {"body-status", Fault::BodyStatus},
    {"stop", Fault::StopReplying},
    {"drip", Fault::Drip},
    {"delay", Fault::Delay},
};
const std::pair<const char*, int> kCommands[] = {{"test", cmd::Test}, {"reset", cmd::Reset},
                                                 {"init", cmd::Init}, {"set", cmd::Set},
                                                 {"get", cmd::Get},   {"run", cmd::Run}};
const std::pair<const char*, int> kParameters[] = {
    {"P_MODE", param::Mode},
    {"P_CLK", param::Clk},
    {"P_RRS_FREQUENCY", param::RrsFrequency},
    {"P_IF_FILTER_BANDWIDTH", param::IfFilterBandwidth},
    {"P_VIDEO_FILTER_BANDWIDTH", param::VideoFilterBandwidth},
    {"P_RRS_REFERENCE_LEVEL", param::RrsReferenceLevel},
    {"P_SAMPLE_RATE", param::SampleRate},
    {"P_RESPONSE_FREQUENCY", param::ResponseFrequency},
    {"P_RESPONSE_AMPLITUDE", param::ResponseAmplitude},
    {"P_PREFILTERS_CALIBRATION", param::PrefiltersCalibration},
};

bool toDouble(const std::string& s, double* v) {
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    *v = std::strtod(s.c_str(), &end);
    return errno == 0 && *end == '\0' && std::isfinite(*v);
}

bool toInt(const std::string& s, long lo, long hi, int* v) {
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long x = std::strtol(s.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || x < lo || x > hi) return false;
    *v = int(x);
    return true;
}

template <std::size_t N>
bool lookup(const std::pair<const char*, int> (&table)[N], const std::string& s, int* v) {
    for (const auto& e : table)
        if (s == e.first) return (*v = e.second), true;
    return toInt(s, 0, 65535, v);
}
}  // namespace

const char* usage() {
    return "Usage: trelvan-sim-sk [options]\n"
           "An emulated SK signal analyzer answering the binary SK protocol over TCP.\n"
           "  --listen ADDR:PORT   listen there (default 127.0.0.1:8888; port 0 picks a free one)\n"
           "  --tone OFFSET:LEVEL  a tone OFFSET Hz from the centre at LEVEL dBm; repeat for more\n"
           "                       (default one tone, 100000:-20)\n"
           "  --no-tones           noise only\n"
           "  --noise DBM          noise power over the sample rate (default -90; -400 for none)\n"
           "  --points N           points of the frequency-response table (default 161)\n"
           "  --tilt DB            rise of the response across the table (default 6)\n"
           "  --ripple DB          ripple of the response, +-DB (default 1.5)\n"
           "  --seed N             seed of the noise\n"
           "  --delay-ms MS        answer every request MS milliseconds late\n"
           "  --fault FAULT        spoil replies; repeat for more. FAULT is\n"
           "                       KIND[:ARG][,command=C][,param=P][,skip=N][,count=N]\n"
           "                       KIND: bad-signature odd-bodylen oversized-bodylen cut-short wrong-param\n"
           "                             empty-data header-status body-status stop drip delay\n"
           "                       ARG: status code, BodyLen, parameter ID, bytes kept or milliseconds\n"
           "                       C: number or test|reset|init|set|get|run; P: number or name (P_CLK)\n"
           "                       count=-1 spoils every matching reply (default 1)\n"
           "  --verbose            print every request on stderr\n"
           "  --help               this text\n";
}

bool parseFault(const std::string& text, Fault* f, std::string* error) {
    *f = Fault{};
    std::stringstream ss(text);
    std::string field;
    bool first = true;
    while (std::getline(ss, field, ',')) {
        if (first) {
            first = false;
            const std::size_t colon = field.find(':');
            const std::string kind = field.substr(0, colon);
            bool found = false;
            for (const auto& k : kKinds)
                if (kind == k.first) f->kind = k.second, found = true;
            if (!found) return (*error = "unknown fault kind: " + kind), false;
            if (colon != std::string::npos && !toInt(field.substr(colon + 1), -32768, 65535, &f->arg))
                return (*error = "bad fault argument: " + field), false;
            continue;
        }
        const std::size_t eq = field.find('=');
        const std::string key = field.substr(0, eq),
                          value = eq == std::string::npos ? "" : field.substr(eq + 1);
        bool ok = false;
        if (key == "command")
            ok = lookup(kCommands, value, &f->command);
        else if (key == "param")
            ok = lookup(kParameters, value, &f->parameter);
        else if (key == "skip")
            ok = toInt(value, 0, 1 << 30, &f->skip);
        else if (key == "count")
            ok = toInt(value, -1, 1 << 30, &f->count);
        if (!ok) return (*error = "bad fault field: " + field), false;
    }
    if (first) return (*error = "empty fault"), false;
    return true;
}

bool parseOptions(const std::vector<std::string>& args, Options* o, std::string* error) {
    bool toneGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string* v) {
            if (i + 1 >= args.size()) return (*error = a + " needs a value"), false;
            *v = args[++i];
            return true;
        };
        auto number = [&](double* d) {
            std::string v;
            if (!value(&v)) return false;
            if (!toDouble(v, d)) return (*error = "bad number for " + a + ": " + v), false;
            return true;
        };
        std::string v;
        double d = 0;
        int n = 0;
        if (a == "--help" || a == "-h") {
            o->help = true;
        } else if (a == "--verbose") {
            o->verbose = true;
        } else if (a == "--no-tones") {
            o->settings.tones.clear();
            toneGiven = true;
        } else if (a == "--listen") {
            if (!value(&v)) return false;
            const std::size_t colon = v.rfind(':');
            if (colon == std::string::npos || !toInt(v.substr(colon + 1), 0, 65535, &n))
                return (*error = "--listen wants ADDR:PORT, got " + v), false;
            o->address = v.substr(0, colon);
            o->port = uint16_t(n);
        } else if (a == "--tone") {
            if (!value(&v)) return false;
            const std::size_t colon = v.find(':');
            Tone t{};
            if (colon == std::string::npos || !toDouble(v.substr(0, colon), &t.offsetHz) ||
                !toDouble(v.substr(colon + 1), &t.levelDbm))
                return (*error = "--tone wants OFFSET:LEVEL, got " + v), false;
            if (!toneGiven) o->settings.tones.clear();
            toneGiven = true;
            o->settings.tones.push_back(t);
        } else if (a == "--noise") {
            if (!number(&o->settings.noiseDbm)) return false;
        } else if (a == "--points") {
            if (!value(&v)) return false;
            if (!toInt(v, 0, 2000, &o->settings.responsePoints))
                return (*error = "--points wants 0 to 2000, got " + v), false;
        } else if (a == "--tilt") {
            if (!number(&o->settings.tiltDb)) return false;
        } else if (a == "--ripple") {
            if (!number(&o->settings.rippleDb)) return false;
        } else if (a == "--seed") {
            if (!number(&d) || d < 0) return (*error = "bad --seed"), false;
            o->settings.seed = uint64_t(d);
        } else if (a == "--delay-ms") {
            if (!value(&v)) return false;
            Fault f;
            f.kind = Fault::Delay;
            f.count = -1;
            if (!toInt(v, 1, 3600000, &f.arg)) return (*error = "bad --delay-ms: " + v), false;
            o->faults.push_back(f);
        } else if (a == "--fault") {
            Fault f;
            if (!value(&v) || !parseFault(v, &f, error)) return false;
            o->faults.push_back(f);
        } else {
            return (*error = "unknown option: " + a), false;
        }
    }
    return true;
}

std::string describe(const Request& r) {
    std::ostringstream s;
    s << "#" << r.connection << " seq " << r.sequence << " command " << r.command;
    if (r.badSignature) s << " (bad signature)";
    if (r.parameter >= 0) s << " param " << r.parameter;
    s << " lenFrac 0x" << std::hex << int(r.lenFrac) << std::dec << " bodyLen " << r.bodyLen;
    if (!r.values.empty()) {
        s << " {";
        for (std::size_t i = 0; i < r.values.size(); ++i) s << (i ? ", " : "") << r.values[i];
        s << "}";
    }
    return s.str();
}

}  // namespace sim::sk
