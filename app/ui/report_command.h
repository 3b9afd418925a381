#pragma once

// halvern report IN OUT.pdf: loads a data file (tab-separated text or ".xml" data packet) and
// renders the table's printed report into a PDF file, without a display. Returns 0 on success,
// 1 when the file cannot be loaded, holds no rows or the PDF cannot be written, 2 for bad
// arguments.
int runReportCommand(int argc, char** argv);
