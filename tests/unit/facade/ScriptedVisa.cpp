#include "ScriptedVisa.h"

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

ScriptedVisa* ScriptedVisa::current = nullptr;

namespace {

ViStatus scriptedRead(ViSession, ViPBuf buf, ViUInt32 count, ViPUInt32 got) {
    ScriptedVisa& s = *ScriptedVisa::current;
    s.readRequests.push_back(count);
    size_t available = s.stream.size();
    if (!s.chunks.empty()) available = std::min(available, s.chunks.front());
    const size_t n = std::min<size_t>(count, available);
    std::memcpy(buf, s.stream.data(), n);
    s.stream.erase(0, n);
    if (!s.chunks.empty()) {
        s.chunks.front() -= n;
        if (s.chunks.front() == 0 || n < count) s.chunks.pop_front();
    }
    *got = static_cast<ViUInt32>(n);
    if (n == count) return s.reportMaxCount ? VI_SUCCESS_MAX_CNT : VI_SUCCESS;
    return s.whenDry;
}

ViStatus scriptedPrintf(ViSession, ViString format, ...) {
    ScriptedVisa::current->sent.push_back(format);
    return VI_SUCCESS;
}

ViStatus scriptedQueryf(ViSession, ViString write, ViString readFormat, ...) {
    ScriptedVisa& s = *ScriptedVisa::current;
    s.sent.push_back(write);
    va_list args;
    va_start(args, readFormat);
    char* out = va_arg(args, char*);
    va_end(args);
    std::string reply;
    if (!s.replies.empty()) {
        reply = s.replies.front();
        s.replies.pop_front();
    } else if (s.repeatLast) {
        reply = s.replyWhenEmpty;
    } else {
        return VI_ERROR_TMO;
    }
    // The width in "%<n>T" bounds what is stored, as a real VISA library does.
    const long width = std::strtol(readFormat + 1, nullptr, 10);
    const size_t n = std::min(reply.size(), static_cast<size_t>(width > 0 ? width : 0));
    std::memcpy(out, reply.data(), n);
    out[n] = '\0';
    return VI_SUCCESS;
}

ViStatus scriptedSetAttribute(ViObject, ViAttr attribute, ViAttrState value) {
    ScriptedVisa::current->attributes.emplace_back(attribute, value);
    return VI_SUCCESS;
}

ViStatus scriptedOpenDefaultRM(ViPSession rm) {
    *rm = 77;
    return VI_SUCCESS;
}

ViStatus scriptedOpen(ViSession, ViRsrc, ViAccessMode, ViUInt32, ViPSession session) {
    ++ScriptedVisa::current->opens;
    *session = 78;
    return VI_SUCCESS;
}

ViStatus scriptedClose(ViObject) {
    ++ScriptedVisa::current->closes;
    return VI_SUCCESS;
}

}  // namespace

void ScriptedVisa::install(DynamicVisa& visa) {
    current = this;
    visa.viRead = scriptedRead;
    visa.viPrintf = scriptedPrintf;
    visa.viQueryf = scriptedQueryf;
    visa.viSetAttribute = scriptedSetAttribute;
    visa.viOpenDefaultRM = scriptedOpenDefaultRM;
    visa.viOpen = scriptedOpen;
    visa.viClose = scriptedClose;
}

int ScriptedVisa::count(const std::string& text) const {
    return static_cast<int>(std::count(sent.begin(), sent.end(), text));
}
