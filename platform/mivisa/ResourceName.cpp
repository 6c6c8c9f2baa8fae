#include "ResourceName.h"

#include <cctype>
#include <vector>

namespace mivisa {

namespace {

bool equalsNoCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return i == a.size() && b[i] == '\0';
}

bool allDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Splits at "::", except inside brackets, so that "[::1]" stays one piece.
std::vector<std::string> pieces(const std::string& s) {
    std::vector<std::string> out(1);
    int depth = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '[') ++depth;
        if (c == ']' && depth > 0) --depth;
        if (depth == 0 && c == ':' && i + 1 < s.size() && s[i + 1] == ':') {
            out.emplace_back();
            ++i;
            continue;
        }
        out.back() += c;
    }
    return out;
}

// "TCPIP0" -> ("TCPIP", "0"); false unless letters (and '-') then digits.
bool splitInterface(const std::string& token, std::string& name, std::string& number) {
    size_t i = 0;
    while (i < token.size() && (std::isalpha(static_cast<unsigned char>(token[i])) || token[i] == '-')) ++i;
    name = token.substr(0, i);
    number = token.substr(i);
    return !name.empty() && (number.empty() || allDigits(number));
}

bool isKnownInterface(const std::string& name) {
    for (const char* known : {"TCPIP", "USB", "GPIB", "GPIB-VXI", "VXI", "ASRL", "PXI", "FIREWIRE"})
        if (equalsNoCase(name, known)) return true;
    return false;
}

bool isKnownClass(const std::string& name) {
    for (const char* known : {"INSTR", "SOCKET", "INTFC", "BACKPLANE", "MEMACC", "SERVANT", "RAW"})
        if (equalsNoCase(name, known)) return true;
    return false;
}

bool validHostName(const std::string& h) {
    if (h.empty() || h.size() > 253) return false;
    for (char c : h) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (!(std::isalnum(u) || c == '-' || c == '.' || c == '_')) return false;
    }
    return true;
}

bool validIpv6(const std::string& h) {
    if (h.empty() || h.size() > 64) return false;
    for (char c : h) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (!(std::isxdigit(u) || c == ':' || c == '.' || c == '%' || std::isalnum(u))) return false;
    }
    return h.find(':') != std::string::npos;
}

}  // namespace

std::string ResourceName::canonical() const {
    const std::string h = ipv6 ? "[" + host + "]" : host;
    return "TCPIP" + std::to_string(board) + "::" + h + "::" + std::to_string(port) + "::SOCKET";
}

std::string ResourceName::key() const {
    return lower(host) + "#" + std::to_string(port);
}

ViStatus parseResourceName(const char* text, ResourceName& out) {
    if (text == nullptr) return VI_ERROR_INV_RSRC_NAME;
    const std::string s(text);
    const std::vector<std::string> p = pieces(s);
    for (const std::string& piece : p)
        if (piece.empty()) return VI_ERROR_INV_RSRC_NAME;

    std::string intf, number;
    if (!splitInterface(p[0], intf, number) || !isKnownInterface(intf) || !isKnownClass(p.back()))
        return VI_ERROR_INV_RSRC_NAME;
    const bool ours = equalsNoCase(intf, "TCPIP") && equalsNoCase(p.back(), "SOCKET");
    if (!ours) return p.size() >= 2 ? VI_ERROR_RSRC_NFOUND : VI_ERROR_INV_RSRC_NAME;
    if (p.size() != 4) return VI_ERROR_INV_RSRC_NAME;

    ResourceName r;
    if (!number.empty()) {
        if (number.size() > 4) return VI_ERROR_INV_RSRC_NAME;
        r.board = static_cast<unsigned>(std::stoul(number));
    }
    const std::string& host = p[1];
    if (host.front() == '[') {
        if (host.back() != ']') return VI_ERROR_INV_RSRC_NAME;
        r.host = host.substr(1, host.size() - 2);
        r.ipv6 = true;
        if (!validIpv6(r.host)) return VI_ERROR_INV_RSRC_NAME;
    } else {
        r.host = host;
        if (!validHostName(r.host)) return VI_ERROR_INV_RSRC_NAME;
    }
    if (!allDigits(p[2]) || p[2].size() > 5) return VI_ERROR_INV_RSRC_NAME;
    const unsigned long port = std::stoul(p[2]);
    if (port == 0 || port > 65535) return VI_ERROR_INV_RSRC_NAME;
    r.port = static_cast<uint16_t>(port);
    out = r;
    return VI_SUCCESS;
}

}  // namespace mivisa
