#include "FakeVisa.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

FakeInstrument* fake = nullptr;

ViStatus fakePrintf(ViSession, ViString format, ...) {
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    fake->sent.push_back(text);
    return fake->writeStatus;
}

// Honours the read format's field width as our VISA does; without one it stores the whole line, so a
// caller that forgets the width overruns its buffer under the sanitizer.
ViStatus fakeQueryf(ViSession, ViString write, ViString read, ...) {
    fake->sent.push_back(write);
    fake->readFormats.push_back(read);
    va_list args;
    va_start(args, read);
    char* buffer = va_arg(args, char*);
    va_end(args);
    std::string line;
    if (fake->answer)
        line = fake->answer(write);
    else if (std::string(write) == "*OPC?\n")
        line = "1\n";
    if (fake->queryStatus != VI_SUCCESS) line.clear();
    std::size_t width = line.size();
    if (read[0] == '%' && read[1] >= '1' && read[1] <= '9') width = std::strtoul(read + 1, nullptr, 10);
    const std::size_t n = std::min(width, line.size());
    std::memcpy(buffer, line.data(), n);
    buffer[n] = '\0';
    return fake->queryStatus;
}

ViStatus fakeRead(ViSession, ViPBuf buffer, ViUInt32 count, ViPUInt32 got) {
    fake->readCounts.push_back(count);
    const std::size_t n = std::min<std::size_t>({count, fake->chunk, fake->pending.size()});
    std::memcpy(buffer, fake->pending.data(), n);
    fake->pending.erase(0, n);
    *got = static_cast<ViUInt32>(n);
    return n == count ? fake->fullStatus : fake->shortStatus;
}

ViStatus fakeSetAttribute(ViObject, ViAttr attribute, ViAttrState value) {
    if (attribute == VI_ATTR_TMO_VALUE) fake->timeouts.push_back(value);
    return VI_SUCCESS;
}

ViStatus fakeClose(ViObject handle) {
    fake->sessionCalls.push_back("close " + std::to_string(handle));
    return VI_SUCCESS;
}

ViStatus fakeOpenDefaultRM(ViPSession rm) {
    fake->sessionCalls.push_back("openRM");
    *rm = fake->nextHandle++;
    return fake->openStatus;
}

ViStatus fakeOpen(ViSession, ViRsrc name, ViAccessMode mode, ViUInt32 timeout, ViPSession session) {
    fake->sessionCalls.push_back("open " + std::string(name) + " " + std::to_string(mode) + " " +
                                 std::to_string(timeout));
    *session = fake->nextHandle++;
    return fake->openStatus;
}

}  // namespace

std::size_t FakeInstrument::count(const std::string& text) const {
    return static_cast<std::size_t>(std::count(sent.begin(), sent.end(), text));
}

void useFake(DynamicVisa& visa, FakeInstrument& instrument) {
    fake = &instrument;
    visa.viPrintf = &fakePrintf;
    visa.viQueryf = &fakeQueryf;
    visa.viRead = &fakeRead;
    visa.viSetAttribute = &fakeSetAttribute;
    visa.viClose = &fakeClose;
    visa.viOpenDefaultRM = &fakeOpenDefaultRM;
    visa.viOpen = &fakeOpen;
}

std::string definiteBlock(const std::string& data) {
    const std::string length = std::to_string(data.size());
    return "#" + std::to_string(length.size()) + length + data + "\n";
}

std::string swappedFloats(const std::vector<float>& values) {
    std::string bytes;
    for (float v : values) {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(bits >> (8 * i)));
    }
    return bytes;
}
