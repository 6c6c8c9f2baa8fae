#include "ScriptedVisa.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace support {

ScriptedVisa* ScriptedVisa::current = nullptr;

namespace {

ScriptedVisa& self() {
    return *ScriptedVisa::current;
}

ViStatus scriptedRead(ViSession, ViPBuf buf, ViUInt32 count, ViPUInt32 got) {
    ScriptedVisa& s = self();
    s.readRequests.push_back(count);
    size_t n = std::min<size_t>(count, s.stream.size());
    if (s.readCap != 0) n = std::min(n, s.readCap);
    if (!s.chunks.empty()) n = std::min(n, s.chunks.front());
    std::memcpy(buf, s.stream.data(), n);
    s.stream.erase(0, n);
    if (!s.chunks.empty()) {
        s.chunks.front() -= n;
        if (s.chunks.front() == 0 || n < count) s.chunks.pop_front();
    }
    if (got != nullptr) *got = static_cast<ViUInt32>(n);
    if (n == count) return s.reportMaxCount ? VI_SUCCESS_MAX_CNT : VI_SUCCESS;
    return s.stream.empty() ? s.whenDry : s.whenCapped;
}

ViStatus scriptedWrite(ViSession, ViBuf buf, ViUInt32 count, ViPUInt32 done) {
    ScriptedVisa& s = self();
    const size_t n = s.writeCap != 0 ? std::min<size_t>(count, s.writeCap) : count;
    const std::string bytes(reinterpret_cast<const char*>(buf), n);
    if (done != nullptr) *done = static_cast<ViUInt32>(s.writeStatus == VI_SUCCESS ? n : 0);
    if (s.writeStatus != VI_SUCCESS) return s.writeStatus;
    s.written += bytes;
    if (s.onWrite) s.onWrite(bytes);
    return VI_SUCCESS;
}

ViStatus scriptedPrintf(ViSession, ViString format, ...) {
    char text[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    self().sent.push_back(text);
    return self().writeStatus;
}

ViStatus scriptedQueryf(ViSession, ViString write, ViString readFormat, ...) {
    ScriptedVisa& s = self();
    s.sent.push_back(write);
    s.readFormats.push_back(readFormat);
    std::string reply;
    ViStatus status = s.queryStatus;
    if (s.answer) {
        reply = s.answer(write);
    } else if (!s.opcFromReplies && std::strcmp(write, "*OPC?\n") == 0) {
        reply = "1\n";
    } else if (!s.replies.empty()) {
        reply = s.replies.front();
        s.replies.pop_front();
    } else if (status == VI_SUCCESS) {
        status = VI_ERROR_TMO;
    }
    if (status != VI_SUCCESS) reply.clear();
    va_list args;
    va_start(args, readFormat);
    char* out = va_arg(args, char*);
    va_end(args);
    char* end = nullptr;
    const long width = std::strtol(readFormat + 1, &end, 10);
    const size_t n =
        end != readFormat + 1 ? std::min<size_t>(reply.size(), size_t(std::max(0L, width))) : reply.size();
    std::memcpy(out, reply.data(), n);
    out[n] = '\0';
    return status;
}

ViStatus scriptedSetAttribute(ViObject, ViAttr attribute, ViAttrState value) {
    self().attributes.emplace_back(attribute, value);
    return VI_SUCCESS;
}

ViStatus scriptedOpenDefaultRM(ViPSession rm) {
    self().sessionCalls.push_back("openRM");
    *rm = self().nextHandle++;
    return VI_SUCCESS;
}

ViStatus scriptedOpen(ViSession, ViRsrc name, ViAccessMode mode, ViUInt32 timeout, ViPSession session) {
    self().sessionCalls.push_back("open " + std::string(name) + " " + std::to_string(mode) + " " +
                                  std::to_string(timeout));
    *session = self().nextHandle++;
    return VI_SUCCESS;
}

ViStatus scriptedClose(ViObject handle) {
    self().sessionCalls.push_back("close " + std::to_string(handle));
    return VI_SUCCESS;
}

ViStatus scriptedFindRsrc(ViSession, ViString, ViPFindList list, ViPUInt32 count, ViChar* descriptor) {
    ScriptedVisa& s = self();
    if (s.found.empty()) return VI_ERROR_RSRC_NFOUND;
    s.findCursor = 0;
    *list = s.nextHandle++;
    *count = static_cast<ViUInt32>(s.found.size());
    std::strcpy(descriptor, s.found[0].descriptor.c_str());
    return VI_SUCCESS;
}

ViStatus scriptedFindNext(ViFindList, ViChar* descriptor) {
    ScriptedVisa& s = self();
    if (++s.findCursor >= s.found.size()) return VI_ERROR_RSRC_NFOUND;
    std::strcpy(descriptor, s.found[s.findCursor].descriptor.c_str());
    return VI_SUCCESS;
}

ViStatus scriptedGetAttribute(ViObject, ViAttr attribute, void* out) {
    ScriptedVisa& s = self();
    if (s.findCursor >= s.found.size()) return VI_ERROR_NSUP_ATTR;
    const auto& texts = s.found[s.findCursor].texts;
    const auto it = texts.find(attribute);
    if (it == texts.end()) return VI_ERROR_NSUP_ATTR;
    std::memcpy(out, it->second.c_str(), it->second.size() + 1);
    return VI_SUCCESS;
}

std::string floats(const std::vector<float>& values, bool little) {
    std::string bytes;
    for (float v : values) {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(bits >> (8 * (little ? i : 3 - i))));
    }
    return bytes;
}

}  // namespace

void ScriptedVisa::install(DynamicVisa& visa) {
    current = this;
    visa.viRead = scriptedRead;
    visa.viWrite = scriptedWrite;
    visa.viPrintf = scriptedPrintf;
    visa.viQueryf = scriptedQueryf;
    visa.viSetAttribute = scriptedSetAttribute;
    visa.viOpenDefaultRM = scriptedOpenDefaultRM;
    visa.viOpen = scriptedOpen;
    visa.viClose = scriptedClose;
    visa.viFindRsrc = scriptedFindRsrc;
    visa.viFindNext = scriptedFindNext;
    visa.viGetAttribute = scriptedGetAttribute;
}

int ScriptedVisa::count(const std::string& text) const {
    return static_cast<int>(std::count(sent.begin(), sent.end(), text));
}

int ScriptedVisa::countCalls(const std::string& prefix) const {
    return static_cast<int>(std::count_if(sessionCalls.begin(), sessionCalls.end(),
                                          [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
}

std::vector<ViAttrState> ScriptedVisa::timeouts() const {
    std::vector<ViAttrState> out;
    for (const auto& [attribute, value] : attributes)
        if (attribute == VI_ATTR_TMO_VALUE) out.push_back(value);
    return out;
}

std::vector<std::string> ScriptedVisa::sentWithoutOpc() const {
    std::vector<std::string> out;
    for (const auto& s : sent)
        if (s != "*OPC?\n") out.push_back(s);
    return out;
}

std::string definiteBlock(const std::string& data) {
    const std::string length = std::to_string(data.size());
    return "#" + std::to_string(length.size()) + length + data + "\n";
}

std::string littleEndianFloats(const std::vector<float>& values) {
    return floats(values, true);
}

std::string bigEndianFloats(const std::vector<float>& values) {
    return floats(values, false);
}

}  // namespace support
