#include "tests/recording/ui/report_test_support.h"

#include <QFile>
#include <regex>

void appendSampleRows(TableStore& table, std::size_t n, int firstNo) {
    for (std::size_t i = 0; i < n; ++i) {
        const int no = firstNo + static_cast<int>(i);
        const std::string value = "1." + std::to_string(1000 + no % 1000).substr(1);
        RowData row;
        row.no = no;
        row.texts = {"12:04:31", "DCV", value, "V", "4 V", "Auto"};
        row.nval = 1000 + no % 1000;
        table.append(row);
    }
}

std::string readFileBytes(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll().toStdString();
}

int pdfPageCount(const std::string& pdf) {
    static const std::regex page(R"(/Type\s*/Page(?![a-zA-Z]))");
    return static_cast<int>(
        std::distance(std::sregex_iterator(pdf.begin(), pdf.end(), page), std::sregex_iterator()));
}
