// The N9030A's replies as the backend and the facade read them, from a broken or hostile instrument.
// Input: a selector byte, a control byte (see configure), then what the selected reader takes:
// 0 the backend's capture: the byte stream;
// 1 the backend's parameter exchanges: a suffix byte (values past CUR too), a 32-bit point count, then
//   reply lines;
// 2, 3 the facade's ASCII and binary captures: the points reply line, then the byte stream;
// 4 the N9030A's error list and the facade's queue entry: the pending error's code byte, then reply lines.
#include "FuzzInput.h"
#include "backends/pxa/Pxa.h"
#include "facade/Facade.h"
#include "support/LogCapture.h"
#include "support/Records.h"

namespace {

void replyLines(support::ScriptedVisa& link, FuzzInput& in) {
    while (!in.empty()) link.replies.push_back(in.line() + "\n");
}

void connectFacade(support::ScriptedVisa& link) {
    link.install(trelvan.visa);
    trelvan.isPXA = true;
    trelvan.isHarogic = false;
    trelvan.status = VI_SUCCESS;
    trelvan.resourceManager = 7;
    trelvan.session = 8;
    trelvan.error = Error{};
    std::strcpy(trelvan.device.address, "TCPIP0::127.0.0.1::5025::SOCKET");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    support::silenceLog();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint8_t selector = in.byte() % 5;
    support::ScriptedVisa link;
    configure(link, in.byte());
    support::Records r;
    link.install(r.visa);
    if (selector == 0) {
        link.stream = in.rest();
        if (!affordableClaim(link.stream)) return -1;
        PXA pxa(r.init());
        QVector<IQ_Elem> samples;
        // Later captures read what the first left, after a re-open if it timed out.
        for (int capture = 0; capture < 3 && !link.stream.empty(); ++capture) pxa.getData(&samples);
    } else if (selector == 1) {
        const suffix which = static_cast<suffix>(in.byte() % 4);
        const int points = static_cast<int>(in.u32());
        replyLines(link, in);
        PXA pxa(r.init());
        pxa.getParams(which);
        pxa.getNPts(which);
        Params wanted{1.5e9, 1e7, -10};
        pxa.setParams(wanted);
        pxa.setNumPoints(points);
    } else if (selector < 4) {
        link.replies.push_back(in.line() + "\n");
        link.stream = in.rest();
        if (!affordableClaim(link.stream)) return -1;
        connectFacade(link);
        // Every ASCII sample takes at least three bytes of the stream: a digit, a comma and a digit.
        if (selector == 2) check(trelvan.getData(0).size() <= size / 3 + 1);
        if (selector == 3) trelvan.getData(0.0);
    } else {
        // The connected N9030A's error list, from a backend over the records without its set-up exchange.
        PXA pxa;
        pxa.visa = &r.visa, pxa.status = &r.status, pxa.session = &r.session;
        pxa.resourceManager = &r.resourceManager, pxa.params = &r.params, pxa.error = &r.error;
        pxa.device = &r.device;
        r.error.code = static_cast<int8_t>(in.byte());
        replyLines(link, in);
        const size_t offered = link.replies.size();
        const QVector<Error> list = pxa.getErr();
        // The pending error leads, and the queue read ends on its own however long the queue claims to be.
        check(r.error.code == 0 || (!list.isEmpty() && list.first().code == r.error.code));
        check(static_cast<size_t>(list.size()) <= std::min<size_t>(offered, 100) + 2);
        connectFacade(link);
        trelvan.getErrors(0);
    }
    return 0;
}
