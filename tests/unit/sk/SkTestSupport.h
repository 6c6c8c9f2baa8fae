// Helpers shared by the SK tests: wire bytes written out by hand (independently of the library's
// header struct) and a capture of the Qt log.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace sktest {

using Bytes = std::string;

inline void put16(Bytes& b, unsigned v) {
    b += static_cast<char>(v & 0xFF);
    b += static_cast<char>((v >> 8) & 0xFF);
}

inline void put32(Bytes& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// One message: signature, command, status, body length, NumParam, LenParam/FracParam, reserved,
// sequence, then the body.
inline Bytes message(unsigned command, int status, unsigned num, unsigned lenFrac, const Bytes& body,
                     uint32_t sequence = 0, unsigned signature = 0x55AA) {
    Bytes b;
    put16(b, signature);
    put16(b, command);
    put16(b, static_cast<uint16_t>(status));
    put16(b, static_cast<unsigned>(body.size()));
    b += static_cast<char>(num);
    b += static_cast<char>(lenFrac);
    put16(b, 0);
    put32(b, sequence);
    return b + body;
}

// A parameter body: the ID, then values already encoded as little-endian integers of `width` bytes.
inline Bytes paramBody(unsigned pid, std::initializer_list<int64_t> values, unsigned width) {
    Bytes b;
    put16(b, pid);
    for (int64_t v : values)
        for (unsigned k = 0; k < width; ++k)
            b += static_cast<char>((static_cast<uint64_t>(v) >> (8 * k)) & 0xFF);
    return b;
}

inline Bytes hex(std::initializer_list<unsigned> bytes) {
    Bytes b;
    for (unsigned v : bytes) b += static_cast<char>(v);
    return b;
}

// Collects the Qt log lines written while it lives.
class LogCapture {
public:
    LogCapture() {
        lines().clear();
        previous_ = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture() { qInstallMessageHandler(previous_); }
    static QStringList& lines() {
        static QStringList all;
        return all;
    }

private:
    static void handle(QtMsgType, const QMessageLogContext&, const QString& text) { lines() << text; }
    QtMessageHandler previous_;
};

}  // namespace sktest
