#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

class QIODevice;
class TDataSet;
class TField;

// The lines of a CSV export. Cells follow the dataset's text of each value; a cell whose text
// holds a comma, a double quote, a CR or a LF is enclosed in double quotes with its quotes doubled,
// so that other programs read the file back cell for cell. Other cells are written as they are,
// text cells in quotes when quoting is asked for.
namespace CSVWriter {

void appendHeader(QByteArray& out, const TDataSet& dataSet, bool quoteStrings);
void appendRecord(QByteArray& out, const TDataSet& dataSet, bool quoteStrings);

}  // namespace CSVWriter

// A CSV file being written: gathered into large writes, replacing its target only when complete.
class TCSVFile {
public:
  // Raises "Cannot create file %s" when the target cannot be created or replaced.
  explicit TCSVFile(const QString& fileName);
  ~TCSVFile();
  QByteArray& buffer() { return FBuffer; }
  // Hands the gathered text to the file when enough has gathered; raises on a write error.
  void flushIfFull();
  // Writes what is left and puts the file in place of its target.
  void commit();

private:
  void write();
  QString FFileName;
  std::unique_ptr<QIODevice> FDevice;
  QByteArray FBuffer;
};
