// The fixed texts the frame, the data file reader and case access give when
// something fails, in one table: each message with the channel it goes to and
// its exact bytes. The application reads these texts, so they stay as they
// are, misspellings and odd spacing included.
#pragma once

namespace quorix {

enum class Message {
    // The run frame.
    cannot_create_result_files,  // console
    open_failed,                 // log
    header_unreadable,           // log, after the reader's own line
    bad_magic,                   // console
    dictionary_unreadable,       // log, two lines
    // The data file reader, on the header and the name table.
    header_premature_end,
    header_read_error,
    negative_variable_count,
    names_premature_end,
    names_read_error,
    // Case access, each on the channel and in the words of its operation.
    values_not_enough_memory,      // collect_valid_values reading the column
    values_memory_error,           // collect_valid_values filtering it
    flags_cannot_read,             // the flag-form gatherers
    gather_memory_error,           // gather_values
    gather_marked_memory_error,    // gather_values_marked
    marking_not_enough_memory,     // mark_missing_cases and read_complete_cases
    tables_no_memory_space,        // the cross tabulation's listwise deletion
};

// Writes the message on its channel (the console, or the log with its echo).
void report(Message message);

// The message's bytes as they are written.
const char* message_text(Message message);

}  // namespace quorix
