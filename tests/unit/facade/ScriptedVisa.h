// A scripted instrument behind DynamicVisa's slots: a byte stream for viRead, canned replies for
// viQueryf, and a record of everything sent.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "visa/DynamicVisa.h"

struct ScriptedVisa {
    // viRead serves `stream`; a read that fills its count answers VI_SUCCESS, or VI_SUCCESS_MAX_CNT
    // when `reportMaxCount` is set; a read the stream cannot fill answers `whenDry` with what there was.
    std::string stream;
    bool reportMaxCount = false;
    ViStatus whenDry = VI_ERROR_TMO;
    // Chunks the stream arrives in: a read never crosses into the next chunk (a stall between packets).
    std::deque<size_t> chunks;

    std::deque<std::string> replies;  // viQueryf, in order; empty = timeout
    std::string replyWhenEmpty;       // served when `replies` runs out, if `repeatLast`
    bool repeatLast = false;

    std::vector<unsigned> readRequests;
    std::vector<std::string> sent;  // printf formats and query texts, in order
    std::vector<std::pair<ViAttr, ViAttrState>> attributes;
    int opens = 0;
    int closes = 0;

    static ScriptedVisa* current;
    void install(DynamicVisa& visa);
    int count(const std::string& text) const;
};
