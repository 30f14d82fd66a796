#pragma once

// Reads the rows of an executed statement a rowset at a time: short values bound row-wise into one
// block (SQL_ATTR_ROW_BIND_TYPE the size of a row, SQL_ATTR_ROW_ARRAY_SIZE hundreds of rows), so a
// fetch is one call per rowset, not one per cell. A result with long values (memos, blobs) is read a
// row at a time, its long values with SQLGetData in pieces, unless the reader can read a row again:
// then their first part is bound with the rest, and the rows whose long value did not fit are named
// for the reader to read again in pieces. Memory holds one rowset.
#include "dataaccess/Driver.h"
#include "dataaccess/odbc/OdbcSession.h"
#include "dataaccess/odbc/OdbcTypes.h"

#include <vector>

// How the long values (memos, blobs) of a result are read.
enum class OdbcLongValues {
  InPieces,   // whole, with SQLGetData: a row per fetch
  Prefixed,   // their first part bound with the other columns; rows whose value was longer are named
  Refetched,  // the same, and such a row is fetched again alone (a static cursor) and read whole
};

class OdbcRowset {
public:
  // Binds the statement's result columns as the fields say (one field per result column, in order).
  OdbcRowset(OdbcSession& session, SQLHSTMT statement, const std::vector<TColumnInfo>& fields, const QString& purpose,
             OdbcLongValues longValues = OdbcLongValues::InPieces);
  // Appends the next rowset's rows to out; returns how many (0 at the end of the result).
  int fetch(std::vector<TRow>& out);
  // With Prefixed: the places, in the vectors given to fetch, of the rows handed out whose long
  // values may be cut short (the reader must read them again), in the order they were handed out.
  const std::vector<size_t>& cutRows() const { return FCut; }
  // Steps over up to n rows (converting only those of a rowset that go on past them); returns how
  // many there were.
  int64_t skip(int64_t n);

private:
  struct Bound {
    int Column = 0;       // 1-based
    OdbcFetchAs As = OdbcFetchAs::Text;
    size_t Offset = 0;    // of the value in a row of the block; its indicator stands before it
    SQLLEN Width = 0;     // bytes of the value's buffer
    bool Long = false;    // a long value's first part, maybe cut short
  };
  // Converts the rows of the rowset from first on, noting the places in out of the rows cut short
  // in cut.
  int convert(SQLULEN first, std::vector<TRow>& out, std::vector<size_t>& cut);
  // Whether the long value bound in row (the rowset's r-th) may hold less than the data source's value.
  bool cutShort(const char* row, SQLULEN r, const Bound& b) const;
  // Fetches one block of rows; false at the end of the result.
  bool fetchBlock();
  // Converts the block from first on into out; with Refetched, the rows cut short are fetched again
  // and read whole, else their places are noted in cut.
  int take(SQLULEN first, std::vector<TRow>& out, std::vector<size_t>& cut);
  int fetchInPieces(std::vector<TRow>& out);
  void readBound(const char* row, const Bound& b, TValue& out) const;
  // On the worker thread: a value with SQLGetData, in pieces; the call's outcome.
  SQLRETURN readInPieces(int column, OdbcFetchAs as, TValue& out);

  OdbcSession& FSession;
  SQLHSTMT FStatement;
  QString FPurpose;
  bool FUtf8;  // text comes as UTF-8 character data
  std::vector<OdbcFetchAs> FAs;     // per column
  std::vector<int> FBoundIndex;     // per column: its index in FBound, -1 when read in pieces
  std::vector<Bound> FBound;
  size_t FRowBytes = 0;
  SQLULEN FRowsetSize = 1;
  std::vector<char> FBlock;
  std::vector<SQLUSMALLINT> FStatus;
  SQLULEN FFetched = 0;
  bool FEnded = false;
  bool FInPieces = false;  // some values are read with SQLGetData: a row per fetch
  std::vector<TRow> FPending;  // rows fetched but not yet handed out
  std::vector<size_t> FPendingCut;  // places in FPending of those cut short
  std::vector<size_t> FCut;
  OdbcLongValues FLongValues;
  std::vector<SQLULEN> FCutInRowset;  // of the last rowset converted: which of its rows were cut short
  SQLLEN FRowsetStart = 0;            // the place in the result of the rowset's first row
};

// The columns of an executed statement's result as fields.
std::vector<TColumnInfo> describeOdbcResult(SQLHSTMT statement, const QString& purpose);
