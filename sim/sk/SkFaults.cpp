#include "SkFaults.h"

#include <algorithm>

namespace sim::sk {

namespace {
bool applies(Fault::Kind kind, uint16_t command) {
    switch (kind) {
        case Fault::EmptyData:
        case Fault::BodyStatus:
            return command == cmd::Run;
        case Fault::WrongParameterId:
            return command == cmd::Set || command == cmd::Get;
        default:
            return true;
    }
}
}  // namespace

void FaultTable::add(const Fault& f) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.push_back(f);
}

void FaultTable::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_.clear();
}

Spoils FaultTable::take(uint16_t command, int parameter) {
    Spoils s;
    std::lock_guard<std::mutex> lock(mutex_);
    for (Fault& f : faults_) {
        if (f.count == 0 || !applies(f.kind, command)) continue;
        if (f.command >= 0 && f.command != command) continue;
        if (f.parameter >= 0 && f.parameter != parameter) continue;
        if (f.skip > 0) {
            --f.skip;
            continue;
        }
        if (f.count > 0) --f.count;
        s.any = true;
        switch (f.kind) {
            case Fault::BadSignature:
                s.badSignature = true;
                break;
            case Fault::OddBodyLen:
                s.oddBodyLen = true;
                break;
            case Fault::OversizedBodyLen:
                s.oversizedBodyLen = f.arg > 0 ? std::min(f.arg, 65535) : 65535;
                break;
            case Fault::CutShort:
                s.cutShortKeep = std::max(f.arg, 0);
                break;
            case Fault::WrongParameterId:
                s.wrongParameterId = f.arg > 0 ? (f.arg & 0xFFFF) : ((parameter + 1) & 0xFFFF);
                break;
            case Fault::EmptyData:
                s.emptyData = true;
                break;
            case Fault::HeaderStatus:
                s.headerStatus = true;
                s.headerStatusValue = int16_t(f.arg ? f.arg : status::ReadTimeout);
                break;
            case Fault::BodyStatus:
                s.bodyStatus = true;
                s.bodyStatusValue = int16_t(f.arg ? f.arg : status::CriticalError);
                break;
            case Fault::StopReplying:
                s.stop = true;
                break;
            case Fault::Drip:
                s.drip = true;
                s.dripMs = std::max(f.arg, 0);
                break;
            case Fault::Delay:
                s.delayMs += f.arg > 0 ? f.arg : 100;
                break;
        }
    }
    faults_.erase(std::remove_if(faults_.begin(), faults_.end(), [](const Fault& f) { return f.count == 0; }),
                  faults_.end());
    return s;
}

void spoil(std::vector<uint8_t>& out, std::size_t start, const Spoils& s) {
    uint8_t* h = out.data() + start;
    const uint16_t bodyLen = readU16(h + 6);
    const uint16_t command = readU16(h + 2);
    if (s.headerStatus) writeU16(uint16_t(s.headerStatusValue), h + 4);
    if (s.bodyStatus && bodyLen >= 2) writeU16(uint16_t(s.bodyStatusValue), h + kHeaderSize + bodyLen - 2);
    if (s.wrongParameterId >= 0 && command != cmd::Run && bodyLen >= 2)
        writeU16(uint16_t(s.wrongParameterId), h + kHeaderSize);
    if (s.badSignature) writeU16(0xAA55, h);
    // Length faults last: they may move the end of the reply.
    std::size_t newLen = bodyLen;
    if (s.oddBodyLen) newLen = std::min<std::size_t>(bodyLen + 1, 65535);
    if (s.oversizedBodyLen > 0) newLen = std::size_t(s.oversizedBodyLen);
    if (newLen != bodyLen) {
        out.resize(start + kHeaderSize + newLen, 0);
        writeU16(uint16_t(newLen), out.data() + start + 6);
    }
}

}  // namespace sim::sk
