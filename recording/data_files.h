#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "recording/table_store.h"

// The data files of the measurement table: the tab-separated text file (".xls", ".txt" and every
// other name), the table's XML data packet (".xml", lower case only), and the analysis formats
// (".csv", ".jsonl", see analysis_files.h). Nothing here shows anything: functions return the
// outcome and the text the window shows.

// The header line of the text file (without its CR LF).
inline constexpr std::string_view kTextHeader = "No\tTime\tDC/AC\tValue\tUnit\tRange\tAUTO";
// The error box of every failed load: caption and text.
inline constexpr std::string_view kLoadFailedCaption = "Error";
inline constexpr std::string_view kLoadFailedMessage = "Failed to Load File!";

struct FileOutcome {
    bool ok = false;
    std::string message;     // the box to show; empty when there is none
    bool cancelled = false;  // the user stopped the load: not ok, and no box to show
    // Why it failed, in the user's words ("Permission denied", "line 3: not a data line");
    // empty when it did not.
    std::string reason = {};
};

// How far a load has come, told before every block of the file is read.
struct LoadProgress {
    std::size_t rows = 0;  // rows read so far
    std::uint64_t bytesRead = 0;
    std::uint64_t bytesTotal = 0;  // the file's size
};
// Returns false to cancel the load.
using LoadProgressFn = std::function<bool(const LoadProgress&)>;

// Splits text at every occurrence of separator: "a\tb" gives a, b; "a\t" gives a and an empty
// item; an empty text one empty item. The list's old content is replaced. Never fails.
void SplitText(std::string_view text, std::string_view separator, std::vector<std::string>& list);

// The extension rule of save and load: true only when the name ends in exactly ".xml".
bool isPacketName(std::string_view name);

// The format a file name chooses, the one rule of every save and load (the window, convert,
// stats, the logger's and recover's --save): ".xml" (exactly, lower case) the data packet,
// ".csv" the analysis CSV, ".jsonl" JSON Lines (these two in any case), anything else the
// tab-separated text. A ".csv" whose first line is the text file's header loads as the text
// file, so the files of the tab-separated kind that carry that name still open.
enum class DataFormat { Text, Packet, Csv, JsonLines };
DataFormat dataFormatOfName(std::string_view name);

// Writes the table as tab-separated text. Succeeds with "save table to specified file: NAME
// Scuss!"; fails with "Could not save table to specified file: NAME" and the system's reason,
// the old file kept.
FileOutcome SaveTableText(const TableStore& table, const std::string& name);
// Writes the table as an XML data packet. Succeeds without a message; fails like SaveTableText.
FileOutcome saveTablePacket(const TableStore& table, const std::string& name);
// Writes the table as analysis CSV or JSON Lines. Succeed and fail as SaveTableText does.
FileOutcome saveTableCsv(const TableStore& table, const std::string& name);
FileOutcome saveTableJsonLines(const TableStore& table, const std::string& name);
// The save of saveasClick and of every other save: the format dataFormatOfName gives.
FileOutcome saveTable(const TableStore& table, const std::string& name);

// Reads a data file into the table. ".xml": the packet replaces the rows, all or nothing.
// ".csv" with the analysis header: its records are appended with their moments. ".jsonl" is
// not read (it fails). Otherwise the text lines after the first are appended; rows before a
// failing line or record stay.
// Fails with kLoadFailedMessage and a reason (file missing, unreadable or not a regular file,
// bad line, bad packet, memory exhausted: the rows already in the table stay). clearFirst empties
// the table before a text file is read (a packet replaces the rows anyway, and a bad packet leaves
// them untouched). Observers hear of the appended rows once per block read, not once per row.
// progress, when given, is asked before every block; when it returns false the load stops:
// a text load keeps the rows of the lines read completely, a packet load changes nothing, and
// the outcome is cancelled without a message.
FileOutcome LoadDataFile(const std::string& name, TableStore& table, bool clearFirst,
                         const LoadProgressFn& progress = {});

// The same formats in memory, for the fuzz targets and the command line. Loading text appends
// (rows before a failing line stay); loading a packet replaces the rows only when all of it is
// valid. Both return false on failure.
std::string tableTextBytes(const TableStore& table);
std::string tablePacketBytes(const TableStore& table);
bool loadTextBytes(std::string_view bytes, TableStore& table, std::string* reason = nullptr);
bool loadPacketBytes(std::string_view bytes, TableStore& table, std::string* reason = nullptr);
std::string tableCsvBytes(const TableStore& table);
std::string tableJsonLinesBytes(const TableStore& table);
// Reads bytes as a ".csv" file: the analysis CSV when they start with its header, else text.
bool loadCsvBytes(std::string_view bytes, TableStore& table, std::string* reason = nullptr);
