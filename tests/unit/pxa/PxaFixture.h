// A PXA wired to a scripted instrument, with the facade's seven records owned by the fixture.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <cstring>
#include <memory>

#include "FakeVisa.h"
#include "backends/pxa/PXA.h"

class PxaTest : public ::testing::Test {
protected:
    static constexpr const char* kResource = "TCPIP0::127.0.0.1::5025::SOCKET";

    DynamicVisa visa{nullptr};
    FakeInstrument fake;
    ViStatus status = VI_SUCCESS;
    ViSession session = 7;
    ViSession resourceManager = 3;
    Params params{1e9, 1e7, 0};
    Error error;
    DeviceData device;

    void SetUp() override;
    void TearDown() override;
    Init init() { return {&visa, &status, &session, &resourceManager, &params, &error, &device}; }
    // A connected backend, with the set-up exchange already forgotten.
    std::unique_ptr<PXA> connect();
    // What the backend sent, "*OPC?" queries left out.
    std::vector<std::string> sentWithoutOpc() const;
    // Debug log lines written since SetUp.
    static QStringList log();
};
