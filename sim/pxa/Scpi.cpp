#include "Scpi.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace sim::scpi {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string trim(const std::string& s) {
    std::size_t a = 0, b = s.size();
    while (a < b && isBlank(s[a])) ++a;
    while (b > a && isBlank(s[b - 1])) --b;
    return s.substr(a, b - a);
}

// Splits at `sep` outside single or double quotes.
std::vector<std::string> splitOutsideQuotes(const std::string& text, char sep) {
    std::vector<std::string> parts(1);
    char quote = 0;
    for (char c : text) {
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == sep) {
            parts.emplace_back();
            continue;
        }
        parts.back().push_back(c);
    }
    return parts;
}

// "DATA2" -> ("DATA", 2); no digits -> suffix 1.
std::pair<std::string, long> splitSuffix(const std::string& mnemonic) {
    std::size_t end = mnemonic.size();
    while (end > 0 && std::isdigit(static_cast<unsigned char>(mnemonic[end - 1]))) --end;
    if (end == mnemonic.size() || end == 0) return {mnemonic, 1};
    return {mnemonic.substr(0, end), std::strtol(mnemonic.c_str() + end, nullptr, 10)};
}

bool isMnemonicChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

}  // namespace

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::vector<std::string> splitUnits(const std::string& message) {
    std::vector<std::string> units;
    for (const std::string& part : splitOutsideQuotes(message, ';')) {
        std::string unit = trim(part);
        if (!unit.empty()) units.push_back(unit);
    }
    return units;
}

bool parseUnit(const std::string& text, Unit& unit) {
    unit = Unit{};
    const std::string t = trim(text);
    std::size_t end = 0;
    while (end < t.size() && !isBlank(t[end])) ++end;
    std::string header = t.substr(0, end);
    if (!header.empty() && header.back() == '?') {
        unit.query = true;
        header.pop_back();
    }
    if (header.empty()) return false;
    if (header[0] == '*') {
        if (header.size() < 2) return false;
        for (std::size_t i = 1; i < header.size(); ++i)
            if (!std::isalpha(static_cast<unsigned char>(header[i]))) return false;
        unit.header.push_back(header);
    } else {
        if (header[0] == ':') header.erase(0, 1);
        for (const std::string& m : splitOutsideQuotes(header, ':')) {
            if (m.empty() || !std::all_of(m.begin(), m.end(), isMnemonicChar)) return false;
            unit.header.push_back(m);
        }
    }
    const std::string rest = trim(t.substr(end));
    if (!rest.empty())
        for (const std::string& arg : splitOutsideQuotes(rest, ',')) unit.args.push_back(trim(arg));
    return true;
}

bool mnemonicMatches(const std::string& form, const std::string& received) {
    const auto [formBase, formSuffix] = splitSuffix(form);
    const auto [base, suffix] = splitSuffix(upper(received));
    if (formSuffix != suffix) return false;
    std::size_t shortLength = 0;
    while (shortLength < formBase.size() && !std::islower(static_cast<unsigned char>(formBase[shortLength])))
        ++shortLength;
    return base == formBase.substr(0, shortLength) || base == upper(formBase);
}

Pattern::Pattern(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        Node node;
        std::string body;
        if (text[i] == ':') {
            ++i;
            continue;
        }
        if (text[i] == '[') {
            const std::size_t close = text.find(']', i);
            body = text.substr(i + 1, close - i - 1);
            i = close + 1;
            node.optional = true;
            if (!body.empty() && body[0] == ':') body.erase(0, 1);
        } else {
            const std::size_t stop = text.find_first_of(":[", i);
            body = text.substr(i, stop == std::string::npos ? std::string::npos : stop - i);
            i = stop == std::string::npos ? text.size() : stop;
        }
        node.forms = splitOutsideQuotes(body, '|');
        nodes_.push_back(node);
    }
}

bool Pattern::matches(const std::vector<std::string>& header) const {
    return matchFrom(0, header, 0);
}

bool Pattern::matchFrom(std::size_t node, const std::vector<std::string>& header, std::size_t at) const {
    if (node == nodes_.size()) return at == header.size();
    const Node& n = nodes_[node];
    if (at < header.size())
        for (const std::string& form : n.forms)
            if (mnemonicMatches(form, header[at]) && matchFrom(node + 1, header, at + 1)) return true;
    return n.optional && matchFrom(node + 1, header, at);
}

NumberResult parseNumber(const std::string& text, const std::vector<UnitScale>& units, double& value) {
    const std::string t = trim(text);
    std::size_t i = 0;
    std::string mantissa;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) mantissa.push_back(t[i++]);
    if (!mantissa.empty() && mantissa[0] == '+') mantissa.clear();
    int digits = 0;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])))
        mantissa.push_back(t[i++]), ++digits;
    if (i < t.size() && t[i] == '.') {
        mantissa.push_back(t[i++]);
        while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])))
            mantissa.push_back(t[i++]), ++digits;
    }
    if (digits == 0) return NumberResult::NotANumber;
    long exponent = 0;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < t.size() && (t[j] == '+' || t[j] == '-')) ++j;
        if (j < t.size() && std::isdigit(static_cast<unsigned char>(t[j]))) {
            exponent = std::strtol(t.c_str() + i + 1, nullptr, 10);
            i = j;
            while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i;
        }
    }
    while (i < t.size() && isBlank(t[i])) ++i;
    const std::string suffix = upper(t.substr(i));
    int power = 0;
    if (!suffix.empty()) {
        auto it =
            std::find_if(units.begin(), units.end(), [&](const UnitScale& u) { return suffix == u.name; });
        if (it == units.end()) return NumberResult::BadSuffix;
        power = it->power;
    }
    // The unit joins the exponent so that "1.234567 GHZ" reads as exactly 1234567000.
    const std::string full = mantissa + "e" + std::to_string(exponent + power);
    double v = 0;
    const auto [end, ec] = std::from_chars(full.data(), full.data() + full.size(), v);
    if (ec == std::errc::result_out_of_range)
        v = full[0] == '-' ? -HUGE_VAL : (exponent + power < 0 ? 0.0 : HUGE_VAL);
    else if (ec != std::errc() || end != full.data() + full.size())
        return NumberResult::NotANumber;
    value = v;
    return NumberResult::Ok;
}

std::string formatNumber(double value) {
    char text[64];
    const bool whole = std::fabs(value) < 1e15 && value == std::trunc(value);
    const auto result = whole ? std::to_chars(text, text + sizeof text, value, std::chars_format::fixed)
                              : std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

}  // namespace sim::scpi
