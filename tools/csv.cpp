#include "csv.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace quorix {

bool read_csv_record(CsvReader& reader, std::vector<std::string>& fields, std::string& error) {
    fields.clear();
    int c = std::fgetc(reader.file);
    if (c == EOF) return false;
    reader.line = reader.next_line;
    std::string field;
    bool quoted = false;
    bool was_quoted = false;
    for (;; c = std::fgetc(reader.file)) {
        if (c == EOF) {
            if (quoted) {
                error = "unterminated quoted field starting on line " + std::to_string(reader.line);
                return false;
            }
            break;
        }
        if (quoted) {
            if (c == '"') {
                int next = std::fgetc(reader.file);
                if (next == '"') {
                    field += '"';
                } else {
                    quoted = false;
                    if (next != EOF) std::ungetc(next, reader.file);
                }
            } else {
                if (c == '\n') ++reader.next_line;
                field += static_cast<char>(c);
            }
            continue;
        }
        if (c == '"' && field.empty() && !was_quoted) {
            quoted = was_quoted = true;
        } else if (c == reader.delimiter) {
            fields.push_back(field);
            field.clear();
            was_quoted = false;
        } else if (c == '\n') {
            ++reader.next_line;
            break;
        } else if (c != '\r') {
            field += static_cast<char>(c);
        }
    }
    fields.push_back(field);
    return true;
}

bool skip_byte_order_mark(std::FILE* file) {
    const long start = std::ftell(file);
    unsigned char bytes[3] = {0, 0, 0};
    if (std::fread(bytes, 1, 3, file) == 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) return true;
    std::clearerr(file);
    std::fseek(file, start, SEEK_SET);
    return false;
}

char detect_delimiter(const std::string& header_line) {
    const char candidates[] = {',', ';', '\t'};
    size_t counts[3] = {0, 0, 0};
    bool quoted = false;
    for (char c : header_line) {
        if (c == '"') quoted = !quoted;
        for (size_t i = 0; i < 3 && !quoted; ++i)
            if (c == candidates[i]) ++counts[i];
    }
    size_t best = 0;
    for (size_t i = 1; i < 3; ++i)
        if (counts[i] > counts[best]) best = i;
    return candidates[best];
}

std::string quoted_csv_field(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string csv_field(const std::string& text) {
    bool needs_quotes = !text.empty() && (std::isspace(static_cast<unsigned char>(text.front())) ||
                                          std::isspace(static_cast<unsigned char>(text.back())));
    for (char c : text)
        if (c == ',' || c == '"' || c == '\n' || c == '\r') needs_quotes = true;
    return needs_quotes ? quoted_csv_field(text) : text;
}

bool parse_decimal(const std::string& text, double& value) {
    size_t i = 0;
    const size_t n = text.size();
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    size_t digits = 0;
    while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
        size_t exponent_digits = 0;
        while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++exponent_digits;
        if (exponent_digits == 0) return false;
    }
    if (i != n) return false;
    value = std::strtod(text.c_str(), nullptr);
    return std::isfinite(value);
}

std::string shortest_decimal(double value) {
    char text[40];
    int precision = 1;
    for (; precision < 17; ++precision) {
        std::snprintf(text, sizeof text, "%.*g", precision, value);
        if (std::strtod(text, nullptr) == value) break;
    }
    // Whole numbers below 1e17 are written out rather than as 1e+01.
    const double magnitude = std::fabs(value);
    if (magnitude >= 1 && magnitude < 1e17) {
        const int digits = static_cast<int>(std::floor(std::log10(magnitude))) + 1;
        if (digits > precision) precision = digits;
    }
    std::snprintf(text, sizeof text, "%.*g", precision, value);
    return text;
}

}  // namespace quorix
