#include <trelvan/Split.h>

std::vector<std::string> split(std::string source, std::string delimiter) {
    std::vector<std::string> fields;
    // An empty delimiter would match everywhere without advancing: the text is one field.
    if (delimiter.empty()) {
        fields.push_back(source);
        return fields;
    }
    std::string::size_type from = 0;
    for (;;) {
        const std::string::size_type at = source.find(delimiter, from);
        if (at == std::string::npos) {
            fields.push_back(source.substr(from));
            return fields;
        }
        fields.push_back(source.substr(from, at - from));
        from = at + delimiter.size();
    }
}

std::vector<QString> QSplit(std::string source, std::string delimiter) {
    const std::vector<std::string> pieces = split(std::move(source), std::move(delimiter));
    std::vector<QString> fields;
    fields.reserve(pieces.size());
    for (const std::string& piece : pieces)
        fields.push_back(QString::fromUtf8(piece.data(), static_cast<int>(piece.size())));
    return fields;
}
