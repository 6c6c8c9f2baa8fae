// A scripted N9030A behind the binding's slots: it records every call the backend makes and answers
// from what the test put in.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "visa/DynamicVisa.h"

struct FakeInstrument {
    // Every command written (viPrintf, formatted) and every query text (viQueryf), in order.
    std::vector<std::string> sent;
    std::vector<std::string> readFormats;
    std::vector<ViUInt32> readCounts;
    std::vector<ViAttrState> timeouts;
    // "close <handle>", "openRM", "open <resource> <mode> <timeout>".
    std::vector<std::string> sessionCalls;

    // The reply line to a query; by default "*OPC?" answers "1\n" and anything else "".
    std::function<std::string(const std::string& query)> answer;
    ViStatus queryStatus = VI_SUCCESS;
    ViStatus writeStatus = VI_SUCCESS;

    // Bytes the instrument has sent for viRead to take. A read gets at most `chunk` of them; one that
    // fills its count ends with `fullStatus`, a shorter one with `shortStatus`.
    std::string pending;
    ViUInt32 chunk = UINT32_MAX;
    ViStatus fullStatus = VI_SUCCESS;
    ViStatus shortStatus = VI_ERROR_TMO;

    ViSession nextHandle = 100;
    ViStatus openStatus = VI_SUCCESS;

    std::size_t count(const std::string& text) const;
};

// Points every slot the backend uses at `fake`. One fake at a time.
void useFake(DynamicVisa& visa, FakeInstrument& fake);

// A capture block as the instrument sends it: "#", digit count, length, data, line end.
std::string definiteBlock(const std::string& data);
// Float pairs in the "SWAP" order (least significant byte first).
std::string swappedFloats(const std::vector<float>& values);
