#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>

// What the benchmark programs share: memory readings, timing other tools, test data.
namespace bench {

// A figure of /proc/self/status in KiB ("VmHWM:" is the peak resident size).
long statusKiB(const char* key);
inline long peakKiB() { return statusKiB("VmHWM:"); }
// Forgets the peak so far, so that what comes before a measurement does not count.
void resetPeak();
// Prints one measurement against its target with the ratio.
void report(const char* what, double value, double target, const char* unit);
// Seconds a shell command takes, best of runs; -1 when it fails.
double timeCommand(const QString& command, int runs = 1);
// Writes the alias file (replacing it) and points the program at it.
void useAliases(const QString& file, const QByteArray& content);
// The rows a run asks for: "--rows N" when given, else quickRows with "--quick", else fullRows.
int64_t rowsAsked(const QStringList& args, int64_t quickRows, int64_t fullRows);
// The folder beside the build where generated data is kept between runs.
QString dataFolder();
// A SQLite table "rows" of 8 mixed columns (integers, decimal, float, date, short text, memo,
// boolean), made once per size and kept.
QString exportRows(int64_t rows);

}  // namespace bench
