// SCPI program messages as an instrument reads them: units separated by ";", a header of ":"-separated
// mnemonics (long or short form, any case, optional leading ":"), "?" for a query, then parameters.
#pragma once

#include <string>
#include <vector>

namespace sim::scpi {

struct Unit {
    std::vector<std::string> header;  // mnemonics as received, e.g. {"SENS", "FREQ", "SPAN"} or {"*IDN"}
    bool query = false;
    std::vector<std::string> args;  // parameters, trimmed; quoted strings keep their quotes
};

// Splits a message at ";" outside quotes.
std::vector<std::string> splitUnits(const std::string& message);

// False when the text is not a header followed by parameters.
bool parseUnit(const std::string& text, Unit& unit);

// A header pattern such as "[SENSe]:FREQuency[:RF]:CENTer" or "CALCulate:VECTor:DATA2:RAW": upper case
// marks the short form, [] an optional node, "|" alternatives ("BWIDth|BANDwidth"), a trailing number a
// suffix that a received mnemonic without one does not match unless it is 1.
class Pattern {
public:
    explicit Pattern(const std::string& text);
    bool matches(const std::vector<std::string>& header) const;

private:
    struct Node {
        std::vector<std::string> forms;  // each alternative's full text, e.g. "FREQuency"
        bool optional = false;
    };
    std::vector<Node> nodes_;
    bool matchFrom(std::size_t node, const std::vector<std::string>& header, std::size_t at) const;
};

// True when `received` names the mnemonic `form` ("FREQuency" accepts FREQ and FREQUENCY, any case).
bool mnemonicMatches(const std::string& form, const std::string& received);

// A number with an optional unit suffix ("1.5 GHZ", "-10", "2.5e3HZ"), the suffix scaling it by a power of
// ten. `units` lists the suffixes allowed, each with its power, e.g. {{"HZ",0},{"KHZ",3}}.
struct UnitScale {
    const char* name;
    int power;
};
enum class NumberResult { Ok, NotANumber, BadSuffix };
NumberResult parseNumber(const std::string& text, const std::vector<UnitScale>& units, double& value);

// Shortest decimal text that reads back as the same double; whole numbers without a point.
std::string formatNumber(double value);

std::string upper(std::string text);

}  // namespace sim::scpi
