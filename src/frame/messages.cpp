#include "frame/messages.h"

#include "frame/channels.h"

namespace quorix {

namespace {

enum class Where { console, log };

struct MessageRow {
    Message message;
    Where where;
    const char* text;
};

const MessageRow kMessages[] = {
    {Message::cannot_create_result_files, Where::console, "can't initialize output files."},
    {Message::open_failed, Where::log, "Open file Failed.\n\n"},
    {Message::header_unreadable, Where::log, " Error reading RKD file header\n"},
    {Message::bad_magic, Where::console, "\nfile format error"},
    {Message::dictionary_unreadable, Where::log, " Error reading file header!\n file maybe corrupted !\n"},
    {Message::header_premature_end, Where::log, "Premature end of file.\n"},
    {Message::header_read_error, Where::log, "File read error.\n"},
    {Message::negative_variable_count, Where::console, " Error reading File ! "},
    {Message::names_premature_end, Where::console, " Premature end of file.\n"},
    {Message::names_read_error, Where::console, " File read error.\n"},
    {Message::values_not_enough_memory, Where::console, " Not enough memory!\n"},
    {Message::values_memory_error, Where::console, " memory allocation error!"},
    {Message::flags_cannot_read, Where::console, " can't read data!"},
    {Message::gather_memory_error, Where::console, " memory allocation error"},
    {Message::gather_marked_memory_error, Where::log, " memory allocation error!\n"},
    {Message::marking_not_enough_memory, Where::log, " not enough memory!\n"},
    {Message::tables_no_memory_space, Where::log, " Do not have enough memory space\n"},
};

const MessageRow& row_of(Message message) {
    for (const MessageRow& row : kMessages)
        if (row.message == message) return row;
    return kMessages[0];
}

}  // namespace

const char* message_text(Message message) { return row_of(message).text; }

void report(Message message) {
    const MessageRow& row = row_of(message);
    if (row.where == Where::console)
        console_printf("%s", row.text);
    else
        channel_printf(kLogChannel, "%s", row.text);
}

}  // namespace quorix
