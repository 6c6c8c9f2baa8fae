// The VISA status, attribute and mode values this project uses, over the public VISA C types.
// Shared by the library's run-time binding (src/) and by our own VISA library (platform/mivisa).
#pragma once

#include <trelvan/VisaTypes.h>

// Status values.
constexpr ViStatus VI_SUCCESS = 0;
constexpr ViStatus VI_SUCCESS_TERM_CHAR = 0x3FFF0005;
constexpr ViStatus VI_SUCCESS_MAX_CNT = 0x3FFF0006;
constexpr ViStatus VI_ERROR_INV_OBJECT = static_cast<ViStatus>(0xBFFF000E);
constexpr ViStatus VI_ERROR_RSRC_LOCKED = static_cast<ViStatus>(0xBFFF000F);
constexpr ViStatus VI_ERROR_RSRC_NFOUND = static_cast<ViStatus>(0xBFFF0011);
constexpr ViStatus VI_ERROR_INV_RSRC_NAME = static_cast<ViStatus>(0xBFFF0012);
constexpr ViStatus VI_ERROR_TMO = static_cast<ViStatus>(0xBFFF0015);
constexpr ViStatus VI_ERROR_NSUP_ATTR = static_cast<ViStatus>(0xBFFF001D);
constexpr ViStatus VI_ERROR_NSUP_ATTR_STATE = static_cast<ViStatus>(0xBFFF001E);
constexpr ViStatus VI_ERROR_ABORT = static_cast<ViStatus>(0xBFFF0030);
constexpr ViStatus VI_ERROR_RAW_RD_PROT_VIOL = static_cast<ViStatus>(0xBFFF0035);
constexpr ViStatus VI_ERROR_INV_SETUP = static_cast<ViStatus>(0xBFFF003A);
constexpr ViStatus VI_ERROR_IO = static_cast<ViStatus>(0xBFFF003E);
constexpr ViStatus VI_ERROR_NSUP_OPER = static_cast<ViStatus>(0xBFFF0067);
constexpr ViStatus VI_ERROR_RSRC_BUSY = static_cast<ViStatus>(0xBFFF0072);
constexpr ViStatus VI_ERROR_LIBRARY_NFOUND = static_cast<ViStatus>(0xBFFF009E);
constexpr ViStatus VI_ERROR_CONN_LOST = static_cast<ViStatus>(0xBFFF00A6);

// Attributes.
constexpr ViAttr VI_ATTR_RSRC_NAME = 0xBFFF0002;
constexpr ViAttr VI_ATTR_SEND_END_EN = 0x3FFF0016;
constexpr ViAttr VI_ATTR_TERMCHAR = 0x3FFF0018;
constexpr ViAttr VI_ATTR_TMO_VALUE = 0x3FFF001A;
constexpr ViAttr VI_ATTR_SUPPRESS_END_EN = 0x3FFF0036;
constexpr ViAttr VI_ATTR_TERMCHAR_EN = 0x3FFF0038;
constexpr ViAttr VI_ATTR_MANF_NAME = 0xBFFF0072;
constexpr ViAttr VI_ATTR_MODEL_NAME = 0xBFFF0077;
constexpr ViAttr VI_ATTR_TCPIP_ADDR = 0xBFFF0195;
constexpr ViAttr VI_ATTR_TCPIP_PORT = 0x3FFF0197;
constexpr ViAttr VI_ATTR_TCPIP_NODELAY = 0x3FFF019A;
constexpr ViAttr VI_ATTR_TCPIP_KEEPALIVE = 0x3FFF019B;
constexpr ViAttr VI_ATTR_USB_SERIAL_NUM = 0xBFFF01A0;
// Not named by the VISA standard: the "resource is in use" flag that discovery reads.
constexpr ViAttr TRELVAN_ATTR_BUSY = 0x3FFF024A;

// Modes and sizes.
constexpr ViUInt32 VI_NULL = 0;
constexpr ViUInt32 VI_TMO_IMMEDIATE = 0;
constexpr ViUInt32 VI_TMO_INFINITE = 0xFFFFFFFFu;
constexpr ViAccessMode VI_NO_LOCK = 0;
constexpr ViAccessMode VI_EXCLUSIVE_LOCK = 1;
constexpr ViAccessMode VI_SHARED_LOCK = 2;
constexpr int VI_FIND_BUFLEN = 256;

// The timeout that closes every timed exchange: the attribute's own identifier read as milliseconds
// (about 12.4 days), in practice no timeout at all.
constexpr ViUInt32 TRELVAN_TMO_RELAXED = 1073676314u;
