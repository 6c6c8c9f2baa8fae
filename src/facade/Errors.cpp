// The host's error list, per connected instrument.
#include <QLocale>

#include "facade/ErrorTexts.h"
#include "facade/Trelvan.h"
#include "util/Split.h"

namespace {
// An N9030A keeps at most a hundred entries in its queue; an instrument still reporting errors after
// that many reads is repeating itself.
constexpr int kMaxErrorQueueReads = 100;
}  // namespace

QVector<Error> Trelvan::getError() {
    QVector<Error> list;
    if (isPXA) {
        if (error.code != 0) list.append(error);
        if (status != 0) {
            list.append(Error{errors::kVisaTimeoutCode, errors::visaTimeoutText()});
            return list;
        }
        for (int read = 0; read < kMaxErrorQueueReads; ++read) {
            char reply[1024] = {};
            OPC();
            status = visa.viQueryf(session, const_cast<char*>(":SYSTem:ERRor:NEXT? \n"),
                                   const_cast<char*>("%1023T"), reply);
            OPC();
            const std::vector<QString> pieces = QSplit(reply, ",");
            bool ok = false;
            const int code = QLocale::c().toInt(pieces[0], &ok);
            // A reply that does not parse (a failed query among them) ends the read like an empty queue.
            const Error entry = ok ? Error{code, pieces.size() > 1 ? pieces[1] : QString()} : Error{};
            list.append(entry);
            if (entry.code == 0) break;
        }
        return list;
    }
    if (isHarogic && backend) {
        list = backend->getErr();
        if (!list.isEmpty() && list[0].code == errors::kOverloadCode) list[0].text = errors::overloadText();
        return list;
    }
    if (error.code != 0) list.append(error);
    return list;
}
