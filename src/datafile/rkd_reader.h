// Reading a data file's header, name table, value labels and dictionary.
#pragma once

#include "frame/run_context.h"

namespace quorix {

// Header, name table and value-label sets; sets the name width and the layout
// flag. Returns 1 on success, 0 on failure (with its own message).
int read_header(RunContext& context);

// The descriptors behind the magic. Returns 0 on success, -1 when a descriptor
// cannot be read or a variable's values cannot lie inside the file.
int read_dictionary(RunContext& context);

}  // namespace quorix

namespace quorix {

enum class LoadStatus { ok, header_failed, bad_magic, dictionary_failed };

// Header, name table, labels, magic and dictionary of the open data file, in
// that order; stops at the first failure. The data start is set behind the magic.
LoadStatus load_data_file(RunContext& context);

}  // namespace quorix
