// Writes blocks of samples to a data file (or stdout) as they arrive: converted to the chosen datatype,
// hashed for core:sha512 and averaged into a spectrum, so nothing grows with the length of a capture.
#pragma once

#include <trelvan/Records.h>

#include <QCryptographicHash>
#include <QFile>
#include <QString>
#include <QVector>
#include <memory>

#include "Sigmf.h"
#include "Spectrum.h"

namespace cli {

class RecordingWriter {
public:
    explicit RecordingWriter(DataType type, Window window = Window::Hann);
    ~RecordingWriter();
    RecordingWriter(const RecordingWriter&) = delete;
    RecordingWriter& operator=(const RecordingWriter&) = delete;

    // "-" is stdout. An existing file is replaced.
    bool open(const QString& dataFile, QString& error);
    // False when the bytes could not be written (the error names the file); readerGone() then tells a
    // closed pipe from a failure. A block counts only once it is whole in the file.
    bool write(const QVector<IQ_Elem>& block, QString& error);
    // Puts what was written on the disk, so metadata written afterwards never describes more.
    bool sync(QString& error);
    // Cuts the file to the whole blocks written, syncs and closes it.
    bool close(QString& error);

    bool readerGone() const { return readerGone_; }
    qint64 samples() const { return samples_; }
    double scale() const { return scale_; }
    std::size_t clipped() const { return clipped_; }
    QString sha512() const;
    // The averaged spectrum of what was written (empty before the first block).
    Spectrum spectrum(double centreHz, double sampleRateHz) const;

private:
    QString failure(int why) const;
    DataType type_;
    Window window_;
    QString path_;
    int fd_ = -1;
    bool ownsFd_ = false;
    bool readerGone_ = false;
    qint64 samples_ = 0;
    double scale_ = 0;
    std::size_t clipped_ = 0;
    QCryptographicHash hash_{QCryptographicHash::Sha512};
    std::unique_ptr<SpectrumAverager> averager_;
};

}  // namespace cli
