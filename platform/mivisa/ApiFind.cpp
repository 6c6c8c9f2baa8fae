// Resource search over the configured resource list.
#include "Api.h"
#include "Discovery.h"
#include "Guard.h"
#include "Manager.h"
#include "Status.h"

using namespace mivisa;

ViStatus viFindRsrc(ViSession sesn, ViString expr, ViPFindList vi, ViPUInt32 retCnt, ViChar* desc) {
    if (vi != nullptr) *vi = VI_NULL;
    if (retCnt != nullptr) *retCnt = 0;
    Registry& registry = Registry::instance();
    if (!registry.find<Manager>(sesn)) return VI_ERROR_INV_OBJECT;
    return guarded([&] {
        FindExpr match;
        if (!match.compile(expr)) return kErrorInvExpr;
        auto list = std::make_shared<FindList>(discover(configuredResources(), match));
        if (list->size() == 0) return VI_ERROR_RSRC_NFOUND;
        std::string first;
        list->next(first);
        copyText(desc, first);
        if (retCnt != nullptr) *retCnt = static_cast<ViUInt32>(list->size());
        if (vi != nullptr) {
            const ViObject handle = registry.reserve();
            if (!registry.insert(handle, list, sesn)) return VI_ERROR_INV_OBJECT;
            *vi = handle;
        }
        return VI_SUCCESS;
    });
}

ViStatus viFindNext(ViFindList vi, ViChar* desc) {
    auto list = Registry::instance().find<FindList>(vi);
    if (!list) return VI_ERROR_INV_OBJECT;
    std::string name;
    if (!list->next(name)) return VI_ERROR_RSRC_NFOUND;
    copyText(desc, name);
    return VI_SUCCESS;
}
