#include "TestSupport.h"

#include "dataaccess/DBErrors.h"
#include "xmldataset/XMLDatasetUtils.h"

#include <QFile>
#include <QtTest>

class TestXMLSeeker : public QObject {
  Q_OBJECT
  TestFolder folder;

  QString writeFile(const QString& name, const QByteArray& content)
  {
    const QString path = folder.path(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(content);
    return path;
  }

  static QString failure(TSeekInXMLFile& seeker, const QString& name)
  {
    try {
      seeker.SetFileName(name);
    } catch (const EDatabaseError& e) {
      return e.Message();
    }
    return QStringLiteral("<no error>");
  }

private slots:
  void opensMapsAndCloses()
  {
    const QString packet = writeFile(QStringLiteral("p.xml"), "<datapacket>\r\n<ROW>\r\n<row>x</row>\r\n</datapacket>\r\n");
    TSeekInXMLFile seeker;
    seeker.CaseSensitive = true;
    seeker.SetFileName(packet);
    QCOMPARE(seeker.FileName(), packet);
    QCOMPARE(int(seeker.Size()), 50);
    QVERIFY(!seeker.CaseSensitive);  // opening resets it
    QCOMPARE(QByteArray(seeker.View(), 12), QByteArray("<datapacket>"));
    // Searching ignores case unless asked not to.
    QCOMPARE(seeker.Find("<row>"), 14);
    seeker.CaseSensitive = true;
    QCOMPARE(seeker.Find("<row>"), 21);
    int64_t start = 0, end = 0;
    QVERIFY(seeker.FindElement(XMLBounds::Row, 0, &start, &end));
    QCOMPARE(QByteArray(seeker.View() + start, int(end - start)), QByteArray("<row>x</row>"));
    seeker.Close();
    QVERIFY(seeker.FileName().isEmpty() && !seeker.View() && !seeker.CaseSensitive);
  }

  void failuresSayWhy()
  {
    TSeekInXMLFile seeker;
    seeker.SetFileName(writeFile(QStringLiteral("a.xml"), "<a/>"));
    QCOMPARE(failure(seeker, QString()), QStringLiteral("No FileName Given..."));
    QVERIFY(!seeker.View());  // the previous file was closed first
    const QString missing = folder.path(QStringLiteral("missing.xml"));
    QCOMPARE(failure(seeker, missing), missing + QStringLiteral("\rDoes NOT Exist..."));
    QCOMPARE(failure(seeker, writeFile(QStringLiteral("empty.xml"), QByteArray())), QStringLiteral("MapFile Could not be opened."));
    if (geteuid() != 0) {  // root reads anything
      const QString locked = writeFile(QStringLiteral("locked.xml"), "<x/>");
      QFile::setPermissions(locked, QFileDevice::WriteOwner);
      QCOMPARE(failure(seeker, locked), locked + QStringLiteral("\rCould NOT be Opened For Reading..."));
    }
    QVERIFY(seeker.FileName().isEmpty());
  }
};

QTEST_GUILESS_MAIN(TestXMLSeeker)
#include "tst_xmlseeker.moc"
