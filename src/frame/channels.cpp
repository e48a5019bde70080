#include "frame/channels.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace quorix {

OutputState& output_state() {
    static OutputState state;
    return state;
}

int append_vprintf(std::string& text, const char* format, va_list args) {
    char small[512];
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (length <= 0) return 0;
    if (static_cast<size_t>(length) < sizeof small) {
        text.append(small, static_cast<size_t>(length));
        return length;
    }
    size_t start = text.size();
    text.resize(start + static_cast<size_t>(length) + 1);
    std::vsnprintf(&text[start], static_cast<size_t>(length) + 1, format, args);
    text.resize(start + static_cast<size_t>(length));
    return length;
}

int append_printf(std::string& text, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int length = append_vprintf(text, format, args);
    va_end(args);
    return length;
}

namespace {

// Room for any text the integer paths below produce: a sign, 20 digits, a
// point and three decimals, left-padded to a width of at most 40.
constexpr int kMaxPaddedWidth = 40;
constexpr size_t kNumberRoom = 64;

// Writes the digits of magnitude (with a point before the last `decimals`
// digits and at least one digit before it) and the sign, right-aligned in
// width; returns the length.
size_t place_digits(char* out, uint64_t magnitude, int decimals, bool negative, int width) {
    char digits[32];  // filled from the end
    char* const end = digits + sizeof digits;
    char* first = end;
    for (int i = 0; i < decimals; ++i) {
        *--first = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    }
    if (decimals > 0) *--first = '.';
    do {
        *--first = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (negative) *--first = '-';
    const size_t n = static_cast<size_t>(end - first);
    const size_t pad = width > 0 && static_cast<size_t>(width) > n ? static_cast<size_t>(width) - n : 0;
    std::memset(out, ' ', pad);
    std::memcpy(out + pad, first, n);
    return pad + n;
}

// value x 10^precision rounded to an integer as printf rounds it: the exact
// binary value, ties to even. A finite value below 2^43 in magnitude is
// m x 2^-s with integers m < 2^53 and s >= 10, so value x 10^precision is
// (m x 10^precision) / 2^s with a numerator below 2^63 (precision <= 3).
// False outside that range.
bool scaled_magnitude(double value, int precision, uint64_t& scaled) {
    static const uint64_t kPowersOfTen[] = {1, 10, 100, 1000};
    if (precision < 0 || precision > 3 || !(std::fabs(value) < 0x1p43)) return false;
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const int exponent_field = static_cast<int>((bits >> 52) & 0x7ff);
    const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
    const uint64_t mantissa = exponent_field == 0 ? fraction : fraction | (uint64_t{1} << 52);
    const int shift = 1075 - (exponent_field == 0 ? 1 : exponent_field);  // value = mantissa / 2^shift
    const uint64_t numerator = mantissa * kPowersOfTen[precision];
    if (shift >= 64) {  // below 2^63 / 2^64: rounds to 0
        scaled = 0;
        return true;
    }
    const uint64_t whole = numerator >> shift;
    const uint64_t rest = numerator & ((uint64_t{1} << shift) - 1);
    const uint64_t half = uint64_t{1} << (shift - 1);
    scaled = whole + ((rest > half || (rest == half && (whole & 1) != 0)) ? 1 : 0);
    return true;
}

}  // namespace

int append_fixed(std::string& text, double value, int width, int precision) {
    uint64_t scaled;
    if (width < 0 || width > kMaxPaddedWidth || !scaled_magnitude(value, precision, scaled))
        return append_printf(text, "%*.*f", width, precision, value);
    char out[kNumberRoom];
    // printf writes the sign of every negative value, -0.0 and those rounding to zero included.
    const size_t length = place_digits(out, scaled, precision, std::signbit(value), width);
    text.append(out, length);
    return static_cast<int>(length);
}

int append_int(std::string& text, long long value, int width) {
    if (width < 0 || width > kMaxPaddedWidth) return append_printf(text, "%*lld", width, value);
    const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    char out[kNumberRoom];
    const size_t length = place_digits(out, magnitude, 0, value < 0, width);
    text.append(out, length);
    return static_cast<int>(length);
}

namespace {

// The write-error slot of a result stream; null for any other stream.
int* error_slot(std::FILE* file) {
    OutputState& state = output_state();
    if (!file) return nullptr;
    if (file == state.report) return &state.report_error;
    if (file == state.log) return &state.log_error;
    if (file == state.xml) return &state.xml_error;
    return nullptr;
}

void write_text(std::FILE* file, const std::string& text) {
    if (!file || text.empty()) return;
    if (std::fwrite(text.data(), 1, text.size(), file) == text.size()) return;
    int* error = error_slot(file);
    if (error && *error == 0) *error = errno != 0 ? errno : EIO;
}

std::FILE* channel_file(int channel) {
    OutputState& state = output_state();
    if (!state.files_open) return nullptr;
    if (channel == kReportChannel) return state.report;
    if (channel == kLogChannel) return state.log;
    return nullptr;
}

// Flushes a result stream; a failure is kept in its error slot.
void flush_result(std::FILE* file, int& error) {
    if (!file) return;
    errno = 0;
    const bool flushed = std::fflush(file) == 0;
    if (error == 0 && !flushed) error = errno != 0 ? errno : EIO;
    if (error == 0 && std::ferror(file)) error = EIO;
}

void close_result(std::FILE*& file, int& error) {
    if (!file) return;
    errno = 0;
    const bool closed = std::fclose(file) == 0;
    if (error == 0 && !closed) error = errno != 0 ? errno : EIO;
    file = nullptr;
}

}  // namespace

void note_result_paths(const std::string& report, const std::string& log, const std::string& xml) {
    OutputState& state = output_state();
    state.report_path = report;
    state.log_path = log;
    state.xml_path = xml;
    state.report_error = state.log_error = state.xml_error = 0;
}

int close_result_files() {
    OutputState& state = output_state();
    struct ResultFile {
        std::FILE*& stream;
        const std::string& path;
        int& error;
    };
    const ResultFile files[] = {{state.report, state.report_path, state.report_error},
                                {state.log, state.log_path, state.log_error},
                                {state.xml, state.xml_path, state.xml_error}};
    for (const ResultFile& file : files) flush_result(file.stream, file.error);
    // The log names what failed while it can still be written.
    if (state.log && state.log_error == 0) {
        bool failed = false;
        for (const ResultFile& file : files) {
            if (!file.stream || file.error == 0) continue;
            write_text(state.log, " can't write " + file.path + ": " + std::strerror(file.error) + "\n");
            failed = true;
        }
        if (failed) write_text(state.log, " The run failed: its incomplete result files are removed.\n");
        flush_result(state.log, state.log_error);
    }
    int status = 0;
    for (const ResultFile& file : files) {
        const bool was_open = file.stream != nullptr;
        close_result(file.stream, file.error);
        if (!was_open || file.error == 0) continue;
        console_printf("\ncan't write %s: %s", file.path.c_str(), std::strerror(file.error));
        std::remove(file.path.c_str());
        file.error = 0;
        status = -1;
    }
    state.files_open = 0;
    return status;
}

void channel_write(int channel, const std::string& text) {
    write_text(channel_file(channel), text);
    if (output_state().echo && !output_state().echo_suppressed) {
        write_text(stdout, text);
        std::fflush(stdout);
    }
}

int channel_printf(int channel, const char* format, ...) {
    std::string text;
    va_list args;
    va_start(args, format);
    int length = append_vprintf(text, format, args);
    va_end(args);
    channel_write(channel, text);
    return length;
}

int console_printf(const char* format, ...) {
    std::string text;
    va_list args;
    va_start(args, format);
    int length = append_vprintf(text, format, args);
    va_end(args);
    if (output_state().echo_suppressed) return length;
    write_text(stdout, text);
    std::fflush(stdout);
    return length;
}

void xml_write(const std::string& text) {
    OutputState& state = output_state();
    if (state.files_open && state.xml) write_text(state.xml, text);
}

void write_document_prolog() {
    xml_printf("%s\n", "<?xml version=\"1.0\" standalone=\"yes\"?>");
    xml_printf("%s\n", "<?xml-stylesheet type=\"text/xsl\" href=\"drelt.xsl\"?>");
    xml_printf("%s\n", "<RESULTS>");
}

int xml_printf(const char* format, ...) {
    OutputState& state = output_state();
    if (!state.files_open || !state.xml) return 0;
    std::string text;
    va_list args;
    va_start(args, format);
    int length = append_vprintf(text, format, args);
    va_end(args);
    write_text(state.xml, text);
    return length;
}

}  // namespace quorix
