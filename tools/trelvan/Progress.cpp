#include "Progress.h"

#include <algorithm>

#include "Args.h"

namespace cli {

namespace {

constexpr qint64 kTerminalEveryMs = 200;
constexpr qint64 kLogEveryMs = 5000;

QString seconds(double s) {
    return s >= 120 ? QStringLiteral("%1 min").arg(s / 60, 0, 'f', 1) : QStringLiteral("%1 s").arg(s, 0, 'f', 0);
}

}  // namespace

Progress::Progress(Io& io, long long totalBlocks, double durationS)
    : io_(io), total_(totalBlocks), duration_(durationS) {
    clock_.start();
}

void Progress::update(long long blocks, long long samples) {
    const qint64 ms = clock_.elapsed();
    const bool last = total_ > 0 && blocks >= total_;
    if (!last && lastShownMs_ >= 0 && ms - lastShownMs_ < (io_.errIsTerminal ? kTerminalEveryMs : kLogEveryMs)) return;
    lastShownMs_ = ms;
    const double elapsed = std::max(ms, qint64(1)) / 1000.0;
    QString line = total_ > 0 ? QStringLiteral("block %1/%2").arg(blocks).arg(total_) : QStringLiteral("block %1").arg(blocks);
    line += QStringLiteral(", %1 samples, %2").arg(samples).arg(formatHzApprox(samples / elapsed).replace(QStringLiteral("Hz"), QStringLiteral("S/s")));
    double left = -1;
    if (total_ > 0 && blocks > 0) left = elapsed / blocks * (total_ - blocks);
    if (duration_ > 0) left = left < 0 ? duration_ - elapsed : std::min(left, duration_ - elapsed);
    if (left >= 0) line += QStringLiteral(", %1 left").arg(seconds(std::max(left, 0.0)));
    if (io_.errIsTerminal) {
        io_.err << "\r" << line.leftJustified(72);
        drawn_ = true;
    } else {
        io_.err << line << "\n";
    }
}

void Progress::finish() {
    if (drawn_) io_.err << "\n";
    drawn_ = false;
}

}  // namespace cli
