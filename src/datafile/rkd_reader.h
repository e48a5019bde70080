// Reading a data file's header, name table, value labels and dictionary.
#pragma once

#include "datafile/data_file.h"

namespace quorix {

// Header, name table and value-label sets; sets the name width and the layout
// flag. Returns 1 on success, 0 on failure, with the reason in header_failure.
int read_header(DataFile& context);

// The descriptors behind the magic. Returns 0 on success, -1 when a descriptor
// cannot be read or a variable's values cannot lie inside the file.
int read_dictionary(DataFile& context);

}  // namespace quorix

namespace quorix {

enum class LoadStatus { ok, header_failed, bad_magic, dictionary_failed };

// Header, name table, labels, magic and dictionary of the open data file, in
// that order; stops at the first failure. The data start is set behind the magic.
LoadStatus load_data_file(DataFile& context);

}  // namespace quorix
