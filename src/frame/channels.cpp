#include "frame/channels.h"

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

std::FILE* channel_file(int channel) {
    OutputState& state = output_state();
    if (!state.files_open) return nullptr;
    if (channel == kReportChannel) return state.report;
    if (channel == kLogChannel) return state.log;
    return nullptr;
}

void write_text(std::FILE* file, const std::string& text) {
    if (file && !text.empty()) std::fwrite(text.data(), 1, text.size(), file);
}

}  // namespace

void channel_write(int channel, const std::string& text) {
    write_text(channel_file(channel), text);
    if (output_state().echo) {
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
    write_text(stdout, text);
    std::fflush(stdout);
    return length;
}

void xml_write(const std::string& text) {
    OutputState& state = output_state();
    if (state.files_open && state.xml) write_text(state.xml, text);
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
