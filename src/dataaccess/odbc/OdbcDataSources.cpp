#include "dataaccess/odbc/OdbcDataSources.h"

#include "dataaccess/odbc/OdbcApi.h"

QStringList odbcDataSourceNames()
{
  QStringList names;
  try {
    OdbcHandle environment(SQL_HANDLE_ENV, SQL_NULL_HANDLE, QString());
    SQLSetEnvAttr(environment.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLWCHAR name[SQL_MAX_DSN_LENGTH + 1] = {};
    SQLWCHAR description[512] = {};
    SQLSMALLINT nameLength = 0, descriptionLength = 0;
    for (SQLUSMALLINT direction = SQL_FETCH_FIRST;
         SQL_SUCCEEDED(SQLDataSourcesW(environment.get(), direction, name, SQL_MAX_DSN_LENGTH + 1, &nameLength, description,
                                       512, &descriptionLength));
         direction = SQL_FETCH_NEXT)
      names << odbcString(name);
  } catch (const EDBEngineError&) {
    // Without a driver manager environment there is nothing to offer: the name can still be typed.
  }
  names.removeDuplicates();
  return names;
}
