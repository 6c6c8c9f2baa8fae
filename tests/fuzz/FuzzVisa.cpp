#include "FuzzVisa.h"

#include <QtGlobal>
#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

FuzzVisa* FuzzVisa::current = nullptr;

std::string FuzzInput::line() {
    const uint8_t* end = static_cast<const uint8_t*>(std::memchr(p_, '\n', left_));
    const size_t n = end ? static_cast<size_t>(end - p_) : left_;
    std::string s(reinterpret_cast<const char*>(p_), n);
    const size_t used = end ? n + 1 : n;
    p_ += used;
    left_ -= used;
    return s;
}

std::string FuzzInput::rest() {
    std::string s(reinterpret_cast<const char*>(p_), left_);
    p_ += left_;
    left_ = 0;
    return s;
}

namespace {

ViStatus fuzzRead(ViSession, ViPBuf buf, ViUInt32 count, ViPUInt32 got) {
    FuzzVisa& f = *FuzzVisa::current;
    size_t n = std::min<size_t>(count, f.stream.size());
    if (f.readCap != 0) n = std::min(n, f.readCap);
    std::memcpy(buf, f.stream.data(), n);
    f.stream.erase(0, n);
    *got = static_cast<ViUInt32>(n);
    if (n == count) return f.reportMaxCount ? VI_SUCCESS_MAX_CNT : VI_SUCCESS;
    return f.stream.empty() ? f.whenDry : f.whenCapped;
}

ViStatus fuzzWrite(ViSession, ViBuf, ViUInt32 count, ViPUInt32 written) {
    if (written != nullptr) *written = count;
    return VI_SUCCESS;
}

ViStatus fuzzPrintf(ViSession, ViString, ...) {
    return VI_SUCCESS;
}

// Stores the reply the way a VISA library does for "%<width>T": at most width bytes and the NUL. A
// format without a width stores the whole reply, so a caller that trusts a short buffer is caught.
ViStatus fuzzQueryf(ViSession, ViString write, ViString readFormat, ...) {
    FuzzVisa& f = *FuzzVisa::current;
    std::string reply;
    if (!f.opcFromReplies && std::strcmp(write, "*OPC?\n") == 0) {
        reply = f.opcReply;
    } else if (!f.replies.empty()) {
        reply = f.replies.front();
        f.replies.pop_front();
    } else {
        return VI_ERROR_TMO;
    }
    va_list args;
    va_start(args, readFormat);
    char* out = va_arg(args, char*);
    va_end(args);
    char* end = nullptr;
    const long width = std::strtol(readFormat + 1, &end, 10);
    const size_t n = end != readFormat + 1
                         ? std::min<size_t>(reply.size(), static_cast<size_t>(std::max(0L, width)))
                         : reply.size();
    std::memcpy(out, reply.data(), n);
    out[n] = '\0';
    return VI_SUCCESS;
}

ViStatus fuzzSetAttribute(ViObject, ViAttr, ViAttrState) {
    return VI_SUCCESS;
}

ViStatus fuzzOpenDefaultRM(ViPSession rm) {
    *rm = 7;
    return VI_SUCCESS;
}

ViStatus fuzzOpen(ViSession, ViRsrc, ViAccessMode, ViUInt32, ViPSession session) {
    *session = 8;
    return VI_SUCCESS;
}

ViStatus fuzzClose(ViObject) {
    return VI_SUCCESS;
}

void dropMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

void FuzzVisa::configure(uint8_t control) {
    static const size_t caps[8] = {0, 1, 3, 7, 64, 500, 1024, 4096};
    reportMaxCount = control & 1;
    whenDry = (control & 2) ? VI_ERROR_CONN_LOST : VI_ERROR_TMO;
    readCap = caps[(control >> 2) & 7];
    opcFromReplies = control & 0x20;
    whenCapped = (control & 0x40) ? VI_SUCCESS : VI_ERROR_TMO;
}

void FuzzVisa::install(DynamicVisa& visa) {
    current = this;
    visa.viRead = fuzzRead;
    visa.viWrite = fuzzWrite;
    visa.viPrintf = fuzzPrintf;
    visa.viQueryf = fuzzQueryf;
    visa.viSetAttribute = fuzzSetAttribute;
    visa.viOpenDefaultRM = fuzzOpenDefaultRM;
    visa.viOpen = fuzzOpen;
    visa.viClose = fuzzClose;
}

void silenceQtLog() {
    qInstallMessageHandler(dropMessage);
}
