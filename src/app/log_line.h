#pragma once
// The console programs' log: each line on standard output behind the time of day to the
// millisecond, flushed at once so that a script reading it sees the line when it happens.
#include <QDateTime>
#include <QString>

#include <cstdio>

namespace qel::app {

inline void printLine(const QString& text) {
  const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("hh:mm:ss.zzz"));
  std::printf("%s %s\n", stamp.toLocal8Bit().constData(), text.toLocal8Bit().constData());
  std::fflush(stdout);
}

}  // namespace qel::app
