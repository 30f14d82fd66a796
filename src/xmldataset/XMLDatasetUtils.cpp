#include "xmldataset/XMLDatasetUtils.h"

#include "dataaccess/DBErrors.h"

#include <QFileInfo>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

QString XMLFieldTypeName(int dataType)
{
  static const char* const names[] = {
    "unknown", "string", "smallint", "integer", "word", "boolean", "float", "currency", "bcd", "date", "time",
    "datetime", "bytes", "varbytes", "autoinc", "blob", "memo", "graphic", "fmtmemo", "paradoxole", "dbaseole",
    "typedbinary", "cursor", "fixedchar", "string", "largeint", "adt", "array", "reference", "dataset", "orablob",
    "oraclob", "variant", "interface", "idispatch", "guid"};
  if (dataType < 0 || dataType > ftLastFieldType)
    return QStringLiteral("unknown");
  return QString::fromLatin1(names[dataType]);
}

namespace XMLBounds {
#define KESTREL_BOUNDS(name, start, end) \
  const TElementBounds name = {{start, int(sizeof(start) - 1)}, {end, int(sizeof(end) - 1)}};
KESTREL_BOUNDS(Criteria, "<criteria", "<criteria>")
KESTREL_BOUNDS(Changes, "<changes", "<changes>")
KESTREL_BOUNDS(Change, "<change", "<change>")
KESTREL_BOUNDS(CData, "<![CDATA[", "]]>")
KESTREL_BOUNDS(DataPacket, "<datapacket", "</datapacket>")
KESTREL_BOUNDS(EmptyElement, "<", "/>")
KESTREL_BOUNDS(FieldDefs, "<fielddefs", "</fielddefs>")
KESTREL_BOUNDS(Field, "<field", ">")
KESTREL_BOUNDS(FieldDef, "<fielddef", "/>")
KESTREL_BOUNDS(Index, "<index", ">")
KESTREL_BOUNDS(IndexDefs, "<indexdefs", "</indexdefs>")
KESTREL_BOUNDS(IndexDef, "<indexdef", "/>")
KESTREL_BOUNDS(MetaData, "<metadata", "</metadata>")
KESTREL_BOUNDS(RecordData, "<recorddata", "</recorddata>")
KESTREL_BOUNDS(Row, "<row>", "</row>")
KESTREL_BOUNDS(Element, "<", ">")
#undef KESTREL_BOUNDS
const std::array<const TElementBounds*, 16> All = {&Criteria, &Changes, &Change, &CData, &DataPacket, &EmptyElement,
                                                   &FieldDefs, &Field, &FieldDef, &Index, &IndexDefs, &IndexDef,
                                                   &MetaData, &RecordData, &Row, &Element};
}  // namespace XMLBounds

const std::array<unsigned char, 256> LowerCaseTable = [] {
  std::array<unsigned char, 256> table{};
  for (int c = 0; c < 256; ++c)
    table[size_t(c)] = (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : static_cast<unsigned char>(c);
  return table;
}();

TSeekInXMLFile::TSeekInXMLFile(QObject* owner) : QObject(owner) {}

TSeekInXMLFile::~TSeekInXMLFile()
{
  Close();
}

void TSeekInXMLFile::Close()
{
  if (FView)
    munmap(const_cast<char*>(FView), FMappedLength);
  FView = nullptr;
  FMappedLength = 0;
  FFileName.clear();
  FSize = 0;
  CaseSensitive = false;
}

void TSeekInXMLFile::SetFileName(const QString& fileName)
{
  Close();
  if (fileName.isEmpty())
    throw EDatabaseError(QStringLiteral("No FileName Given..."));
  if (!QFileInfo::exists(fileName))
    throw EDatabaseError(fileName + QLatin1Char('\r') + QStringLiteral("Does NOT Exist..."));
  const int fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    throw EDatabaseError(fileName + QLatin1Char('\r') + QStringLiteral("Could NOT be Opened For Reading..."));
  struct stat st {};
  const off_t size = fstat(fd, &st) == 0 ? st.st_size : 0;
  FSize = uint32_t(uint64_t(size) & 0xFFFFFFFFu);  // the low 32 bits, as the size is recorded
  // An empty file (or one that is no regular file) cannot be mapped.
  if (size <= 0) {
    ::close(fd);
    FSize = 0;
    throw EDatabaseError(QStringLiteral("MapFile Could not be opened."));
  }
  void* view = mmap(nullptr, size_t(size), PROT_READ, MAP_SHARED, fd, 0);
  ::close(fd);  // the view stays valid until it is unmapped
  if (view == MAP_FAILED) {
    FSize = 0;
    return;  // no view: the name stays empty, and nothing is raised
  }
  FView = static_cast<const char*>(view);
  FMappedLength = size_t(size);
  FFileName = fileName;
}

int64_t TSeekInXMLFile::Find(const QByteArray& text, int64_t from) const
{
  if (!FView || text.isEmpty() || from < 0)
    return -1;
  const int64_t n = int64_t(FMappedLength);
  const int64_t m = text.size();
  for (int64_t i = from; i + m <= n; ++i) {
    int64_t j = 0;
    if (CaseSensitive) {
      while (j < m && FView[i + j] == text[j])
        ++j;
    } else {
      while (j < m && LowerCaseTable[static_cast<unsigned char>(FView[i + j])] == LowerCaseTable[static_cast<unsigned char>(text[j])])
        ++j;
    }
    if (j == m)
      return i;
  }
  return -1;
}

bool TSeekInXMLFile::FindElement(const TElementBounds& bounds, int64_t from, int64_t* start, int64_t* end) const
{
  const int64_t s = Find(QByteArray(bounds.Start.Text, bounds.Start.Length), from);
  if (s < 0)
    return false;
  const int64_t e = Find(QByteArray(bounds.End.Text, bounds.End.Length), s + bounds.Start.Length);
  if (e < 0)
    return false;
  *start = s;
  *end = e + bounds.End.Length;
  return true;
}
