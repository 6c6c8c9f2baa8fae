// viStatusDesc: a text for every status this library returns.
#include <cstdio>

#include "Api.h"
#include "Manager.h"
#include "Status.h"

using namespace mivisa;

namespace {

struct Description {
    ViStatus status;
    const char* text;
};

constexpr Description kDescriptions[] = {
    {VI_SUCCESS, "VI_SUCCESS: Operation completed successfully."},
    {VI_SUCCESS_TERM_CHAR, "VI_SUCCESS_TERM_CHAR: The specified termination character was read."},
    {VI_SUCCESS_MAX_CNT, "VI_SUCCESS_MAX_CNT: The number of bytes read is equal to the input count."},
    {kSuccessNestedExclusive,
     "VI_SUCCESS_NESTED_EXCLUSIVE: The session already held an exclusive lock; the lock is now nested."},
    {kSuccessNestedShared,
     "VI_SUCCESS_NESTED_SHARED: The session already held a shared lock; the lock is now nested."},
    {kWarnUnknownStatus,
     "VI_WARN_UNKNOWN_STATUS: The status code passed to the operation could not be interpreted."},
    {kErrorSystem, "VI_ERROR_SYSTEM_ERROR: Unknown system error."},
    {VI_ERROR_INV_OBJECT, "VI_ERROR_INV_OBJECT: The given session or object reference is invalid."},
    {VI_ERROR_RSRC_LOCKED,
     "VI_ERROR_RSRC_LOCKED: Specified type of lock cannot be obtained, or the operation "
     "cannot be performed, because the resource is locked."},
    {kErrorInvExpr, "VI_ERROR_INV_EXPR: Invalid expression specified for search."},
    {VI_ERROR_RSRC_NFOUND,
     "VI_ERROR_RSRC_NFOUND: Insufficient location information or the requested resource "
     "does not exist or cannot be reached."},
    {VI_ERROR_INV_RSRC_NAME, "VI_ERROR_INV_RSRC_NAME: Invalid resource reference specified. Parsing error."},
    {kErrorInvAccMode, "VI_ERROR_INV_ACC_MODE: Invalid access mode."},
    {VI_ERROR_TMO, "VI_ERROR_TMO: Timeout expired before operation completed."},
    {VI_ERROR_NSUP_ATTR,
     "VI_ERROR_NSUP_ATTR: The specified attribute is not defined or not supported by the "
     "referenced session, event, or find list."},
    {VI_ERROR_NSUP_ATTR_STATE,
     "VI_ERROR_NSUP_ATTR_STATE: The specified state of the attribute is not valid, or "
     "is not supported as defined by the session, event, or find list."},
    {kErrorInvLockType,
     "VI_ERROR_INV_LOCK_TYPE: The specified type of lock is not supported by this resource."},
    {kErrorInvAccessKey,
     "VI_ERROR_INV_ACCESS_KEY: The access key to the resource associated with this session "
     "is invalid."},
    {VI_ERROR_ABORT, "VI_ERROR_ABORT: User abort occurred during transfer."},
    {kErrorAlloc, "VI_ERROR_ALLOC: Insufficient system resources to perform necessary memory allocation."},
    {kErrorInvMask, "VI_ERROR_INV_MASK: Invalid buffer mask specified."},
    {kErrorInvFmt, "VI_ERROR_INV_FMT: The data read does not match the format specification."},
    {VI_ERROR_NSUP_OPER,
     "VI_ERROR_NSUP_OPER: The given session or object reference does not support this "
     "operation, or a format specifier is not supported."},
    {kErrorInvParameter, "VI_ERROR_INV_PARAMETER: The value of some parameter is invalid."},
    {kErrorSesnNotLocked,
     "VI_ERROR_SESN_NLOCKED: The current session did not have any lock on the resource."},
    {VI_ERROR_LIBRARY_NFOUND,
     "VI_ERROR_LIBRARY_NFOUND: A code library required by VISA could not be located or "
     "loaded."},
    {VI_ERROR_CONN_LOST, "VI_ERROR_CONN_LOST: The connection for the given session has been lost."},
};

}  // namespace

ViStatus viStatusDesc(ViObject, ViStatus status, ViChar* desc) {
    if (desc == nullptr) return kErrorInvParameter;
    for (const Description& d : kDescriptions) {
        if (d.status == status) {
            copyText(desc, d.text);
            return VI_SUCCESS;
        }
    }
    char text[VI_FIND_BUFLEN];
    std::snprintf(text, sizeof text, "Unknown status value 0x%08X.", static_cast<unsigned>(status));
    copyText(desc, text);
    return kWarnUnknownStatus;
}
