// Shared set-up for the Harogic tests: a fresh simulated bus, the facade's records a backend borrows,
// and the library's debug log captured line by line.
#pragma once

#include <HtraSim.h>
#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <array>
#include <cstring>
#include <memory>
#include <mutex>

#include "backends/harogic/Harogic.h"

class LogCapture {
public:
    static void start() {
        std::lock_guard<std::mutex> lock(mutex());
        lines().clear();
        qInstallMessageHandler(&LogCapture::handle);
    }
    static void stop() { qInstallMessageHandler(nullptr); }
    static QStringList all() {
        std::lock_guard<std::mutex> lock(mutex());
        return lines();
    }
    static int count(const QString& line) { return all().count(line); }

private:
    static void handle(QtMsgType, const QMessageLogContext&, const QString& text) {
        std::lock_guard<std::mutex> lock(mutex());
        lines().append(text);
    }
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
    static QStringList& lines() {
        static QStringList l;
        return l;
    }
};

class HarogicTest : public ::testing::Test {
protected:
    void SetUp() override {
        HtraSim_Reset();
        LogCapture::start();
    }
    void TearDown() override { LogCapture::stop(); }

    std::unique_ptr<Harogic> connect(const char* address = "USB::0") {
        std::strncpy(device.address, address, sizeof device.address - 1);
        Init init{nullptr, &status, &session, &resourceManager, &params, &error, &device};
        return std::make_unique<Harogic>(init);
    }

    static int calls(HtraSimFunction function, int device = 0) { return HtraSim_CallCount(device, function); }
    // Makes the next n packet reads of device 0 return `status`.
    static void injectPackets(int status, int n = 1, int fromNext = 1) {
        HtraSim_InjectStatus(0, HTRASIM_GET_IQ_STREAM, calls(HTRASIM_GET_IQ_STREAM) + fromNext, n, status);
    }

    ViStatus status = 1;
    ViSession session = 0;
    ViSession resourceManager = 0;
    Params params{1e9, 1e7, 0};
    Error error;
    DeviceData device;
};
