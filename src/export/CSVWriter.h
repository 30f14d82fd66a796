#pragma once

#include "platform/FileSink.h"

#include <QByteArray>
#include <QString>

class TDataSet;

// The lines of a CSV export. Cells follow the dataset's text of each value; a cell whose text
// holds a comma, a double quote, a CR or a LF is enclosed in double quotes with its quotes doubled,
// so that other programs read the file back cell for cell. Other cells are written as they are,
// text cells in quotes when quoting is asked for.
namespace CSVWriter {

void appendHeader(TFileSink& out, const TDataSet& dataSet, bool quoteStrings);
void appendRecord(TFileSink& out, const TDataSet& dataSet, bool quoteStrings);
// The same line gathered in memory, for measuring the writer without a file.
void appendRecord(QByteArray& out, const TDataSet& dataSet, bool quoteStrings);

}  // namespace CSVWriter

// A CSV file being written: it replaces its target only when complete, so a failed export leaves
// the previous file.
class TCSVFile : public TFileSink {
public:
  explicit TCSVFile(const QString& fileName) : TFileSink(fileName) {}
};
