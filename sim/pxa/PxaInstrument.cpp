#include "PxaInstrument.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace sim {

using scpi::mnemonicMatches;
using scpi::Unit;

namespace {

const std::vector<scpi::UnitScale> kFrequencyUnits = {{"HZ", 0}, {"KHZ", 3}, {"MHZ", 6}, {"GHZ", 9}};
const std::vector<scpi::UnitScale> kPowerUnits = {{"DBM", 0}};
constexpr const char* kFirmware = "A.01.00";
constexpr std::size_t kChunkSamples = 4096;

void putFloat(float value, bool leastFirst, char* out) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 4; ++i) out[leastFirst ? i : 3 - i] = static_cast<char>(bits >> (8 * i));
}

// A quoted string parameter without its quotes; false when it is not one.
bool unquote(const std::string& arg, std::string& text) {
    if (arg.size() < 2 || (arg[0] != '\'' && arg[0] != '"') || arg.back() != arg[0]) return false;
    text = arg.substr(1, arg.size() - 2);
    return true;
}

}  // namespace

PxaInstrument::PxaInstrument() {
    buildCommands();
    signal_.setNoiseDbm(-90.0);
    reset();
    mode_ = 1;
}

void PxaInstrument::reset() {
    center_ = 1e9;
    span_ = 1e7 / kSpanToSampleRate;
    range_ = 0.0;
    rbw_ = kRbwPoints * sampleRate() / 1000;
    ascii_ = true;
    swapped_ = false;
    recouple();
}

void PxaInstrument::setTone(double offsetHz, double levelDbm) {
    tone_ = Tone{offsetHz, levelDbm};
    recouple();
}

void PxaInstrument::setNoiseDbm(double dbm) {
    signal_.setNoiseDbm(dbm);
}

PxaSettings PxaInstrument::settings() const {
    return PxaSettings{center_, span_, sampleRate(), rbw_, range_, points(), mode_, ascii_, swapped_};
}

double PxaInstrument::rbwMin() const {
    return std::ceil(kRbwPoints * sampleRate() / kPointsMax);
}

double PxaInstrument::rbwMax() const {
    return std::floor(kRbwPoints * sampleRate() / kPointsMin);
}

long long PxaInstrument::points() const {
    return std::clamp(std::llround(kRbwPoints * sampleRate() / rbw_), kPointsMin, kPointsMax);
}

// The resolution bandwidth follows the span into its new limits, and a tone leaves the input when the
// span no longer covers it.
void PxaInstrument::recouple() {
    rbw_ = std::clamp(rbw_, rbwMin(), rbwMax());
    const bool inBand = std::fabs(tone_.offsetHz) <= span_ / 2;
    const std::vector<Tone>& now = signal_.tones();
    const bool unchanged =
        inBand ? now.size() == 1 && now[0].offsetHz == tone_.offsetHz && now[0].levelDbm == tone_.levelDbm
               : now.empty();
    if (!unchanged) signal_.setTones(inBand ? std::vector<Tone>{tone_} : std::vector<Tone>{});
}

void PxaInstrument::pushError(int code, const char* text) {
    if (errors_.size() >= kErrorQueueSize) {
        errors_.back() = {-350, "Queue overflow"};
        return;
    }
    errors_.emplace_back(code, text);
}

std::string PxaInstrument::popError() {
    std::pair<int, std::string> entry{0, "No error"};
    if (faults_.errorQueueNeverEmpties) {
        entry = errors_.empty() ? std::pair<int, std::string>{-350, "Queue overflow"} : errors_.front();
    } else if (!errors_.empty()) {
        entry = errors_.front();
        errors_.pop_front();
    }
    return (entry.first >= 0 ? "+" : "") + std::to_string(entry.first) + ",\"" + entry.second + "\"";
}

bool PxaInstrument::oneArg(const Unit& unit) {
    if (unit.args.empty()) {
        pushError(-109, "Missing parameter");
        return false;
    }
    if (unit.args.size() > 1) {
        pushError(-108, "Parameter not allowed");
        return false;
    }
    return true;
}

bool PxaInstrument::setNumber(const Unit& unit, const std::vector<scpi::UnitScale>& units, double lo,
                              double hi, double& target) {
    if (!oneArg(unit)) return false;
    const std::string& arg = unit.args[0];
    double value = 0;
    if (mnemonicMatches("MINimum", arg)) {
        value = lo;
    } else if (mnemonicMatches("MAXimum", arg)) {
        value = hi;
    } else {
        switch (scpi::parseNumber(arg, units, value)) {
            case scpi::NumberResult::Ok:
                break;
            case scpi::NumberResult::NotANumber:
                pushError(-104, "Data type error");
                return false;
            case scpi::NumberResult::BadSuffix:
                pushError(-131, "Invalid suffix");
                return false;
        }
    }
    if (value < lo || value > hi) {
        value = std::clamp(value, lo, hi);
        pushError(-222, "Data out of range");
    }
    target = value;
    return true;
}

void PxaInstrument::queryNumber(const Unit& unit, double lo, double hi, double current, std::string& reply) {
    double value = current;
    if (unit.args.size() == 1 && mnemonicMatches("MINimum", unit.args[0])) {
        value = lo;
    } else if (unit.args.size() == 1 && mnemonicMatches("MAXimum", unit.args[0])) {
        value = hi;
    } else if (!unit.args.empty()) {
        pushError(-224, "Illegal parameter value");
        return;
    }
    reply += scpi::formatNumber(value);
}

void PxaInstrument::addCommand(const char* pattern, bool settable, bool queryable, Handler run) {
    commands_.push_back(Command{scpi::Pattern(pattern), settable, queryable, std::move(run)});
}

void PxaInstrument::buildCommands() {
    addCommand("*IDN", false, true, [this](const Unit&, std::string& r) {
        r += "Keysight Technologies,N9030A," + serial_ + "," + kFirmware;
    });
    addCommand("*RST", true, false, [this](const Unit&, std::string&) { reset(); });
    addCommand("*CLS", true, false, [this](const Unit&, std::string&) { errors_.clear(); });
    addCommand("*OPC", true, true, [this](const Unit& u, std::string& r) {
        if (!u.query) return;
        r += faults_.opc == PxaFaults::Opc::Zero      ? "0"
             : faults_.opc == PxaFaults::Opc::Garbage ? "#OPC!"
                                                      : "1";
    });
    addCommand("*WAI", true, false, [](const Unit&, std::string&) {});

    addCommand("INSTrument:COUPle:DEFault", true, false, [this](const Unit&, std::string&) {
        rbw_ = kRbwPoints * sampleRate() / 1000;
        recouple();
    });
    addCommand("SYSTem:DEFault", true, false, [this](const Unit& u, std::string&) {
        if (u.args.size() > 1 || (u.args.size() == 1 && !mnemonicMatches("ALL", u.args[0]))) {
            pushError(-224, "Illegal parameter value");
            return;
        }
        reset();
        mode_ = 1;
    });
    addCommand("INSTrument:DEFault", true, false, [this](const Unit&, std::string&) { reset(); });
    addCommand("INSTrument:NSELect", true, true, [this](const Unit& u, std::string& r) {
        if (u.query) {
            r += std::to_string(mode_);
            return;
        }
        double mode = 0;
        if (!oneArg(u)) return;
        if (scpi::parseNumber(u.args[0], {}, mode) != scpi::NumberResult::Ok || mode != std::trunc(mode) ||
            mode < 1 || mode > 999) {
            pushError(-224, "Illegal parameter value");
            return;
        }
        mode_ = static_cast<int>(mode);
    });

    addCommand("[SENSe]:FREQuency:SPAN", true, true, [this](const Unit& u, std::string& r) {
        if (u.query) return queryNumber(u, kSpanMin, kSpanMax, span_, r);
        if (setNumber(u, kFrequencyUnits, kSpanMin, kSpanMax, span_)) recouple();
    });
    addCommand("[SENSe]:FREQuency[:RF]:CENTer", true, true, [this](const Unit& u, std::string& r) {
        if (u.query) return queryNumber(u, kCenterMin, kCenterMax, center_, r);
        setNumber(u, kFrequencyUnits, kCenterMin, kCenterMax, center_);
    });
    addCommand("[SENSe]:POWer[:RF]:RANGe", true, true, [this](const Unit& u, std::string& r) {
        if (u.query) return queryNumber(u, kRangeMin, kRangeMax, range_, r);
        setNumber(u, kPowerUnits, kRangeMin, kRangeMax, range_);
    });
    addCommand("[SENSe]:VECTor:BWIDth|BANDwidth:RESolution", true, true,
               [this](const Unit& u, std::string& r) {
                   if (u.query) return queryNumber(u, rbwMin(), rbwMax(), rbw_, r);
                   setNumber(u, kFrequencyUnits, rbwMin(), rbwMax(), rbw_);
               });

    addCommand("FORMat[:TRACe][:DATA]", true, true, [this](const Unit& u, std::string& r) {
        if (u.query) {
            r += ascii_ ? "ASC,8" : "REAL,32";
            return;
        }
        if (u.args.empty()) return pushError(-109, "Missing parameter");
        if (mnemonicMatches("ASCii", u.args[0]) && u.args.size() <= 2) {
            ascii_ = true;
        } else if (mnemonicMatches("REAL", u.args[0]) &&
                   (u.args.size() == 1 || (u.args.size() == 2 && u.args[1] == "32"))) {
            ascii_ = false;
        } else {
            pushError(-224, "Illegal parameter value");
        }
    });
    addCommand("FORMat:BORDer", true, true, [this](const Unit& u, std::string& r) {
        if (u.query) {
            r += swapped_ ? "SWAP" : "NORM";
            return;
        }
        if (!oneArg(u)) return;
        if (mnemonicMatches("SWAPped", u.args[0]))
            swapped_ = true;
        else if (mnemonicMatches("NORMal", u.args[0]))
            swapped_ = false;
        else
            pushError(-224, "Illegal parameter value");
    });

    addCommand("CALCulate:VECTor:DATA2:RAW", false, true, [this](const Unit& u, std::string& r) {
        if (!u.args.empty()) return pushError(-108, "Parameter not allowed");
        appendCapture(r);
    });
    addCommand("CALCulate:VECTor:DATA2:RAW:POINts", false, true,
               [this](const Unit&, std::string& r) { r += std::to_string(points()); });
    addCommand("CALCulate:VECTor:DATA2:HEADer", false, true, [this](const Unit& u, std::string& r) {
        std::string name;
        if (!oneArg(u)) return;
        if (!unquote(u.args[0], name) || scpi::upper(name) != "XDELTA")
            return pushError(-224, "Illegal parameter value");
        r += scpi::formatNumber(1.0 / sampleRate());
    });
    addCommand("SYSTem:ERRor[:NEXT]", false, true, [this](const Unit&, std::string& r) { r += popError(); });
}

std::vector<PxaInstrument::Command>::const_iterator PxaInstrument::findCommand(
    const std::vector<std::string>& header) const {
    return std::find_if(commands_.begin(), commands_.end(),
                        [&](const Command& c) { return c.pattern.matches(header); });
}

bool PxaInstrument::execute(const std::string& message, std::string& reply) {
    capturing_ = false;
    int answers = 0;
    std::vector<std::string> path;  // where a header without a leading colon continues from
    for (const std::string& text : scpi::splitUnits(message)) {
        Unit unit;
        if (!scpi::parseUnit(text, unit)) {
            pushError(-102, "Syntax error");
            continue;
        }
        const bool common = unit.header[0][0] == '*';
        if (!common && text[0] != ':' && !path.empty()) {
            std::vector<std::string> full = path;
            full.insert(full.end(), unit.header.begin(), unit.header.end());
            if (findCommand(full) != commands_.end()) unit.header = full;
        }
        if (!common) path.assign(unit.header.begin(), unit.header.end() - 1);
        auto it = findCommand(unit.header);
        if (it == commands_.end() || !(unit.query ? it->queryable : it->settable)) {
            pushError(-113, "Undefined header");
            continue;
        }
        const std::size_t mark = reply.size();
        if (unit.query && answers > 0) reply += ';';
        it->run(unit, reply);
        if (!unit.query) continue;
        if (reply.size() == mark + (answers > 0 ? 1u : 0u))
            reply.resize(mark);  // the query failed and put an error on the queue instead
        else
            ++answers;
    }
    if (answers > 0) reply += '\n';
    return capturing_;
}

void PxaInstrument::appendCapture(std::string& reply) {
    capturing_ = true;
    if (ascii_)
        appendAscii(points(), reply);
    else
        appendBinary(points(), reply);
}

void PxaInstrument::appendBinary(long long n, std::string& reply) {
    const std::string length = std::to_string(n * 8);
    const std::size_t digits = length.size() - (faults_.wrongDigitCount ? 1 : 0);
    if (!faults_.blockHeader.empty()) {
        reply += faults_.blockHeader;
    } else {
        reply += '#';
        reply += static_cast<char>('0' + digits);
        reply += faults_.nonNumericLength ? std::string(length.size(), 'X') : length;
    }
    std::size_t at = reply.size();
    reply.resize(at + static_cast<std::size_t>(n) * 8);
    scratch_.resize(kChunkSamples);
    for (long long done = 0; done < n;) {
        const std::size_t m = static_cast<std::size_t>(std::min<long long>(kChunkSamples, n - done));
        signal_.generate(sampleRate(), m, scratch_.data());
        for (std::size_t k = 0; k < m; ++k, at += 8) {
            putFloat(static_cast<float>(scratch_[k].real()), swapped_, &reply[at]);
            putFloat(static_cast<float>(scratch_[k].imag()), swapped_, &reply[at + 4]);
        }
        done += static_cast<long long>(m);
    }
}

void PxaInstrument::appendAscii(long long n, std::string& reply) {
    scratch_.resize(kChunkSamples);
    char text[40];
    bool first = true;
    for (long long done = 0; done < n;) {
        const std::size_t m = static_cast<std::size_t>(std::min<long long>(kChunkSamples, n - done));
        signal_.generate(sampleRate(), m, scratch_.data());
        for (std::size_t k = 0; k < m; ++k) {
            for (double v : {scratch_[k].real(), scratch_[k].imag()}) {
                if (!first) reply += ',';
                first = false;
                const auto end = std::to_chars(text, text + sizeof text, v, std::chars_format::scientific, 9);
                reply.append(text, end.ptr);
            }
        }
        done += static_cast<long long>(m);
    }
}

}  // namespace sim
