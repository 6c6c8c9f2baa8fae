// Ctrl-C and SIGTERM during a capture: the first one asks the capture to end after the block in hand,
// so the recording stays valid; a second one ends the program at once.
#pragma once

namespace cli {

class StopRequests {
public:
    StopRequests();   // installs the handlers; a closed stdout reads as EPIPE instead of killing us
    ~StopRequests();  // puts the previous handlers back
    StopRequests(const StopRequests&) = delete;
    StopRequests& operator=(const StopRequests&) = delete;

    static bool requested();
    static int signal();  // the signal that asked, 0 if none
};

}  // namespace cli
