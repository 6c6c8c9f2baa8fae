#include "RecordingWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <complex>
#include <cstring>

namespace cli {

static_assert(sizeof(IQ_Elem) == sizeof(std::complex<double>), "IQ_Elem reads as std::complex<double>");

namespace {

constexpr int kFftSize = 4096;
// Integers get 12 dB of room above the first block's largest value for what comes later.
constexpr double kIntegerHeadroom = 4.0;

}  // namespace

RecordingWriter::RecordingWriter(DataType type, Window window) : type_(type), window_(window) {}

QString RecordingWriter::failure(int why) const {
    return QStringLiteral("cannot write %1: %2").arg(path_ == "-" ? QStringLiteral("stdout") : path_,
                                                      QString::fromLocal8Bit(strerror(why)));
}

RecordingWriter::~RecordingWriter() {
    if (ownsFd_ && fd_ >= 0) ::close(fd_);
}

bool RecordingWriter::open(const QString& dataFile, QString& error) {
    path_ = dataFile;
    if (dataFile == "-") {
        fd_ = STDOUT_FILENO;
        return true;
    }
    fd_ = ::open(QFile::encodeName(dataFile).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        error = failure(errno);
        return false;
    }
    ownsFd_ = true;
    return true;
}

bool RecordingWriter::write(const QVector<IQ_Elem>& block, QString& error) {
    if (block.isEmpty()) return true;
    const auto* samples = reinterpret_cast<const std::complex<double>*>(block.constData());
    const std::size_t n = static_cast<std::size_t>(block.size());
    if (scale_ == 0) {
        double peak = 0;
        for (std::size_t i = 0; i < n; ++i) peak = std::max({peak, std::fabs(samples[i].real()), std::fabs(samples[i].imag())});
        scale_ = isInteger(type_) && peak > 0 ? peak * kIntegerHeadroom / 32767.0 : 1.0;
        averager_.reset(new SpectrumAverager(static_cast<int>(std::min<std::size_t>(n, kFftSize)), window_));
    }
    averager_->add(samples, n);
    const QByteArray bytes = encodeSamples(samples, n, type_, scale_, &clipped_);
    const char* p = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t done = ::write(fd_, p, static_cast<std::size_t>(left));
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) {
            const int why = done < 0 ? errno : ENOSPC;
            readerGone_ = why == EPIPE;
            // Cut a half-written block off again, so the file holds exactly what the metadata describes.
            if (ownsFd_ && ::ftruncate(fd_, samples_ * bytesPerSample(type_)) != 0) {
            }
            error = failure(why);
            return false;
        }
        p += done;
        left -= done;
    }
    // Only whole blocks count, so the metadata always describes what is in the file.
    hash_.addData(bytes);
    samples_ += static_cast<qint64>(n);
    return true;
}

bool RecordingWriter::sync(QString& error) {
    if (!ownsFd_ || ::fdatasync(fd_) == 0) return true;
    error = failure(errno);
    return false;
}

bool RecordingWriter::close(QString& error) {
    if (!ownsFd_) return true;
    ownsFd_ = false;
    const bool cut = ::ftruncate(fd_, samples_ * bytesPerSample(type_)) == 0;
    const int why = errno;
    const bool synced = ::fdatasync(fd_) == 0;
    const int syncWhy = errno;
    const bool closed = ::close(fd_) == 0;
    if (cut && synced && closed) return true;
    error = failure(!cut ? why : !synced ? syncWhy : errno);
    return false;
}

QString RecordingWriter::sha512() const { return QString::fromLatin1(hash_.result().toHex()); }

Spectrum RecordingWriter::spectrum(double centreHz, double sampleRateHz) const {
    if (!averager_) {
        Spectrum s;
        s.centreHz = centreHz;
        s.sampleRateHz = sampleRateHz;
        return s;
    }
    return averager_->result(centreHz, sampleRateHz);
}

}  // namespace cli
