#pragma once

#include <QString>
#include <cstddef>
#include <string>

#include "recording/table_store.h"

// Appends n recorded-looking rows (No 1..n, DC volts, Auto) to the table.
void appendSampleRows(TableStore& table, std::size_t n, int firstNo = 1);

// The whole file as bytes (empty if it cannot be read).
std::string readFileBytes(const QString& fileName);

// The pages of a PDF file, counted from its page objects ("/Type /Page", not "/Pages").
int pdfPageCount(const std::string& pdf);
