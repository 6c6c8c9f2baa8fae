// One owner per instrument on this machine: what another process holds exclusively is busy to a search
// and refused to an exclusive open, whatever the spelling, until the kernel lets go of it with that
// process.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "Api.h"
#include "support/LoopbackServer.h"

TEST(Owner, AnInstrumentAnotherProcessHoldsIsBusyAndRefusedUntilThatProcessIsKilled) {
    support::LoopbackServer server(support::LoopbackServer::Kind::Silent);
    std::string name = server.resource();
    std::string otherSpelling = "tcpip::127.0.0.1::" + std::to_string(server.port()) + "::socket";
    setenv("MIVISA_RESOURCES", (name + "|manufacturer=Keysight|model=N9030A|serial=1").c_str(), 1);

    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ViSession rm = 0, vi = 0;
        const char opened = viOpenDefaultRM(&rm) == VI_SUCCESS &&
                            viOpen(rm, &otherSpelling[0], VI_EXCLUSIVE_LOCK, 2000, &vi) == VI_SUCCESS;
        (void)!write(ready[1], &opened, 1);
        sleep(60);  // until killed
        _exit(0);
    }
    close(ready[1]);
    char opened = 0;
    pollfd p{ready[0], POLLIN, 0};
    const bool told = poll(&p, 1, 10000) == 1 && read(ready[0], &opened, 1) == 1;
    close(ready[0]);

    ViSession rm = 0, vi = 0;
    ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
    auto busyToASearch = [&] {
        ViFindList list = 0;
        ViUInt32 count = 0;
        char descriptor[VI_FIND_BUFLEN] = {};
        ViBoolean busy = 2;
        EXPECT_EQ(viFindRsrc(rm, const_cast<char*>("?*"), &list, &count, descriptor), VI_SUCCESS);
        EXPECT_EQ(viGetAttribute(list, TRELVAN_ATTR_BUSY, &busy), VI_SUCCESS);
        viClose(list);
        return busy;
    };
    if (told && opened) {
        EXPECT_EQ(busyToASearch(), 1);
        EXPECT_EQ(viOpen(rm, &name[0], VI_EXCLUSIVE_LOCK, 300, &vi), VI_ERROR_RSRC_LOCKED);
    }
    kill(child, SIGKILL);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    ASSERT_TRUE(told && opened) << "the other process could not open " << otherSpelling;

    EXPECT_EQ(busyToASearch(), 0);
    // Let go by the kernel: an open that does not wait at all succeeds.
    EXPECT_EQ(viOpen(rm, &name[0], VI_EXCLUSIVE_LOCK, VI_TMO_IMMEDIATE, &vi), VI_SUCCESS);
    viClose(rm);
}
