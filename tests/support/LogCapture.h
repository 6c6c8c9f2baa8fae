// The library's Qt debug log, captured line by line while an instance lives; safe from any thread.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <mutex>

namespace support {

class LogCapture {
public:
    LogCapture() {
        std::lock_guard<std::mutex> hold(mutex());
        all().clear();
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QStringList lines() const {
        std::lock_guard<std::mutex> hold(mutex());
        return all();
    }
    int count(const QString& line) const { return lines().count(line); }
    bool contains(const QString& part) const {
        for (const QString& l : lines())
            if (l.contains(part)) return true;
        return false;
    }
    void clear() {
        std::lock_guard<std::mutex> hold(mutex());
        all().clear();
    }

private:
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static QStringList& all() {
        static QStringList l;
        return l;
    }
    static void handle(QtMsgType, const QMessageLogContext&, const QString& text) {
        std::lock_guard<std::mutex> hold(mutex());
        all() << text;
    }
    QtMessageHandler m_previous;
};

// Drops the log, for fuzz targets and benchmarks whose output it would flood.
inline void silenceLog() {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
}

}  // namespace support
