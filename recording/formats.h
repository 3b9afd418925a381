#pragma once

#include <string>

#include "recording/byte_stream.h"
#include "recording/table_store.h"

// The two file formats over streams; data_files.cpp puts files and memory behind them.

// Writes the header and one line per row. Never fails (the sink records write errors).
void writeTableText(const TableStore& table, ByteSink& out);
// Writes one row's line with its CR LF, as writeTableText does.
void writeTableTextRow(const TableStore& table, std::size_t row, ByteSink& out);
// Appends a row per line after the first; false at the first line that cannot be a row (the
// rows before it stay) or on a read error. reason, when given, gets why in the user's words:
// "line 3: not a data line", "not a data file" (nothing in it was a row and its first line is
// not the header), or the system's reason for the read error.
bool readTableText(ByteSource& in, TableStore& table, std::string* reason = nullptr);

// Writes the XML data packet. Never fails (the sink records write errors).
void writeTablePacket(const TableStore& table, ByteSink& out);
// Reads a whole packet into an empty table; false when the packet is malformed or its fields
// are not the table's (the table then holds an unspecified part of the rows). reason, when
// given, gets why: "not an XML data packet", "the XML packet ends early", "the XML packet is
// not valid at byte N", or the system's reason for a read error.
bool readTablePacket(ByteSource& in, TableStore& table, std::string* reason = nullptr);
