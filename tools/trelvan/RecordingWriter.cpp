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

RecordingWriter::RecordingWriter(DataType type) : type_(type) {}

RecordingWriter::~RecordingWriter() {
    if (ownsFd_ && fd_ >= 0) ::close(fd_);
}

bool RecordingWriter::open(const QString& dataFile, QString& error) {
    if (dataFile == "-") {
        fd_ = STDOUT_FILENO;
        return true;
    }
    fd_ = ::open(QFile::encodeName(dataFile).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        error = QStringLiteral("cannot write %1: %2").arg(dataFile, QString::fromLocal8Bit(strerror(errno)));
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
        averager_.reset(new SpectrumAverager(static_cast<int>(std::min<std::size_t>(n, kFftSize))));
    }
    averager_->add(samples, n);
    const QByteArray bytes = encodeSamples(samples, n, type_, scale_, &clipped_);
    const char* p = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t done = ::write(fd_, p, static_cast<std::size_t>(left));
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) {
            readerGone_ = errno == EPIPE;
            const int why = errno;
            // Cut a half-written block off again, so the file holds exactly what the metadata describes.
            if (ownsFd_ && ::ftruncate(fd_, samples_ * bytesPerSample(type_)) == 0) errno = why;
            error = readerGone_ ? QStringLiteral("the reader of the output went away")
                                : QStringLiteral("cannot write the samples: %1").arg(QString::fromLocal8Bit(strerror(why)));
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

bool RecordingWriter::close(QString& error) {
    if (!ownsFd_) return true;
    ownsFd_ = false;
    if (::close(fd_) != 0) {
        error = QStringLiteral("cannot write the samples: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    return true;
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
