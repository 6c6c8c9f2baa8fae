// Command line of trelvan-sim-sk, kept in the library so that it can be tested.
#pragma once

#include <string>
#include <vector>

#include "SkServer.h"

namespace sim::sk {

struct Options {
    std::string address = "127.0.0.1";
    uint16_t port = 8888;
    Settings settings;
    std::vector<Fault> faults;
    bool verbose = false;
    bool help = false;
};

bool parseOptions(const std::vector<std::string>& args, Options* options, std::string* error);
// KIND[:ARG][,command=C][,param=P][,skip=N][,count=N]
bool parseFault(const std::string& text, Fault* fault, std::string* error);
const char* usage();
// One line describing a request, for --verbose.
std::string describe(const Request& r);

}  // namespace sim::sk
