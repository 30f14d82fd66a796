#include "dataaccess/DBErrors.h"
#include "dataaccess/RowSpill.h"

#include <QStorageInfo>
#include <QTemporaryDir>
#include <QtTest>

class TestRowSpill : public QObject {
  Q_OBJECT

private slots:
  // Rows of every kind of value and of different lengths, one value larger than a read of the file,
  // read back from places on and off the file's index.
  void readsBackWhatWasWritten()
  {
    std::vector<TRow> rows;
    TRowSpill spill;
    for (int i = 0; i < 3000; ++i) {
      TRow r{i % 4 == 0 ? TValue() : TValue::integer(-int64_t(i) * 1234567891011), TValue::real(i / 7.0),
             TValue::text(QByteArray(i % 130, char('a' + i % 26))),
             TValue::bytes(i == 1500 ? QByteArray(300000, '\x80') : QByteArray(i % 3, '\0'))};
      if (i % 2)
        r.pop_back();
      rows.push_back(r);
      QVERIFY(spill.append(r));
    }
    QVERIFY(spill.finish());
    std::vector<TRow> out(700);  // storage to be reused, more rows than read
    for (const int64_t offset : {0, 1, 255, 256, 1499, 1500, 2999, 3000}) {
      spill.read(offset, 600, out);
      QCOMPARE(int64_t(out.size()), std::min<int64_t>(600, 3000 - offset));
      for (size_t k = 0; k < out.size(); ++k)
        QVERIFY2(out[k] == rows[size_t(offset) + k], qPrintable(QStringLiteral("row %1").arg(offset + int64_t(k))));
    }
  }

  // A temporary folder in memory would hold the rows in the very memory the spill spares.
  void keepsRowsOutOfMemoryFolders()
  {
    if (QStorageInfo(QStringLiteral("/dev/shm")).fileSystemType() != "tmpfs")
      QSKIP("no tmpfs at /dev/shm");
    QTemporaryDir cache;
    const QByteArray savedTemp = qgetenv("TMPDIR"), savedCache = qgetenv("XDG_CACHE_HOME");
    qputenv("TMPDIR", "/dev/shm");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    const QString folder = TRowSpill::folder();
    qputenv("TMPDIR", savedTemp);
    qputenv("XDG_CACHE_HOME", savedCache);
    QCOMPARE(folder, cache.path() + QStringLiteral("/kestrel"));
  }

  // Values this large are read again from the database rather than copied: the spill stops once it
  // holds 64 MiB, and then has nothing to read.
  void givesUpOnLargeValues()
  {
    TRowSpill spill;
    const TRow row{TValue::bytes(QByteArray(8192, 'x'))};
    int kept = 0;
    while (kept < 20000 && spill.append(row))
      ++kept;
    QVERIFY2(kept > 7000 && kept < 9000, qPrintable(QString::number(kept)));
    std::vector<TRow> out;
    QVERIFY_THROWS_EXCEPTION(EDBEngineError, spill.read(0, 1, out));
  }
};

QTEST_GUILESS_MAIN(TestRowSpill)
#include "tst_rowspill.moc"
