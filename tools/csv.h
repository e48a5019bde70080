// Delimited text: records with quoted fields ("" inside quotes is one quote;
// quoted fields may hold delimiters and line breaks).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace quorix {

struct CsvReader {
    std::FILE* file = nullptr;
    long line = 0;         // line on which the last record started (1-based)
    long next_line = 1;
    char delimiter = ',';
};

// Reads one record; false at the end of the file. An unterminated quote is
// reported through error.
bool read_csv_record(CsvReader& reader, std::vector<std::string>& fields, std::string& error);

// Skips a UTF-8 byte-order mark at the reading position; true when there was one.
bool skip_byte_order_mark(std::FILE* file);

// The delimiter of a header line: whichever of comma, semicolon and tab occurs
// most often outside quotes (comma when none does).
char detect_delimiter(const std::string& header_line);

// A field quoted when it needs to be (comma, quote, line break, outer blanks).
std::string csv_field(const std::string& text);
std::string quoted_csv_field(const std::string& text);

// Strict decimal number: sign, digits with an optional point, optional exponent.
bool parse_decimal(const std::string& text, double& value);

// The shortest decimal text that reads back as exactly the same double.
std::string shortest_decimal(double value);

}  // namespace quorix
