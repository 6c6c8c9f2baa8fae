// The progress of a capture on stderr: blocks, samples per second and the time left. Redrawn in place
// on a terminal; elsewhere one line every few seconds.
#pragma once

#include <QElapsedTimer>

#include "Cli.h"

namespace cli {

class Progress {
public:
    // totalBlocks 0: open-ended; durationS 0: no time limit.
    Progress(Io& io, long long totalBlocks, double durationS);
    void update(long long blocks, long long samples);
    void finish();

private:
    Io& io_;
    long long total_;
    double duration_;
    QElapsedTimer clock_;
    qint64 lastShownMs_ = -1;
    bool drawn_ = false;
};

}  // namespace cli
