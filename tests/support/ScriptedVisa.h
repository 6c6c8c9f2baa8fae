// A scripted instrument behind DynamicVisa's slots, for tests that drive a backend call by call: a byte
// stream for viRead, replies for viQueryf, a responder for viWrite, and a record of everything the
// library did.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <trelvan/DynamicVisa.h>
#include "base/VisaConstants.h"

namespace support {

struct ScriptedVisa {
    // viRead serves `stream`. A read gets at most `readCap` bytes (0: no cap) and never crosses into
    // the next of `chunks` (a stall between packets). One that fills its count answers VI_SUCCESS, or
    // VI_SUCCESS_MAX_CNT with `reportMaxCount`; one cut by the cap while bytes wait answers
    // `whenCapped`; one the stream cannot fill answers `whenDry`.
    std::string stream;
    std::deque<size_t> chunks;
    size_t readCap = 0;
    bool reportMaxCount = false;
    ViStatus whenCapped = VI_ERROR_TMO;
    ViStatus whenDry = VI_ERROR_TMO;

    // viQueryf: `answer` when set; else "*OPC?" gets "1" (unless `opcFromReplies`), anything
    // else the next of `replies`, and a timeout once they run out. A read format with a width stores at
    // most that many bytes, as a VISA library does; one without stores the whole reply, so a caller
    // that trusts a short buffer is caught under the sanitizer.
    std::function<std::string(const std::string& query)> answer;
    std::deque<std::string> replies;
    bool opcFromReplies = false;
    ViStatus queryStatus = VI_SUCCESS;

    // viWrite takes at most `writeCap` bytes a call (0: all) and hands what it took to `onWrite`,
    // which may append replies to `stream`. viPrintf records the formatted text.
    size_t writeCap = 0;
    std::function<void(const std::string& bytes)> onWrite;
    ViStatus writeStatus = VI_SUCCESS;

    ViSession nextHandle = 100;

    // viFindRsrc and viFindNext walk `found`; viGetAttribute answers from the current entry's texts
    // (TRELVAN_ATTR_BUSY as its first byte) and VI_ERROR_NSUP_ATTR for what it lacks. An empty list
    // is not found.
    struct Resource {
        std::string descriptor;
        std::map<ViAttr, std::string> texts;
    };
    std::vector<Resource> found;
    size_t findCursor = 0;

    // What the library did: printf texts and query texts in order, read formats, read counts, bytes
    // written, attributes set, and "openRM" / "open <rsrc> <mode> <timeout>" / "close <handle>".
    std::vector<std::string> sent;
    std::vector<std::string> readFormats;
    std::vector<ViUInt32> readRequests;
    std::string written;
    std::vector<std::pair<ViAttr, ViAttrState>> attributes;
    std::vector<std::string> sessionCalls;

    // Points the slots of `visa` at this instrument; one instrument at a time.
    void install(DynamicVisa& visa);
    static ScriptedVisa* current;

    int count(const std::string& text) const;
    int countCalls(const std::string& prefix) const;  // session calls starting with `prefix`
    std::vector<ViAttrState> timeouts() const;        // the VI_ATTR_TMO_VALUE values set, in order
    std::vector<std::string> sentWithoutOpc() const;
};

// A definite-length block as an instrument sends it: "#", digit count, length, data, line end.
std::string definiteBlock(const std::string& data);
// 32-bit floats, least significant byte first ("SWAP") or most significant first ("NORMal").
std::string littleEndianFloats(const std::vector<float>& values);
std::string bigEndianFloats(const std::vector<float>& values);

}  // namespace support
