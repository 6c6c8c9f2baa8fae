// The command codes and constants of the SK protocol header; the header record and CHead are public.
#pragma once

#include <trelvan/CommandHead.h>

#include <QtGlobal>
#include <cstddef>
#include <cstdint>

// The record is sent and received as it lies in memory, so the host must be little-endian.
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the SK wire header is laid out for a little-endian host");

// Command codes of the header's Command field.
enum SkCommand : uint16_t {
    MI_TEST = 0,
    MI_RESET = 1,
    MI_INIT = 2,
    MI_SET = 3,
    MI_GET = 4,
    MI_GET_LIST = 5,
    MI_RUN = 6,
    MI_EXEC = 7,
};

constexpr uint16_t kSkSignature = 0x55AA;
// Every request we send carries this in Status; replies put the command's status there.
constexpr int16_t kSkRequestStatus = static_cast<int16_t>(0x8000);
constexpr std::size_t kSkHeadSize = 16;
