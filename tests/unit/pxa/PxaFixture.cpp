#include "PxaFixture.h"

#include <QtGlobal>

namespace {
QStringList logLines;
void collect(QtMsgType, const QMessageLogContext&, const QString& text) {
    logLines << text;
}
}  // namespace

void PxaTest::SetUp() {
    useFake(visa, fake);
    std::strcpy(device.address, kResource);
    logLines.clear();
    qInstallMessageHandler(collect);
}

void PxaTest::TearDown() {
    qInstallMessageHandler(nullptr);
}

std::unique_ptr<PXA> PxaTest::connect() {
    auto pxa = std::make_unique<PXA>(init());
    fake.sent.clear();
    fake.timeouts.clear();
    return pxa;
}

std::vector<std::string> PxaTest::sentWithoutOpc() const {
    std::vector<std::string> out;
    for (const auto& s : fake.sent)
        if (s != "*OPC?\n") out.push_back(s);
    return out;
}

QStringList PxaTest::log() {
    return logLines;
}
